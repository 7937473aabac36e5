// The search for instruments: only the identification request, to each
// address at each speed. A silent address costs one reply time-out (the
// transport's, as milliseconds of waiting for the first byte); one from
// which something was heard is asked again up to the retry count, so noise
// does not hide an instrument.
#include <algorithm>

#include "reading/read_text.hpp"
#include "reading/read_thread.hpp"

namespace statvtk {

namespace {
// The link's reply allowance whose wait for a first byte comes nearest to
// `ms` from above: the link waits (T/10 div 2 + 1) slices of 20 ms plus the
// carrier's own read wait, so a plain T would cost a silent address over
// twice the time the user gave.
std::uint32_t AllowanceFor(std::uint32_t ms, std::uint32_t carrierWaitMs) {
  const std::uint32_t slice = 20 + carrierWaitMs;
  const std::uint32_t slices = std::max<std::uint32_t>(1, (ms + slice - 1) / slice);
  return (slices - 1) * 20;
}
}  // namespace

bool TReadThread::Probe(std::uint32_t address) {
  bool heard = false;
  link_.SetTrace([this, &heard](const FrameTrace& f) {
    if (f.direction != FrameTrace::Direction::Sent && !f.bytes.empty()) heard = true;
    if (trace_) trace_(f);
  });
  const std::uint32_t retries = std::max<std::uint32_t>(link_.Retries(), 1);
  const std::uint32_t allowance = link_.ReplyTimeout();
  link_.SetRetries(1);
  if (link_.Channel()) link_.SetReplyTimeout(AllowanceFor(allowance, link_.Channel()->CarrierWaitMs()));
  std::string text;
  for (std::uint32_t attempt = 1;; ++attempt) {
    heard = false;
    text = job_.useMBus ? link_.IdentifyLong(address) : link_.Identify(static_cast<std::uint8_t>(address));
    if (!text.empty() || StopNow() || !heard || attempt >= retries) break;
  }
  link_.SetRetries(retries);
  link_.SetReplyTimeout(allowance);
  link_.SetTrace(trace_);
  if (text.empty()) return false;
  ScanFound found{address, job_.baudRate, TypeOfIdentText(text), text};
  Log("Адрес " + std::to_string(address) + ", " + std::to_string(job_.baudRate) + " бит/с: " + text);
  scanResults_.push_back(found);
  if (scanObs_) scanObs_->Found(found);
  return true;
}

void TReadThread::RunScan() {
  // Only a serial port has a speed of its own to try; a modem or a TCP
  // converter sets the line's speed on its far side.
  std::vector<std::uint32_t> bauds = scanBauds_;
  if (bauds.empty()) bauds = {job_.baudRate};
  if (job_.connectMode != ConnectMode::Serial && bauds.size() > 1) {
    Log("Скорость линии задаётся на дальней стороне соединения: опрос на одной скорости.");
    bauds = {job_.baudRate};
  }
  std::vector<std::uint32_t> addresses;
  for (std::uint32_t a : scanAddresses_) {
    if (job_.useMBus || a <= 255) addresses.push_back(a);
    else Log("Адрес " + std::to_string(a) + " вне диапазона 0..255: адреса больше 255 возможны только в режиме M-Bus.");
  }
  const std::size_t total = bauds.size() * addresses.size();
  std::size_t done = 0;
  Status("Поиск приборов...");
  Progress(0, static_cast<int>(total));
  ProgressPos(0);
  bool stopped = false;
  for (std::uint32_t baud : bauds) {
    if (stopped) break;
    job_.baudRate = baud;
    if (!OpenPort()) {
      if (result_.outcome == ReadOutcome::Stopped) return;
      // The port does not take this speed or is gone: the others are still tried.
      done += addresses.size();
      continue;
    }
    if (!ModemDial()) {
      link_.CloseLink();
      stopped = StopNow();
      if (stopped) break;
      done += addresses.size();
      continue;
    }
    for (std::uint32_t a : addresses) {
      if (StopNow()) {
        stopped = true;
        break;
      }
      Detail("адрес " + std::to_string(a) + ", " + std::to_string(baud) + " бит/с");
      if (scanObs_) scanObs_->Probing(a, baud, done, total);
      Probe(a);
      ProgressPos(static_cast<int>(++done));
    }
    CloseAll();
  }
  if (stopped) {
    NoteStopped();
    CloseAll();
  }
  ProgressPos(0);
  Detail("");
  Status(ConnectionDescription());
  obs_.EnableControls();
  if (stopped) {
    MarkStopped();
  } else if (scanResults_.empty()) {
    Fail(LinkFailureCode(), "Приборы не найдены.");
    Log(result_.Message());
  } else {
    result_.outcome = ReadOutcome::Done;
  }
}

}  // namespace statvtk
