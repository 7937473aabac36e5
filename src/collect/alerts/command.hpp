// AlertCommand=: one event given to a program on its stdin. The program is
// run by /bin/sh -c (posix_spawn) in a process group of its own, with the
// signals at their defaults; when it outlives its time or the stop comes,
// it is killed with whatever it started.
#pragma once

#include <chrono>
#include <optional>
#include <stop_token>
#include <string>

namespace statvtk::collect {

// Runs `command` with `body` on its stdin; the reason when it did not exit
// 0 within `limit` (then killed) or `stop` came first (killed at once).
std::optional<std::string> RunWithInput(const std::string& command, const std::string& body,
                                        std::chrono::milliseconds limit, std::stop_token stop = {});

}  // namespace statvtk::collect
