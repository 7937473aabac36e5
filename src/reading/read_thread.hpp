// TReadThread: the desktop's reading job. It owns the thread of one run and
// the run's stop, takes the job as one value and tells what happens to its
// events sink; the read itself is ReadLine.
#pragma once

#include <atomic>
#include <thread>

#include "reading/read_events.hpp"
#include "reading/read_job.hpp"
#include "reading/read_result.hpp"
#include "reading/run_context.hpp"

namespace statvtk {

class TReadThread {
 public:
  explicit TReadThread(ReadEvents& events) : events_(events) {}
  ~TReadThread();  // requests the stop of a run still going, then waits for it to end
  TReadThread(const TReadThread&) = delete;
  TReadThread& operator=(const TReadThread&) = delete;

  // The job (before Start); MakeReadJob builds it from the settings.
  void SetJob(ReadJob job) { job_ = std::move(job); }
  ReadJob& Job() { return job_; }
  const ReadJob& Job() const { return job_; }
  // What stands between the run and the world: carriers, waits, the frame trace.
  RunHooks& Hooks() { return hooks_; }

  // A stop shared with the front end (the desktop's "Остановить чтение");
  // by default the run's own.
  void SetStopFlag(std::atomic<bool>* flag) { stop_ = flag ? flag : &ownStop_; }
  // What the front end's stop does: every wait of the run ends at it.
  void RequestStop() { stop_->store(true); }

  // Starts the run on its own thread; Wait() blocks until it has ended. A
  // stop left in the run's own flag by the previous run is cleared here, so
  // a stop requested after Start() ends this run.
  void Start();
  void Wait();
  bool Running() const { return running_.load(); }
  // Runs the job on the calling thread.
  void RunHere();

  const LineResult& Output() const { return out_; }  // valid after Wait()

 private:
  void Run();

  ReadEvents& events_;
  ReadJob job_;
  RunHooks hooks_;
  LineResult out_;
  std::atomic<bool> ownStop_{false};
  std::atomic<bool>* stop_ = &ownStop_;
  std::atomic<bool> running_{false};
  std::jthread thread_;  // last: joined before the members above go
};

}  // namespace statvtk
