#include "reading/read_thread.hpp"

#include "reading/reads.hpp"
#include "reading/run_end.hpp"

namespace statvtk {

// A run still going is asked to stop first, so destroying a job never waits
// for a whole download.
TReadThread::~TReadThread() {
  if (thread_.joinable() && running_.load()) RequestStop();
  Wait();
}

void TReadThread::RequestStop() { stop_->store(true); }

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
  const CurrentPlan* current =
      job_.instruments.empty() ? nullptr : std::get_if<CurrentPlan>(&job_.instruments.front().plan);
  RunContext ctx(obs_, *stop_, hooks_, job_.home, job_.quiet, current && current->refreshWindow);
  out_ = {};
  if (!job_.settingsError.empty()) {
    // A setting out of its range would reach another instrument or port: nothing is opened.
    RunEnd e{EndKind::Refused};
    e.message = job_.settingsError;
    EndRun(e, ctx, nullptr, false, out_.result);
    return;
  }
  out_ = ReadLine(job_.line, job_.instruments, ctx);
}

}  // namespace statvtk
