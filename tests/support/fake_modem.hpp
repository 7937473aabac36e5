// A Hayes modem for tests, answering on the master side of a pseudo-terminal:
// AT and other commands get OK, a dial gets the next scripted outcome, "+++"
// leaves data mode silently and ATH0 hangs up with OK.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/pty_pair.hpp"

namespace statvtk::testing {

class FakeModem {
 public:
  enum class Dial { Connect, Busy, NoAnswer, NoCarrier, Silent, EchoOnly, EchoThenConnect };

  struct Script {
    std::vector<Dial> calls;           // outcome of call 1, 2, ...; the last one repeats
    bool answersAt = true;             // false: a modem that is switched off
    std::vector<std::string> refused;  // commands answered ERROR
    std::string connectText = "CONNECT 9600";
  };

  FakeModem(const PtyPair& pty, Script script) : pty_(pty), script_(std::move(script)) {
    thread_ = std::thread([this] { Run(); });
  }
  ~FakeModem() {
    stop_ = true;
    thread_.join();
  }
  FakeModem(const FakeModem&) = delete;
  FakeModem& operator=(const FakeModem&) = delete;

  // The commands received so far, in order ("+++" included).
  std::vector<std::string> Commands() const {
    std::lock_guard lock(m_);
    return commands_;
  }

 private:
  void Run() {
    std::string pending;
    while (!stop_) {
      pollfd p{pty_.Master(), POLLIN, 0};
      if (poll(&p, 1, 10) <= 0) continue;
      char buf[256];
      const ssize_t n = ::read(pty_.Master(), buf, sizeof buf);
      if (n <= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the port hung up: try again shortly
        continue;
      }
      for (ssize_t i = 0; i < n; ++i) {
        const char c = buf[i];
        if (c == '\r' || c == '\n') {
          if (!pending.empty()) Command(pending);
          pending.clear();
          continue;
        }
        pending.push_back(c);
        if (pending == "+++") {
          Record(pending);
          pending.clear();
        }
      }
    }
  }

  void Record(const std::string& c) {
    std::lock_guard lock(m_);
    commands_.push_back(c);
  }

  void Reply(const std::string& text) const { pty_.Send("\r\n" + text + "\r\n"); }

  void Command(const std::string& raw) {
    Record(raw);
    std::string cmd = raw;
    for (auto& ch : cmd) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (!script_.answersAt || cmd.rfind("AT", 0) != 0) return;
    if (std::find(script_.refused.begin(), script_.refused.end(), raw) != script_.refused.end()) {
      Reply("ERROR");
      return;
    }
    if (cmd.rfind("ATD", 0) != 0) {
      Reply("OK");
      return;
    }
    const Dial d = script_.calls.empty() ? Dial::Connect : script_.calls[std::min(calls_, script_.calls.size() - 1)];
    ++calls_;
    switch (d) {
      case Dial::Connect: Reply(script_.connectText); break;
      case Dial::Busy: Reply("BUSY"); break;
      case Dial::NoAnswer: Reply("NO ANSWER"); break;
      case Dial::NoCarrier: Reply("NO CARRIER"); break;
      case Dial::Silent: break;
      case Dial::EchoOnly: pty_.Send(raw + "\r"); break;
      case Dial::EchoThenConnect: pty_.Send(raw + "\r\r\n" + script_.connectText + "\r\n"); break;
    }
  }

  const PtyPair& pty_;
  Script script_;
  std::size_t calls_ = 0;
  mutable std::mutex m_;
  std::vector<std::string> commands_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace statvtk::testing
