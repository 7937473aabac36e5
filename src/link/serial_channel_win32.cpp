// Serial port channel over Win32 communications: "\\.\COMn" opened
// exclusively with overlapped I/O, 1024-byte driver queues, the line set
// through a DCB, purged with PurgeComm. What the driver holds is taken at
// once (ClearCommError tells how much); with nothing there one byte is asked
// for under a total read time-out of the wait, so the read ends the moment a
// byte arrives.
#include "link/serial_channel.hpp"

#include <algorithm>
#include <array>
#include <cctype>

#include "base/system_error.hpp"
#include "base/unique_handle.hpp"
#include "base/win32_text.hpp"
#include "link/read_buffer.hpp"
#include "link/serial_common.hpp"

namespace statvtk {
namespace {

using serial::OpenFault;

constexpr DWORD kQueueBytes = 1024;
constexpr DWORD kGraceMs = 1000;  // the driver's own time-out plus this bounds every wait

// "COM5" (any case) and "5" mean \\.\COM5; any other name goes as given.
std::wstring DeviceName(const std::string& port) {
  std::string name = port;
  if (!name.empty() && std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); }))
    name = "COM" + name;
  if (name.size() > 3 && (name[0] == 'C' || name[0] == 'c') && (name[1] == 'O' || name[1] == 'o') &&
      (name[2] == 'M' || name[2] == 'm'))
    return L"\\\\.\\" + win32::Wide(name);
  return win32::Wide(name);
}

std::string OpenFailureReason(DWORD err, const std::string& port) {
  switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_UNIT:
    case ERROR_DEV_NOT_EXIST: return serial::OpenFaultText(OpenFault::NoSuchPort, port);
    // A COM port held by another program answers "access denied".
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY: return serial::OpenFaultText(OpenFault::Busy, port);
    default: return serial::OpenFaultText(OpenFault::Other, port, SystemErrorText(static_cast<int>(err)));
  }
}

class SerialChannel final : public ByteChannel {
 public:
  SerialChannel(UniqueHandle port, const DCB& saved, const SerialLineSettings& line)
      : port_(std::move(port)), saved_(saved), line_(line), event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~SerialChannel() override {
    PurgeComm(port_.get(), PURGE_RXABORT | PURGE_TXABORT | PURGE_RXCLEAR | PURGE_TXCLEAR);
    SetCommState(port_.get(), &saved_);
  }
  SerialChannel(const SerialChannel&) = delete;
  SerialChannel& operator=(const SerialChannel&) = delete;

  std::size_t Write(std::span<const std::uint8_t> bytes) override {
    if (!open_ || bytes.empty()) return 0;
    OVERLAPPED ov{};
    ov.hEvent = event_.get();
    ResetEvent(ov.hEvent);
    DWORD done = 0;
    if (!WriteFile(port_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, &ov)) {
      if (GetLastError() != ERROR_IO_PENDING) return Lost(0);
      // Time on the wire at 10 bits a byte, plus the stall a full queue may add.
      const DWORD wireMs = static_cast<DWORD>(bytes.size() * 10000 / std::max<std::uint32_t>(line_.baudRate, 1));
      done = Finish(ov, wireMs + serial::kWriteStallMs, /*stoppable=*/true);
    }
    return done;
  }

  void Purge(std::vector<std::uint8_t>* dropped) override {
    DrainInput(dropped);
    PurgeComm(port_.get(), PURGE_RXABORT | PURGE_TXABORT | PURGE_RXCLEAR | PURGE_TXCLEAR);
  }

  void DropInput(std::vector<std::uint8_t>* dropped) override {
    DrainInput(dropped);
    PurgeComm(port_.get(), PURGE_RXABORT | PURGE_RXCLEAR);
  }

  std::optional<std::uint8_t> ReadByte(std::chrono::milliseconds wait) override {
    if (const auto byte = buf_.Next()) return byte;
    if (Fill(static_cast<DWORD>(std::clamp<long long>(wait.count(), 0, 0x7FFFFFF0))) > 0) return buf_.Next();
    return std::nullopt;
  }

  std::uint32_t CarrierWaitMs() const override { return serial::kCarrierWaitMs; }
  bool IsOpen() const override { return open_; }
  const SerialLineSettings& Line() const { return line_; }

 private:
  // Waits for an overlapped transfer; cancels it when the bound has passed.
  // A stoppable wait looks at the abort flag every kStallSliceMs.
  DWORD Finish(OVERLAPPED& ov, DWORD boundMs, bool stoppable = false) {
    DWORD n = 0;
    const DWORD total = boundMs + kGraceMs;
    DWORD waited = 0;
    DWORD r = WAIT_TIMEOUT;
    for (;;) {
      const DWORD slice = stoppable ? std::min<DWORD>(total - waited, serial::kStallSliceMs) : total - waited;
      r = WaitForSingleObject(ov.hEvent, slice);
      if (r != WAIT_TIMEOUT) break;
      waited += slice;
      if (waited >= total || (stoppable && AbortRequested())) break;
    }
    if (r != WAIT_OBJECT_0) CancelIo(port_.get());
    if (!GetOverlappedResult(port_.get(), &ov, &n, TRUE)) {
      const DWORD err = GetLastError();
      if (err != ERROR_OPERATION_ABORTED && err != ERROR_TIMEOUT) return Lost(n);
    }
    return n;
  }

  DWORD Lost(DWORD n) {
    const DWORD err = GetLastError();
    // A vanished USB adapter and the like; a time-out is no loss.
    if (err != ERROR_IO_PENDING && err != ERROR_TIMEOUT) open_ = false;
    return n;
  }

  // Sets the read time-outs: 0 takes what is there, else the first byte may
  // take up to `waitMs`.
  void SetReadWait(DWORD waitMs) {
    if (waitMs == readWaitMs_) return;
    COMMTIMEOUTS t{};
    if (waitMs == 0) {
      t.ReadIntervalTimeout = MAXDWORD;
    } else {
      t.ReadTotalTimeoutConstant = waitMs;
    }
    if (SetCommTimeouts(port_.get(), &t)) readWaitMs_ = waitMs;
  }

  // Refills the buffer with what arrives within the wait; returns the count.
  std::size_t Fill(DWORD waitMs) {
    return buf_.Refill([this, waitMs](std::span<std::uint8_t> into) -> std::size_t {
      if (!open_) return 0;
      COMSTAT st{};
      DWORD errors = 0;
      if (!ClearCommError(port_.get(), &errors, &st)) return Lost(0);
      if (st.cbInQue == 0 && waitMs == 0) return 0;
      // Queued bytes come at once under any time-out, so the time-outs change
      // only when the wait does.
      const DWORD want = st.cbInQue > 0 ? std::min<DWORD>(st.cbInQue, static_cast<DWORD>(into.size())) : 1;
      if (st.cbInQue == 0) SetReadWait(waitMs);
      OVERLAPPED ov{};
      ov.hEvent = event_.get();
      ResetEvent(ov.hEvent);
      DWORD n = 0;
      if (!ReadFile(port_.get(), into.data(), want, &n, &ov)) {
        if (GetLastError() != ERROR_IO_PENDING) return Lost(0);
        n = Finish(ov, waitMs);
      }
      return n;
    });
  }

  void DrainInput(std::vector<std::uint8_t>* dropped) {
    buf_.Drain(dropped, [this] { return open_ ? Fill(0) : 0; });
  }

  UniqueHandle port_;
  DCB saved_;
  SerialLineSettings line_;
  UniqueHandle event_;
  bool open_ = true;
  DWORD readWaitMs_ = MAXDWORD;
  ReadBuffer buf_;
};

}  // namespace

ChannelOpenResult OpenSerialChannel(const std::string& path, std::uint32_t baudRate, bool evenParity) {
  if (auto refused = serial::CheckOpenRequest(path, baudRate)) return std::move(*refused);
  // Not shared: a second opener (this program or another) is refused.
  UniqueHandle port(CreateFileW(DeviceName(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr));
  if (!port.valid()) return serial::OpenFailure(OpenFailureReason(GetLastError(), path));
  DCB saved{};
  saved.DCBlength = sizeof saved;
  if (!GetCommState(port.get(), &saved)) return serial::OpenFailure(OpenFault::NotSerial, path);
  SetupComm(port.get(), kQueueBytes, kQueueBytes);
  DCB line = saved;
  line.BaudRate = baudRate;
  line.ByteSize = 8;
  line.StopBits = ONESTOPBIT;
  line.Parity = evenParity ? EVENPARITY : NOPARITY;
  line.fParity = evenParity ? TRUE : FALSE;
  line.fBinary = TRUE;
  // Raw bytes: no software or hardware handshake, no character replacing.
  line.fOutX = line.fInX = FALSE;
  line.fOutxCtsFlow = line.fOutxDsrFlow = FALSE;
  line.fDsrSensitivity = FALSE;
  line.fErrorChar = line.fNull = FALSE;
  line.fAbortOnError = FALSE;
  if (!SetCommState(port.get(), &line)) {
    return serial::OpenFailure(OpenFault::LineRejected, path, SystemErrorText(static_cast<int>(GetLastError())));
  }
  PurgeComm(port.get(), PURGE_RXABORT | PURGE_TXABORT | PURGE_RXCLEAR | PURGE_TXCLEAR);
  SerialLineSettings settings;
  settings.baudRate = baudRate;
  settings.dataBits = 8;
  settings.stopBits = 1;
  settings.evenParity = evenParity;
  return OpenedChannel{std::make_unique<SerialChannel>(std::move(port), saved, settings), {}};
}

std::string SerialPortPathOf(int number) { return "COM" + std::to_string(number > 0 ? number : 1); }

std::optional<SerialLineSettings> SerialLineOf(const ByteChannel& channel) {
  const auto* serial = dynamic_cast<const SerialChannel*>(&channel);
  if (!serial) return std::nullopt;
  return serial->Line();
}

}  // namespace statvtk
