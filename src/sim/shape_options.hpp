// The memory shape options of statvtk-sim (--clock-reset ... --settings-changed):
// their declarations on the command line and the words of --flag.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <optional>
#include <string_view>

#include "sim/history.hpp"

namespace statvtk::sim {

// Declares the shape options, each filling `shapes` when given.
void ShapeOptionsOf(CLI::App& app, MemoryShapes& shapes);

// The Cause bit of a --flag word ("gmax", "empty-pipe", ...); nothing for another word.
std::optional<std::uint16_t> StateOfWord(std::string_view word);

}  // namespace statvtk::sim
