// Several instruments in one run: the line is opened (and a modem dialled)
// once, then each address is identified and read in turn into its own file.
#include "reading/read_thread.hpp"

namespace statvtk {

void TReadThread::RunBatch() {
  const std::vector<std::uint32_t> addresses = batch_;
  auto failAll = [this, &addresses](std::size_t from) {
    for (std::size_t i = from; i < addresses.size(); ++i) {
      ReadResult r = result_;
      r.address = addresses[i];
      batchResults_.push_back(r);
    }
  };
  if (!OpenPort()) {
    failAll(0);
    return;
  }
  if (!ModemDial()) {
    link_.CloseLink();
    obs_.EnableControls();
    if (StopNow()) MarkStopped();
    else Fail(LinkFailureCode(), {});
    failAll(0);
    return;
  }
  holdLine_ = true;
  bool stopped = false;
  for (std::size_t i = 0; i < addresses.size() && !stopped; ++i) {
    const std::uint32_t a = addresses[i];
    result_ = {};
    result_.address = a;
    identified_.clear();
    ClearBuffers();
    if (job_.useMBus) {
      job_.mbusAddress = a;
    } else {
      job_.netAddress = a;
    }
    obs_.BatchAddressStarted(a, i, addresses.size());
    Log("Адрес " + std::to_string(a) + " (" + std::to_string(i + 1) + " из " + std::to_string(addresses.size()) + ")");
    if (StopNow()) {
      MarkStopped();
    } else if (const std::string refused = JobError(); !refused.empty()) {
      ReportError(refused);
      Fail(ErrorCode::BadSettings, refused);
    } else if (Identify()) {
      RunDevicePath();
    }
    stopped = result_.outcome == ReadOutcome::Stopped;
    batchResults_.push_back(result_);
  }
  holdLine_ = false;
  CloseAll();
  obs_.EnableControls();
  // The whole run: stopped, failed when any address failed, done otherwise.
  ReadResult overall;
  overall.outcome = ReadOutcome::Done;
  for (const ReadResult& r : batchResults_) {
    if (r.outcome == ReadOutcome::Stopped) overall.outcome = ReadOutcome::Stopped;
    else if (r.outcome != ReadOutcome::Done && overall.outcome == ReadOutcome::Done)
      overall.outcome = ReadOutcome::Failed;
  }
  if (stopped) overall.outcome = ReadOutcome::Stopped;
  result_ = overall;
}

}  // namespace statvtk
