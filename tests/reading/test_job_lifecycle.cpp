// A reading job kept and started again, stopped at every stage (before its
// preparation, during the connect), destroyed while running, and refused when
// its address or settings cannot reach the intended instrument.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "support/wait_until.hpp"
#include "job_fixture.hpp"
#include "base/ini_file.hpp"
#include "base/error.hpp"
#include "stats/device_members.hpp"
#include "stats/stat_file.hpp"
#include "stats/stat_model.hpp"
#include "support/fake_modem.hpp"
#include "support/pty_pair.hpp"

namespace statvtk::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kStopLine = "Текущая операция прервана по желанию пользователя";

sim::InstrumentOptions Model(DeviceType t) {
  sim::InstrumentOptions o;
  o.model = t;
  o.seed = 5;
  return o;
}

// The process-wide stop (Ctrl+C, "Остановить чтение") raised before the job's
// preparation: the preparation must not clear it from the link.
TEST(JobLifecycle, AStopBeforeThePreparationEndsTheJob) {
  JobRig rig(Model(DeviceType::dtVTK0812));
  std::atomic<bool> stop{false};
  rig.job.SetStopFlag(&stop);
  stop = true;
  rig.job.Start();
  rig.job.Wait();
  EXPECT_EQ(rig.job.Result().outcome, ReadOutcome::Stopped);
  EXPECT_TRUE(rig.sent.empty()) << "a request went out after the stop";
  EXPECT_TRUE(rig.obs.Logged(kStopLine)) << ::testing::PrintToString(rig.obs.log);
  EXPECT_GE(rig.obs.enabled, 1);
}

TEST(JobLifecycle, AStopDuringTheConnectIsAStop) {
  JobRig rig(Model(DeviceType::dtVTK0812));
  // A connect that only the abort flag ends, as the TCP channel's does.
  std::atomic<bool> connecting{false};
  rig.job.SetChannelFactory([&connecting](Tmod07& link) -> std::unique_ptr<ByteChannel> {
    connecting = true;
    WaitUntil([&] { return link.AbortFlag().load(); }, 60s);
    link.SetFailure(MakeError(ErrorCode::Connect, "подключение прервано пользователем"));
    return nullptr;
  });
  rig.job.Start();
  ASSERT_TRUE(WaitUntil([&] { return connecting.load(); }));
  rig.job.RequestStop();
  rig.job.Wait();
  EXPECT_EQ(rig.job.Result().outcome, ReadOutcome::Stopped);
  EXPECT_TRUE(rig.obs.Logged(kStopLine));
  EXPECT_FALSE(rig.obs.LoggedPrefix("Ошибка WINSOCK соединения."));
}

TEST(JobLifecycle, DestroyingARunningJobStopsIt) {
  RecordingObserver obs;
  sim::Instrument instrument(Model(DeviceType::dtVTK0812));
  std::vector<SentRequest> sent;
  auto job = std::make_unique<TestJob>(obs);
  // A silent instrument with a 5 s reply budget: identification alone would take minutes.
  std::atomic<bool> opened{false};
  job->SetChannelFactory([&](Tmod07&) -> std::unique_ptr<ByteChannel> {
    opened = true;
    return std::make_unique<RecordingChannel>(instrument, sent, 0);
  });
  job->SetTiming({100, 5000, 5});
  job->Job().line.mode = ConnectMode::Tcp;
  job->Job().line.target = TcpLine{"127.0.0.1", 10001, false, false, "", 5};
  job->SetNetAddress(1);
  job->Start();
  ASSERT_TRUE(WaitUntil([&] { return opened.load(); }));
  const auto t0 = Clock::now();
  job.reset();
  EXPECT_LT(Clock::now() - t0, 20s) << "the job was waited out, not stopped";
}

// A modem job whose dialing was stopped dials again when started again.
TEST(JobLifecycle, ModemJobStartedAgainDialsAgain) {
  testing::PtyPair pty;
  testing::FakeModem::Script script;
  script.calls = {testing::FakeModem::Dial::Silent, testing::FakeModem::Dial::Connect};
  testing::FakeModem modem(pty, script);
  RecordingObserver obs;
  TestJob job(obs);
  job.Job().line.mode = ConnectMode::Modem;
  job.Job().line.target = SerialLine{1, pty.SlavePath(), 9600};
  job.Job().line.dial = ModemDialJob{"84951234567", false, 2, 5, "", true};
  job.Hooks().modemStep = 2ms;
  job.SetTiming({10, 30, 1});
  job.SetNetAddress(1);
  bool stopOnDial = true;
  obs.onLog = [&](const std::string& line) {
    if (stopOnDial && line.rfind(">>>ATDT", 0) == 0) job.RequestStop();
  };
  job.RunHere();
  ASSERT_EQ(job.Result().outcome, ReadOutcome::Stopped);
  EXPECT_EQ(job.Job().line.dial.attempts, 2);

  stopOnDial = false;
  job.RunHere();  // connects, then finds no instrument behind the modem
  int dials = 0;
  for (const auto& c : modem.Commands()) dials += c.rfind("ATDT", 0) == 0 ? 1 : 0;
  EXPECT_EQ(dials, 2);
  EXPECT_TRUE(obs.Logged("CONNECT 9600"));
}

TEST(JobLifecycle, AnAddressAbove255OutsideMBusIsRefused) {
  for (bool fromSettings : {false, true}) {
    JobRig rig(Model(DeviceType::dtVTK0812));
    if (fromSettings) {
      ConnectionSettings s;
      s.netAddress = 300;  // would be instrument 44 as a byte
      s.connectMode = ConnectMode::Tcp;
      s.sockIp = "127.0.0.1";
      rig.job.SetConnection(s);
    } else {
      rig.job.SetNetAddress(300);
    }
    rig.job.RunHere();
    const JobOutcome r = rig.job.Result();
    EXPECT_EQ(r.outcome, ReadOutcome::Failed);
    EXPECT_NE(r.Message().find("300"), std::string::npos) << r.Message();
    EXPECT_NE(r.Message().find("0..255"), std::string::npos) << r.Message();
    EXPECT_TRUE(rig.obs.Logged(r.Message()));
    EXPECT_TRUE(rig.sent.empty());
    EXPECT_EQ(rig.openChannels, 0);
  }
}

// A .814 file does not say C or CM: the download remembers the member by
// serial number in StatVTK.ini, and a file of that serial opened later is
// decoded with it.
TEST(DeviceMembers, ADownloadRemembersTheMemberForTheFileOpenedLater) {
  for (DeviceType t : {DeviceType::dtVTK0814CM, DeviceType::dtVTK0814C}) {
    JobRig rig(Model(t));
    rig.job.SetReadLast(true);
    rig.job.SetWantHourly(true);
    rig.job.SetLastHours(2);
    rig.job.RunHere();
    ASSERT_EQ(rig.job.Result().outcome, ReadOutcome::Done) << rig.job.Result().Message();
    ASSERT_TRUE(rig.job.Result().fileWritten);
    Result<StatData> loaded = LoadStatFile(rig.job.Result().file, ExtensionRule::LowerCase);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->type, DeviceType::dtVTK0814C);  // all the file itself can say
    const IniFile ini(rig.home / "StatVTK.ini");
    EXPECT_EQ(ini.ReadString("Devices", StatSerialText(*loaded), ""), t == DeviceType::dtVTK0814CM ? "CM" : "C");
    StatData data = *loaded;
    EXPECT_EQ(ApplyMember(data, ini, std::nullopt), MemberSource::Remembered);
    EXPECT_EQ(data.type, t);
    // The user's word wins over the remembered member.
    const DeviceType other = t == DeviceType::dtVTK0814CM ? DeviceType::dtVTK0814C : DeviceType::dtVTK0814CM;
    EXPECT_EQ(ApplyMember(data, ini, other), MemberSource::Given);
    EXPECT_EQ(data.type, other);
    // Unknown serial: the C tables, and the note says so.
    StatData unknown = *loaded;
    const IniFile empty = IniFile::FromText(rig.home / "other.ini", "");
    EXPECT_EQ(ApplyMember(unknown, empty, std::nullopt), MemberSource::Assumed);
    EXPECT_EQ(unknown.type, DeviceType::dtVTK0814C);
    EXPECT_NE(MemberNote(MemberSource::Assumed, unknown.type).find("неизвестно"), std::string::npos);
  }
}

TEST(DeviceMembers, OnlyVtk0814AndUsableSerialsAreRemembered) {
  JobRig rig(Model(DeviceType::dtVTK0812));
  IniFile ini(rig.home / "StatVTK.ini");
  // Not written, and no failure either.
  const auto remembered = [&ini](const std::string& serial, DeviceType type) {
    const Result<bool> r = RememberMember(ini, serial, type);
    EXPECT_TRUE(r.has_value()) << r.error().reason;
    return r && *r;
  };
  EXPECT_FALSE(remembered("12345678", DeviceType::dtVTK0812));
  EXPECT_FALSE(remembered("12=4[678", DeviceType::dtVTK0814CM));
  EXPECT_FALSE(remembered(std::string("12\xC3\xA9"), DeviceType::dtVTK0814CM));
  EXPECT_TRUE(remembered("00012345", DeviceType::dtVTK0814CM));
  EXPECT_EQ(RememberedMember(IniFile(rig.home / "StatVTK.ini"), "00012345"), DeviceType::dtVTK0814CM);
  StatData ldn = StatData::Blank(DeviceType::dtLDN08);
  EXPECT_EQ(ApplyMember(ldn, ini, DeviceType::dtVTK0814CM), MemberSource::NotApplicable);
  EXPECT_EQ(ldn.type, DeviceType::dtLDN08);
}

// Two lines read at once in one process, each run with its own stop: a stop
// of one ends only that one, and both files are what the instruments hold.
TEST(JobLifecycle, TwoLinesReadAtOnceEachStoppedOnItsOwn) {
  JobRig first(Model(DeviceType::dtVTK0814C)), second(Model(DeviceType::dtLDN08));
  for (JobRig* rig : {&first, &second}) rig->AllKinds();
  second.UseMBus();
  // The first run is stopped well into its hourly records; the second goes on.
  std::atomic<bool> stopFirst{true};
  first.obs.onPos = [&](int p) {
    if (p == 700 && stopFirst.exchange(false)) first.job.RequestStop();
  };
  first.job.Start();
  second.job.Start();
  first.job.Wait();
  second.job.Wait();
  EXPECT_EQ(first.job.Result().outcome, ReadOutcome::Stopped);
  ASSERT_EQ(second.job.Result().outcome, ReadOutcome::Done) << second.job.Result().Message();
  EXPECT_EQ(ReadFileBytes(second.job.Result().file), second.instrument.ExpectedDumpBytes());
  // Read again, unstopped: the first line's file is whole as well.
  first.job.Start();
  first.job.Wait();
  ASSERT_EQ(first.job.Result().outcome, ReadOutcome::Done) << first.job.Result().Message();
  EXPECT_EQ(ReadFileBytes(first.job.Result().file), first.instrument.ExpectedDumpBytes());
}

}  // namespace
}  // namespace statvtk::test
