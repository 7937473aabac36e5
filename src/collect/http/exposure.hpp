// The checks at the start of the service of what it exposes: the page on a
// network address only with tokens and TLS (or HttpInsecure=1, warned), a
// private key only its owner reads, and collect.ini with a password in it
// not readable by every user of the machine.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "collect/config/collect_config.hpp"

namespace statvtk::collect {

struct ExposureCheck {
  std::vector<std::string> refusals;  // "FILE:LINE: reason": the service does not start (exit 2)
  std::vector<std::string> warnings;  // logged at every start
};

// `serving`: the HTTP page and API will run (run, not once).
ExposureCheck CheckExposure(const Config& cfg, const std::filesystem::path& home, bool serving);

// Whether an Http= host is the loopback (127.0.0.0/8, ::1, localhost).
bool IsLoopbackHost(std::string_view host);
// A file path of collect.ini made a path: relative to the home.
std::filesystem::path InHome(const std::string& setting, const std::filesystem::path& home);

}  // namespace statvtk::collect
