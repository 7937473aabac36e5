#include "reading/read_thread.hpp"

#include "reading/reads.hpp"

namespace statvtk {

// A run still going is asked to stop first, so destroying a job never waits
// for a whole download.
TReadThread::~TReadThread() {
  if (thread_.joinable() && running_.load()) RequestStop();
  Wait();
}

void TReadThread::RequestStop() {
  stop_->store(true);
  abort_->store(true);
}

void TReadThread::Start() {
  Wait();
  running_ = true;
  ownStop_.store(false);
  abort_->store(stop_->load());
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
  abort_->store(stop_->load());
  running_ = true;
  Run();
  running_ = false;
}

void TReadThread::Run() {
  const auto* current = std::get_if<CurrentRead>(&job_.what);
  RunContext ctx(obs_, *stop_, *abort_, hooks_, job_.home, job_.quiet, current && current->refreshWindow);
  out_ = RunReadJob(job_, ctx);
}

}  // namespace statvtk
