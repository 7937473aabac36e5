// The service's call-in listeners as collect.ini gives them, at the start
// and after each reload, one [Listen NAME] with its lines at a time: one
// added starts, one whose address or lines changed restarts, one removed
// stops. One that stops or restarts accepts no more and ends the read it is
// in first; its successor listens (and its lines' schedules resume from the
// store) only then.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "collect/dial/incoming_listener.hpp"

namespace statvtk::collect {

class CallInLines {
 public:
  // `base`: what every listener shares (its cfg, stop, only and readStop
  // are not used); `readStop` the reads' stop (the run's).
  CallInLines(const IncomingContext& base, std::atomic<bool>& readStop) : base_(base), readStop_(readStop) {}
  ~CallInLines();  // Stop() and Join()
  CallInLines(const CallInLines&) = delete;
  CallInLines& operator=(const CallInLines&) = delete;

  // The start: every listener of `cfg` bound now; the error says which
  // address could not be listened on. Nothing is accepted or read before
  // Serve().
  Result<void> Open(std::shared_ptr<const Config> cfg);
  // The listeners Open bound accept and their lines read from now on.
  void Serve();
  struct Changes {
    std::vector<std::string> added, changed, removed;
  };
  // A reload: the listeners of `cfg` from now on; one that cannot listen
  // says so in the log.
  Changes Apply(std::shared_ptr<const Config> cfg);
  // As IncomingLines::Describe, over every listener.
  std::string Describe(const std::string& line) const;
  void Stop();  // no more accepts; the reads stop with readStop
  void Join();  // after Stop()

 private:
  struct Runner;
  std::shared_ptr<Runner> Make(std::shared_ptr<const Config> cfg, const ListenConfig& listen);
  void Run(Runner& r);

  const IncomingContext base_;
  std::atomic<bool>& readStop_;
  mutable std::mutex mu_;  // the runners' lines, for Describe
  std::vector<std::shared_ptr<Runner>> running_, retired_;
};

}  // namespace statvtk::collect
