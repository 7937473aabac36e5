// A mosquitto broker for one test: a temporary configuration, a free
// loopback port, persistence in the temporary folder (so a durable
// subscriber's queue survives a restart), stopped at the end.
#pragma once

#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/child_process.hpp"
#include "support/free_port.hpp"
#include "support/temp_folder.hpp"
#include "support/wait_until.hpp"

namespace statvtk::test {

class MqttBroker {
 public:
  MqttBroker() = default;
  ~MqttBroker() { Stop(); }
  MqttBroker(const MqttBroker&) = delete;
  MqttBroker& operator=(const MqttBroker&) = delete;

  static std::filesystem::path Program() {
    for (const char* p : {"/usr/sbin/mosquitto", "/usr/bin/mosquitto"})
      if (std::filesystem::exists(p)) return p;
    return {};
  }

  // Writes the configuration and starts; false when the broker does not listen.
  bool Init() {
    port_ = FreeLoopbackPort();
    const passwd* pw = getpwuid(geteuid());
    std::ofstream conf(folder_.Path() / "mosquitto.conf");
    conf << "listener " << port_ << " 127.0.0.1\n"
         << "allow_anonymous true\n"
         << "persistence true\n"
         << "persistence_location " << folder_.Path().string() << "/\n"
         << "autosave_interval 1\n"
         << "max_queued_messages 100000\n"
         << "user " << (pw ? pw->pw_name : "root") << "\n";
    conf.close();
    return Start();
  }
  bool Start() {
    if (Program().empty()) return false;
    broker_.Start({Program().string(), "-c", (folder_.Path() / "mosquitto.conf").string()},
                  folder_.Path() / "broker.log");
    return WaitUntil([&] { return LoopbackPortOpen(port_) || !broker_.Running(); }, std::chrono::seconds(10)) &&
           broker_.Running();
  }
  // SIGTERM: the broker saves its sessions and ends.
  void Stop() { broker_.Stop(SIGTERM); }

  int Port() const { return port_; }
  std::string Log() const { return link_test::ReadAll(folder_.Path() / "broker.log"); }

 private:
  link_test::TempFolder folder_;
  ChildProcess broker_;
  int port_ = 0;
};

}  // namespace statvtk::test
