// Simulated instruments on one loopback TCP line for the search tests, each
// answering at its own address (short and long alike).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sim/instrument.hpp"
#include "sim/server.hpp"
#include "support/result_util.hpp"

namespace statvtk::apptest {

struct SimLine {
  // `seed` for the first instrument, one more for each next one.
  SimLine(std::initializer_list<std::pair<DeviceType, int>> at, std::uint32_t seed) {
    for (auto [model, address] : at) {
      sim::InstrumentOptions o;
      o.model = model;
      o.seed = seed++;
      o.address = static_cast<std::uint8_t>(address);
      o.longAddress = static_cast<std::uint32_t>(address);
      instruments.push_back(std::make_unique<sim::Instrument>(o));
    }
    std::vector<sim::Instrument*> line;
    for (auto& p : instruments) line.push_back(p.get());
    std::string error;
    Unpack(sim::Server::Start(line, sim::ServerOptions{}), &server, &error);
  }
  std::vector<std::unique_ptr<sim::Instrument>> instruments;
  std::unique_ptr<sim::Server> server;
};

}  // namespace statvtk::apptest
