#include "reading/read_thread.hpp"

#include "reading/reads.hpp"

namespace statvtk {

// A run still going is asked to stop first, so destroying a job never waits
// for a whole download.
TReadThread::~TReadThread() {
  if (thread_.joinable() && running_.load()) RequestStop();
  Wait();
}

void TReadThread::Start() {
  Wait();
  running_ = true;
  ownStop_.store(false);
  thread_ = std::jthread([this] {
    Run();
    running_ = false;
  });
}

void TReadThread::Wait() {
  if (thread_.joinable()) thread_.join();
}

void TReadThread::RunHere() {
  ownStop_.store(false);
  running_ = true;
  Run();
  running_ = false;
}

void TReadThread::Run() {
  // A setting out of its range would reach another instrument or port: nothing is opened.
  out_ = job_.settingsError.empty() ? ReadLine(job_.line, job_.instruments, events_, *stop_, hooks_)
                                    : RefuseLine(job_.line, job_.instruments, job_.settingsError, events_);
}

}  // namespace statvtk
