// The run of a reading job: preparation, opening, dialing, identification,
// then the device path of the model found.
#include "reading/read_thread.hpp"

#include <algorithm>

#include "link/frame.hpp"
#include "link/link_error.hpp"
#include "reading/read_text.hpp"

namespace statvtk {

TReadThread::TReadThread(ReadObserver& observer)
    : obs_(observer), clock_([] { return std::chrono::system_clock::now(); }) {}

// A run still going is asked to stop first, so destroying a job never waits
// for a whole download.
TReadThread::~TReadThread() {
  if (thread_.joinable() && running_.load()) RequestStop();
  Wait();
}

void TReadThread::SetTimings(const TimingTriple& serial, const TimingTriple& modem, const TimingTriple& ethernet) {
  job_.serialTiming = serial;
  job_.modemTiming = modem;
  job_.ethernetTiming = ethernet;
}

void TReadThread::SetConnection(const ConnectionSettings& s) {
  job_.settingsError = ConnectionSettingsError(s);
  SetReconnects(static_cast<std::uint8_t>(std::clamp(s.reconnects, 0, 255)));
  const auto address = static_cast<std::uint32_t>(std::clamp<std::int64_t>(s.netAddress, 0, 0xFFFFFFFF));
  if (s.useMBus) SetMBusAddress(address);
  else SetNetAddress(address);
  SetConnectMode(s.connectMode);
  SetComPort(static_cast<std::uint8_t>(std::clamp(s.comPort, 0, 255)));
  SetPortName(s.portName);
  SetBaudRate(s.BaudRate());
  SetPhoneNo(s.phoneNo);
  SetPulseDial(!s.tone);
  SetInitString(s.initString);
  SetSockIP(s.sockIp);
  SetSockPort(static_cast<std::uint16_t>(s.sockPort));
  SetUseGate(s.useGate);
  SetUseDynDNS(s.useDynDns);
  SetGateHost(s.dynDnsName);
  SetUseMBus(s.useMBus);
  SetConnectWait(static_cast<std::uint8_t>(std::clamp(s.connectWaitS, 1, 255)));
  SetConnectTimeout(static_cast<std::uint32_t>(std::max(s.connectTimeoutS, 1)));
  SetTimings(s.serial, s.modem, s.ethernet);
}

void TReadThread::RequestStop() {
  stop_->store(true);
  link_.AbortFlag().store(true);
}

void TReadThread::ResetForRun() {
  ownStop_.store(false);
  link_.AbortFlag().store(stop_->load());
}

void TReadThread::Start() {
  Wait();
  ResetForRun();
  running_ = true;
  thread_ = std::jthread([this] {
    Run();
    running_ = false;
  });
}

void TReadThread::Wait() {
  if (thread_.joinable()) thread_.join();
}

void TReadThread::RunHere() {
  ResetForRun();
  running_ = true;
  Run();
  running_ = false;
}

void TReadThread::Status(const std::string& t) {
  if (!job_.refreshWindow) obs_.ShowStatus(t);
}

void TReadThread::BeginRead(const std::string& title) {
  Log(title);
  Status(title);
  started_ = std::chrono::steady_clock::now();
  obs_.DisableControls();
}

void TReadThread::Progress(int /*min*/, int max) { obs_.SetProgressMax(max); }

std::string TReadThread::ElapsedTextNow() const {
  auto d = std::chrono::steady_clock::now() - started_;
  return ElapsedText(std::chrono::duration_cast<std::chrono::seconds>(d).count());
}

std::string TReadThread::PortText() const {
  return job_.portName.empty() ? link_.SerialPath(job_.comPort) : job_.portName;
}

std::string TReadThread::ConnectionDescription() const {
  if (job_.connectMode == ConnectMode::Modem) return "Модем, " + PortText();
  if (job_.connectMode == ConnectMode::Tcp) return job_.sockIp + ":" + std::to_string(job_.sockPort);
  return PortText() + ", " + std::to_string(job_.baudRate) + " bps";
}

std::uint32_t TReadThread::LongAddress() const { return job_.useMBus ? job_.mbusAddress : job_.netAddress; }

std::string TReadThread::JobError() const {
  if (!job_.settingsError.empty()) return job_.settingsError;
  if (!job_.useMBus && frame::AddressNeedsMBus(job_.netAddress)) {
    return "Адрес прибора " + std::to_string(job_.netAddress) +
           " вне диапазона 0..255: адреса больше 255 возможны только в режиме M-Bus.";
  }
  return {};
}

void TReadThread::Run() {
  result_ = {};
  batchResults_.clear();
  scanResults_.clear();
  fetched_ = false;
  identified_.clear();
  if (const std::string refused = JobError(); !refused.empty()) {
    ReportError(refused);
    obs_.EnableControls();
    Fail(ErrorCode::BadSettings, refused);
    return;
  }
  Prepare();
  // A stop requested between Start() and here ends the job before the port opens.
  if (StopNow()) {
    StopExit();
    return;
  }
  if (!scanAddresses_.empty()) {
    RunScan();
    return;
  }
  if (!batch_.empty()) {
    RunBatch();
    return;
  }
  if (!OpenPort()) return;
  if (!ModemDial()) {
    link_.CloseLink();
    obs_.EnableControls();
    if (StopNow()) MarkStopped();
    else Fail(LinkFailureCode(), {});
    return;
  }
  if (!Identify()) return;
  if (job_.identifyOnly) {
    FinishIdentify();
    return;
  }
  RunDevicePath();
}

void TReadThread::RunDevicePath() {
  switch (result_.type) {
    case DeviceType::dtVTK0812: RunVtk0812(); break;
    case DeviceType::dtVTK0814C:
    case DeviceType::dtVTK0814CM: RunVtk0814(); break;
    case DeviceType::dtLDN08: RunLdn08(); break;
    case DeviceType::dtUnknown: break;
  }
}

void TReadThread::ClearBuffers() {
  std::fill(vtkHeader_.begin(), vtkHeader_.end(), 0);
  std::fill(area0812_.begin(), area0812_.end(), 0);
  std::fill(area0814_.begin(), area0814_.end(), 0);
  caption_.clear();
}

void TReadThread::Prepare() {
  ClearBuffers();
  obs_.DisableControls();

  const TimingTriple& t = job_.connectMode == ConnectMode::Modem ? job_.modemTiming
                          : job_.connectMode == ConnectMode::Tcp ? job_.ethernetTiming
                                                                 : job_.serialTiming;
  link_.SetByteTimeout(t.byteTimeout);
  link_.SetReplyTimeout(t.replyTimeout);
  link_.SetRetries(t.retries);
  link_.SetUseTcp(job_.connectMode == ConnectMode::Tcp);
  link_.SetIpAddress(job_.sockIp);
  link_.SetTcpPort(job_.sockPort);
  link_.SetUseGate(job_.useGate);
  link_.SetUseDynDNS(job_.useDynDns);
  link_.SetDynDnsName(job_.gateHost);
  link_.SetEvenParity(job_.useMBus);
  link_.SetPortName(job_.portName);
  link_.SetConnectTimeout(job_.connectTimeoutS);
}

bool TReadThread::OpenPort() {
  if (link_.UseTcp())
    Log("OpenPort: IP " + (job_.useDynDns ? job_.gateHost : job_.sockIp) + ":" + std::to_string(job_.sockPort));
  else Log("OpenPort: Port " + PortText() + ", " + std::to_string(job_.baudRate));
  if (link_.OpenLink(job_.comPort, job_.baudRate)) return true;
  // A stop during the TCP connect is a stop, not a connection error.
  if (StopNow()) {
    StopExit();
    return false;
  }

  obs_.EnableControls();
  const std::string info = link_.CauseText();
  const std::string head = link_.UseTcp() ? "Ошибка WINSOCK соединения." : "Ошибка открытия порта " + PortText() + ".";
  ReportError(head + "\r\nДополнительная информация: " + info);
  Fail(LinkFailureCode(), head, info);
  return false;
}

bool TReadThread::Identify() {
  DeviceType type = DeviceType::dtUnknown;
  for (int k = 1; k <= 3 && type == DeviceType::dtUnknown; ++k) {
    Log("[" + std::to_string(k) + "] Определение типа устройства...");
    Status("Определение типа устройства...");
    std::string text = job_.useMBus ? link_.IdentifyLong(job_.mbusAddress) : link_.Identify(ShortAddress());
    if (StopNow()) {
      StopExit();
      return false;
    }
    type = TypeOfIdentText(text);
    if (type != DeviceType::dtUnknown) identified_ = text;
  }
  if (type == DeviceType::dtUnknown) {
    Log("Ошибка идентификации прибора.");
    const std::string info = link_.CauseText();
    CloseAll();
    ReportError("Ошибка идентификации прибора.\r\nДополнительная информация: " + info);
    obs_.EnableControls();
    Status(ConnectionDescription());
    Fail(LinkFailureCode(), "Ошибка идентификации прибора.", info);
    return false;
  }
  result_.type = type;
  result_.identText = identified_;
  return true;
}

TReadThread::Step TReadThread::AfterBlock(bool ok, const std::string& errorMessage) {
  if (StopNow()) return Step::Stop;
  if (!ok) {
    ErrorExit(errorMessage);
    return Step::Error;
  }
  return Step::Ok;
}

void TReadThread::ErrorExit(const std::string& message) {
  std::uint32_t code = link_.LastError();
  if (code == 0) link_.SetLastError(code = link_error::kWrongReply);
  const std::string info = link_.CauseText();
  ReportError(message + "\r\nДополнительная информация: " + info);
  // An instrument that answered the identification and then fell silent is
  // most often asked in the wrong form: the M-Bus setting names it.
  if (code == link_error::kTimeout) Log(MBusHint(result_.type, job_.useMBus));
  CloseAll();
  obs_.EnableControls();
  // After the controls are enabled (which clears the stage text), so the message stays.
  Status(message);
  ProgressPos(0);
  Fail(static_cast<ErrorCode>(code), message, info);
}

void TReadThread::Fail(ErrorCode code, std::string message, std::string linkCause) {
  result_.outcome = ReadOutcome::Failed;
  result_.error = MakeError(code, std::move(message));
  result_.linkError = std::move(linkCause);
}

ErrorCode TReadThread::LinkFailureCode() const {
  const std::uint32_t code = link_.LastError();
  return code == link_error::kOk ? ErrorCode::WrongReply : static_cast<ErrorCode>(code);
}

void TReadThread::MarkStopped() {
  result_.outcome = ReadOutcome::Stopped;
  result_.error = MakeError(ErrorCode::Stopped, {});
}

void TReadThread::StopExit() {
  AbortCleanup();
  ProgressPos(0);
  MarkStopped();
}

void TReadThread::NoteStopped() {
  if (!job_.quiet) Log("Текущая операция прервана по желанию пользователя");
  link_.AbortFlag().store(false);
  MarkStopped();
}

void TReadThread::AbortCleanup() {
  if (!job_.quiet) Log("Текущая операция прервана по желанию пользователя");
  link_.AbortFlag().store(false);
  Status("");
  obs_.EnableControls();
  CloseAll();
}

void TReadThread::CloseAll() {
  if (holdLine_) return;
  if (link_.PortOpen()) ModemHangUpIfModem();
  link_.CloseLink();
}

void TReadThread::FinishIdentify() {
  CloseAll();
  obs_.EnableControls();
  Status(ConnectionDescription());
  result_.outcome = ReadOutcome::Done;
}

}  // namespace statvtk
