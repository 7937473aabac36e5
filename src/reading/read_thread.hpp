// TReadThread: one reading job (identification, download or current readings)
// on its own thread. It owns its link, takes the job parameters through
// setters, and reports only through a ReadObserver.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "base/error.hpp"
#include "link/settings.hpp"
#include "link/tmod07.hpp"
#include "reading/read_observer.hpp"
#include "reading/scan_observer.hpp"
#include "stats/device_type.hpp"
#include "stats/stat_image.hpp"
#include "stats/stat_model.hpp"

namespace statvtk {

struct ArchiveArea;

// How a run ended.
enum class ReadOutcome {
  NotRun,  // the thread was never started
  Done,    // finished (a file may still have failed to be written: see fileError)
  Failed,  // opening, dialing, identification or a block read failed; once an
           // archive block had come, a file keeps what was fetched (partial)
  Stopped  // the stop request ended it (a file is written where the path keeps the data)
};

// What the caption of a stopped read's window ends with.
inline constexpr const char* kIncompleteCaption = " (неполные данные)";

// A run's end: what was fetched travels with the failure that ended the run.
struct ReadResult {
  ReadOutcome outcome = ReadOutcome::NotRun;
  DeviceType type = DeviceType::dtUnknown;
  std::string identText;  // the identification text that fixed the type
  // Why the run failed or stopped: the link's code at the failure (BadSettings
  // for a job refused before it ran, Stopped for the user's stop) and the
  // stage's message as the reason (empty for a stop). None when it did not.
  std::optional<Error> error;
  std::string linkError;       // the link's words for the cause at that failure
  std::filesystem::path file;  // the statistics file written, or where it should have gone
  bool fileWritten = false;
  bool partial = false;            // the data end at a stop or a failure (zeroes where not read)
  std::optional<Error> fileError;  // the file could not be written: its path and the system's reason
  bool delivered = false;          // statistics or current readings were handed over
  std::uint32_t address = 0;       // the address read (a batch names each one)

  // The stage's message on failure; empty otherwise.
  std::string Message() const { return error ? error->reason : std::string(); }
  std::string FileErrorText() const { return fileError ? fileError->reason : std::string(); }
};

// Everything a job is given before it starts, with the constructor's defaults.
struct ReadJob {
  ConnectMode connectMode = ConnectMode::Serial;
  std::uint32_t netAddress = 0;  // 0..255 outside M-Bus mode (a larger one is refused)
  std::uint32_t mbusAddress = 0;
  bool useMBus = false;
  std::uint8_t comPort = 1;
  std::string portName;  // serial device path; empty: SerialPortPathOf(comPort)
  std::uint32_t baudRate = 9600;
  std::string sockIp;
  std::string gateHost;
  std::uint16_t sockPort = 10001;
  bool useGate = false;
  bool useDynDns = false;
  std::string phoneNo;
  std::string initString;
  bool pulseDial = false;
  std::uint8_t reconnects = 3;
  std::uint8_t connectWaitS = 60;
  std::uint32_t connectTimeoutS = 5;
  bool quiet = false;  // no abort message
  bool readCurrent = false;
  bool refreshWindow = false;
  bool identifyOnly = false;  // stop after identification (command-line `identify`)
  bool readAll = false;
  bool readLast = false;
  bool readNew = false;            // only the records written since a base file
  std::filesystem::path basePath;  // that base; empty: the newest of the instrument in Data
  bool wantHourly = false, wantDaily = false, wantMonthly = false, wantEvents = false;
  std::int32_t lastHours = 0;
  std::int32_t lastDays = 0;
  TimingTriple serialTiming{100, 400, 5};
  TimingTriple modemTiming{400, 1500, 5};
  TimingTriple ethernetTiming{100, 150, 10};
  std::string settingsError;  // an out-of-range setting (SetConnection); the run refuses it
};

class TReadThread {
 public:
  explicit TReadThread(ReadObserver& observer);
  ~TReadThread();  // requests the stop of a run still going, then waits for it to end
  TReadThread(const TReadThread&) = delete;
  TReadThread& operator=(const TReadThread&) = delete;

  // --- job parameters (before Start) ---
  void SetConnectMode(ConnectMode mode) { job_.connectMode = mode; }
  // Outside M-Bus mode an address above 255 is refused by the run (never cut to a byte).
  void SetNetAddress(std::uint32_t a) { job_.netAddress = a; }
  void SetMBusAddress(std::uint32_t a) { job_.mbusAddress = a; }
  void SetUseMBus(bool on) { job_.useMBus = on; }
  void SetComPort(std::uint8_t n) {
    if (n != 0) job_.comPort = n;
  }
  void SetPortName(const std::string& path) { job_.portName = path; }
  void SetBaudRate(std::uint32_t rate) {
    if (rate != 0) job_.baudRate = rate;
  }
  void SetSockIP(const std::string& host) {
    if (host.find('.') != std::string::npos) job_.sockIp = host;
  }
  void SetGateHost(const std::string& host) {
    if (host.find('.') != std::string::npos) job_.gateHost = host;
  }
  void SetSockPort(std::uint16_t port) { job_.sockPort = port; }
  void SetUseGate(bool on) { job_.useGate = on; }
  void SetUseDynDNS(bool on) { job_.useDynDns = on; }
  void SetPhoneNo(const std::string& s) { job_.phoneNo = s; }
  void SetInitString(const std::string& s) { job_.initString = s; }
  void SetPulseDial(bool on) { job_.pulseDial = on; }
  void SetReconnects(std::uint8_t n) { job_.reconnects = n; }
  void SetConnectWait(std::uint8_t seconds) { job_.connectWaitS = seconds; }
  void SetConnectTimeout(std::uint32_t seconds) { job_.connectTimeoutS = seconds; }
  void SetQuiet(bool on) { job_.quiet = on; }
  void SetReadCurrent(bool on) { job_.readCurrent = on; }
  void SetRefreshWindow(bool on) { job_.refreshWindow = on; }
  void SetIdentifyOnly(bool on) { job_.identifyOnly = on; }
  void SetReadAll(bool on) { job_.readAll = on; }
  void SetReadLast(bool on) { job_.readLast = on; }
  // Reads the archives as "Вся статистика" would, but takes from the base file
  // every record that cannot have changed since (VTK-08.14, LDN-08).
  void SetReadNew(bool on) { job_.readNew = on; }
  void SetBasePath(const std::filesystem::path& p) { job_.basePath = p; }
  // Several instruments in one run: the line is opened (a modem dialled) once,
  // then each address is identified and read in turn into its own file.
  // Empty: the one address of SetNetAddress / SetMBusAddress.
  void SetBatchAddresses(std::vector<std::uint32_t> addresses) { batch_ = std::move(addresses); }
  // A search instead of a read: the identification request (only) to each
  // address at each speed (serial port; other transports keep their own);
  // found instruments go to `found` as they answer. Empty addresses: no search.
  void SetScan(std::vector<std::uint32_t> addresses, std::vector<std::uint32_t> bauds, ScanObserver* found) {
    scanAddresses_ = std::move(addresses);
    scanBauds_ = std::move(bauds);
    scanObs_ = found;
  }
  void SetWantHourly(bool on) { job_.wantHourly = on; }
  void SetWantDaily(bool on) { job_.wantDaily = on; }
  void SetWantMonthly(bool on) { job_.wantMonthly = on; }
  void SetWantEvents(bool on) { job_.wantEvents = on; }
  // The caller passes the dialog's count plus 1, and only when the count is not 0.
  void SetLastHours(std::int32_t n) { job_.lastHours = n; }
  void SetLastDays(std::int32_t n) { job_.lastDays = n; }
  // The timing triples of the three transports; the run takes the one of its mode.
  void SetTimings(const TimingTriple& serial, const TimingTriple& modem, const TimingTriple& ethernet);
  // Fills the connection parameters from the program-wide settings. A value
  // out of its range (ConnectionSettingsError) makes the run refuse to start.
  void SetConnection(const ConnectionSettings& s);

  // --- environment ---
  void SetProgramHome(const std::filesystem::path& home) { home_ = home; }
  // The process-wide stop request ("Остановить чтение"); by default the thread's own.
  void SetStopFlag(std::atomic<bool>* flag) { stop_ = flag ? flag : &ownStop_; }
  // The link's abort flag; by default the link's own.
  void SetAbortFlag(std::atomic<bool>* flag) { link_.SetAbortFlag(flag); }
  void SetChannelFactory(Tmod07::ChannelFactory f) { link_.SetChannelFactory(std::move(f)); }
  void SetTrace(Tmod07::TraceFn fn) {
    trace_ = fn;
    link_.SetTrace(std::move(fn));
  }
  // The PC clock used for the file name (tests fix it).
  void SetClock(std::function<std::chrono::system_clock::time_point()> clock) { clock_ = std::move(clock); }
  // The step of the modem dialogue's waits (100 ms; tests shorten it).
  void SetModemStep(std::chrono::milliseconds step) { modemStep_ = step; }

  const ReadJob& Job() const { return job_; }
  Tmod07& Link() { return link_; }

  // Sets the stop request and the link's abort flag (what the front end's stop does).
  void RequestStop();
  std::atomic<bool>& StopFlag() { return *stop_; }

  // Starts the run on its own thread; Wait() blocks until it has ended. Each
  // run starts from the job as configured: a stop request left by the previous
  // run is cleared here, so a stop requested after Start() ends this run.
  void Start();
  void Wait();
  bool Running() const { return running_.load(); }
  // Runs the job on the calling thread (tests, benchmarks).
  void RunHere();
  const ReadResult& Result() const { return result_; }  // valid after Wait()
  // A batch: each address's own result, in the order read (valid after Wait()).
  const std::vector<ReadResult>& BatchResults() const { return batchResults_; }
  // A search: the instruments found, in the order they answered.
  const std::vector<ScanFound>& ScanResults() const { return scanResults_; }

 private:
  enum class Step { Ok, Error, Stop };

  void Run();
  void ResetForRun();  // clears the stop and abort flags left by a previous run
  // Why the configured job cannot run (an out-of-range setting or address); empty: it can.
  std::string JobError() const;
  std::uint8_t ShortAddress() const { return static_cast<std::uint8_t>(job_.netAddress); }
  void Prepare();
  void ClearBuffers();
  bool OpenPort();
  bool Identify();
  void RunDevicePath();
  void RunBatch();
  void RunScan();
  bool Probe(std::uint32_t address);
  void RunVtk0812();
  void RunVtk0814();
  void RunLdn08();
  Step ReadRtc();
  Step ReadVtkConfig(int blockSize, std::span<const int> blocks);
  Step ReadVtk0814Archives();
  // The end of the 08.14 and LDN-08 reads once their header is in (`s` says
  // how its read went): the current values handed over, or the archives read
  // by `readArchives` and the statistics finished.
  void FinishArchiveModel(Step s, const std::vector<std::uint8_t>& area, const std::vector<std::uint8_t>& header,
                          const std::function<Step()>& readArchives);
  // The whole event area of the 08.14, as the "all" and "new" reads take it.
  Step ReadVtk0814AllEvents();
  Step ReadLdnArchives();
  // The new-records read of the models with archive pointers.
  struct NewArea;
  template <class ReadFn>
  Step ReadNewAreas(std::span<const NewArea> areas, std::vector<std::uint8_t>& buf,
                    std::span<const std::uint8_t> header, ReadFn read);
  template <class ReadFn>
  Step ReadAreaFull(const NewArea& a, std::vector<std::uint8_t>& buf, ReadFn read);
  std::optional<StatData> LoadBase(std::span<const std::uint8_t> header);
  Step ReadVtk0814New();
  Step ReadLdnNew();
  // Reads records of an archive buffer at the given addresses; `shown(n)` is
  // the progress position and detail after the n-th record (0-based).
  template <class ReadFn, class ShownFn>
  Step ReadRecords(const std::vector<std::uint32_t>& addresses, std::uint32_t size, std::vector<std::uint8_t>& area,
                   const std::string& errorMessage, ReadFn read, ShownFn shown);
  // The "last" read of one archive: walks back from its pointer over the
  // hours or days asked (the monthly archive: 13 months), with the archive's
  // stage text and error message.
  template <class ReadFn>
  Step ReadLastRecords(ArchiveKind kind, const ArchiveArea& map, std::uint32_t pointer, std::uint32_t size,
                       std::vector<std::uint8_t>& area, ReadFn read);
  // Writes the file of a download under the first free name; false when it could not be written.
  bool WriteDownload(const StatData& data);
  void FinishStatistics(StatData data);
  // After a failure: keeps what was fetched in a file, once any archive block came.
  void KeepFetched(const StatData& data);
  void FinishCurrent(std::span<const std::uint8_t, 1024> block);
  void FinishIdentify();

  // Marks the run failed with `code` (a link code, or BadSettings) and the stage's message.
  void Fail(ErrorCode code, std::string message, std::string linkCause = {});
  // The link's code of the failure just seen; WrongReply when the link has none.
  ErrorCode LinkFailureCode() const;
  void MarkStopped();

  // One block read: the read, then the error test, then the stop test.
  Step AfterBlock(bool ok, const std::string& errorMessage);
  void ErrorExit(const std::string& message);
  void StopExit();  // ends the run without a file
  void NoteStopped();

  // Modem steps: no-ops for the serial and TCP transports.
  bool ModemDial();
  void ModemHangUpIfModem();
  void AbortCleanup();
  void CloseAll();  // modem hang-up (modem mode) and close the link

  // Reporting helpers.
  void Log(const std::string& t) {
    if (!t.empty()) obs_.LogLine(t);
  }
  void ReportError(const std::string& t) { Log(t); }
  void Status(const std::string& t);
  // The start of a model's read: its title in the log and as the stage text,
  // the clock started, the controls locked.
  void BeginRead(const std::string& title);
  void Detail(const std::string& t) { obs_.ShowDetail(t); }
  void Progress(int min, int max);
  void ProgressPos(int pos) { obs_.SetProgressPos(pos); }
  // For ReadRecords: after the n-th record, `first + n` as the progress
  // position and the detail.
  std::function<void(int)> ShownFrom(int first) {
    return [this, first](int n) {
      ProgressPos(first + n);
      Detail(std::to_string(first + n));
    };
  }
  bool StopNow() { return stop_->load() || link_.AbortFlag().load(); }
  std::string ElapsedTextNow() const;
  std::string ConnectionDescription() const;
  std::string PortText() const;
  std::uint32_t LongAddress() const;

  ReadObserver& obs_;
  Tmod07 link_;
  ReadJob job_;
  ReadResult result_;
  std::filesystem::path home_;
  std::function<std::chrono::system_clock::time_point()> clock_;
  std::atomic<bool> ownStop_{false};
  std::atomic<bool>* stop_ = &ownStop_;
  std::atomic<bool> running_{false};
  std::chrono::steady_clock::time_point started_{};
  std::chrono::milliseconds modemStep_{100};
  std::string identified_;
  std::string caption_;
  Tmod07::TraceFn trace_;
  bool holdLine_ = false;  // a batch or search keeps the line between addresses
  std::vector<std::uint32_t> batch_;
  std::vector<ReadResult> batchResults_;
  std::vector<std::uint32_t> scanAddresses_, scanBauds_;
  ScanObserver* scanObs_ = nullptr;
  std::vector<ScanFound> scanResults_;
  bool fetched_ = false;  // an archive block of this run has been read

  // The thread's buffers, in the order of the statistics image.
  std::vector<std::uint8_t> vtkHeader_ = std::vector<std::uint8_t>(kVtkHeaderSize);
  std::vector<std::uint8_t> area0812_ = std::vector<std::uint8_t>(kArea0812Size);
  std::vector<std::uint8_t> area0814_ = std::vector<std::uint8_t>(kArea0814Size);
  std::vector<std::uint8_t> ldnHeader_ = std::vector<std::uint8_t>(kLdnHeaderSize);
  std::vector<std::uint8_t> areaLdn_ = std::vector<std::uint8_t>(kAreaLdnSize);

  std::jthread thread_;  // last: joined before the members above go
};

}  // namespace statvtk
