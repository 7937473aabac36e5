// The reading job against the in-process simulated instrument, for each model.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "base/device_values.hpp"
#include "job_fixture.hpp"
#include "reading/read_maps.hpp"
#include "reading/read_text.hpp"
#include "sim/expected_dump.hpp"
#include "stats/stat_model.hpp"

namespace statvtk::test {
namespace {

using sim::InstrumentOptions;

InstrumentOptions Model(DeviceType t) {
  InstrumentOptions o;
  o.model = t;
  o.seed = 11;
  return o;
}

struct Range {
  std::size_t first, size;
};

// The file must equal the expected dump inside the ranges read and be zero elsewhere.
void ExpectReadRanges(const std::vector<std::uint8_t>& file, const std::vector<std::uint8_t>& dump,
                      const std::vector<Range>& ranges) {
  ASSERT_EQ(file.size(), dump.size());
  std::vector<bool> read(file.size());
  for (auto r : ranges)
    for (std::size_t i = r.first; i < r.first + r.size; ++i) read[i] = true;
  std::size_t wrong = 0, firstWrong = SIZE_MAX;
  for (std::size_t i = 0; i < file.size(); ++i)
    if (file[i] != (read[i] ? dump[i] : 0)) {
      ++wrong;
      firstWrong = std::min(firstWrong, i);
    }
  EXPECT_EQ(wrong, 0u) << "first differing byte at " << firstWrong;
}

// What a full read ("all", every kind) of each model covers in the file.
std::vector<Range> FullRanges(DeviceType t) {
  switch (t) {
    case DeviceType::dtVTK0812:
      return {{0, kArea0812Size}, {kArea0812Size + 0, 128}, {kArea0812Size + 436, 4}, {kArea0812Size + 512, 512}};
    case DeviceType::dtLDN08:
      return {{0, 1440 * 68},     {196608, 365 * 68},  {262144, 36 * 68},
              {274432, 128 * 64}, {kAreaLdnSize, 256}, {kAreaLdnSize + 512, 64}};
    default: {
      std::vector<Range> r{{0, 1440 * 64},       {92160, 400 * 64},        {117760, 120 * 64},      {125440, 87 * 64},
                           {kArea0814Size, 128}, {kArea0814Size + 180, 4}, {kArea0814Size + 264, 8}};
      for (int k : {0, 1, 8, 10, 11, 12, 13, 14, 15}) r.push_back({kArea0814Size + 512 + k * 32u, 32});
      return r;
    }
  }
}

class FullRead : public ::testing::TestWithParam<DeviceType> {};

TEST_P(FullRead, WritesTheSimulatorsImageInEveryAreaRead) {
  const DeviceType t = GetParam();
  JobRig rig(Model(t));
  rig.AllKinds();
  rig.UseMBusIfLdn();
  rig.job.Start();
  rig.job.Wait();
  const JobOutcome r = rig.job.Result();
  ASSERT_EQ(r.outcome, ReadOutcome::Done) << r.Message() << " " << r.LinkCauseText();
  EXPECT_EQ(r.type, t);
  ASSERT_TRUE(r.fileWritten) << r.FileErrorText();
  const auto files = rig.DataFiles();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0], r.file);
  EXPECT_EQ(files[0].extension(), std::string(FileExtension(t)));
  const auto file = ReadFileBytes(files[0]);
  ExpectReadRanges(file, rig.instrument.ExpectedDumpBytes(), FullRanges(t));
  ASSERT_TRUE(rig.obs.stats);
  EXPECT_EQ(sim::DumpBytes(*rig.obs.stats), file);
  EXPECT_TRUE(rig.obs.LoggedPrefix("Чтение статистики успешно завершено ("));
  EXPECT_TRUE(rig.obs.Logged("[1] Определение типа устройства..."));
  EXPECT_FALSE(rig.obs.Logged("[2] Определение типа устройства..."));
  EXPECT_EQ(rig.obs.caption.rfind("Статистика - ", 0), 0u);
  EXPECT_EQ(rig.openChannels, 0);
  EXPECT_GE(rig.obs.enabled, 1);
}

INSTANTIATE_TEST_SUITE_P(Models, FullRead,
                         ::testing::Values(DeviceType::dtVTK0812, DeviceType::dtVTK0814C, DeviceType::dtVTK0814CM,
                                           DeviceType::dtLDN08));

TEST(ReadJob, Vtk0812UsesTheRequestOperationsOfEachMemory) {
  JobRig rig(Model(DeviceType::dtVTK0812));
  rig.AllKinds();
  rig.job.RunHere();
  ASSERT_EQ(rig.job.Result().outcome, ReadOutcome::Done);
  ASSERT_EQ(rig.sent.size(), 1u + 8 + 1 + 32 + 4096);  // 4138 exchanges
  EXPECT_EQ(rig.sent[0].op, frame::Op::Identify);
  EXPECT_EQ(rig.sent[1].op, frame::Op::ReadBlock8);
  EXPECT_EQ(rig.sent[9].op, frame::Op::ReadParams16);
  EXPECT_EQ(rig.sent[9].offset, 180u);
  EXPECT_EQ(rig.sent[10].op, frame::Op::ReadBlock16);
  EXPECT_EQ(rig.sent[42].op, frame::Op::ReadArchive16);
  EXPECT_EQ(rig.sent.back().offset, 65520u);
  EXPECT_TRUE(rig.obs.Shown("Чтение статистики"));
  EXPECT_EQ(rig.obs.progressMax.back(), 4095);
}

TEST(ReadJob, Vtk0814TellsTheMemberAndShowsEachStage) {
  JobRig rig(Model(DeviceType::dtVTK0814CM));
  rig.AllKinds();
  rig.job.RunHere();
  ASSERT_EQ(rig.job.Result().outcome, ReadOutcome::Done);
  EXPECT_EQ(rig.obs.member, DeviceType::dtVTK0814CM);
  for (const char* s :
       {"Чтение данных (VTK-0814С)", "Чтение памяти RTC", "Чтение конфигурации", "Чтение всей статистики",
        "Чтение часовых записей", "Чтение суточных записей", "Чтение записей за месяц", "Чтение событий"})
    EXPECT_TRUE(rig.obs.Shown(s)) << s;
  EXPECT_TRUE(rig.obs.Logged("Чтение данных (VTK-0814С)"));
}

// With seed 140 the simulator's newest hourly record sits a few records after
// the start of the area, so the walk of 26 records wraps to its end.
InstrumentOptions NearAreaStart(DeviceType t, std::uint32_t& pointer) {
  InstrumentOptions o = Model(t);
  o.seed = 140;
  sim::Instrument probe(o);
  const auto& cfg = probe.GetMemories().config;
  pointer = t == DeviceType::dtLDN08 ? LittleUInt32(std::span(cfg).subspan(192, 4))
                                     : static_cast<std::uint32_t>(DeviceUInt(std::span(cfg).subspan(457, 3)));
  return o;
}

class LastRead : public ::testing::TestWithParam<DeviceType> {};

TEST_P(LastRead, Reads26HourlyRecordsNewestFirstWrappingAtTheAreaStart) {
  const DeviceType t = GetParam();
  std::uint32_t pointer = 0;
  JobRig rig(NearAreaStart(t, pointer));
  const ArchiveArea area = t == DeviceType::dtLDN08 ? kLdnHourly : kVtk0814Hourly;
  ASSERT_LT(pointer, 10 * area.recordSize) << "the simulator's hourly pointer did not move as expected";
  rig.job.SetReadLast(true);
  rig.job.SetWantHourly(true);
  rig.job.SetWantDaily(true);
  rig.job.SetLastHours(24 + 1);
  rig.job.SetLastDays(31 + 1);
  rig.UseMBusIfLdn();
  rig.job.RunHere();
  ASSERT_EQ(rig.job.Result().outcome, ReadOutcome::Done) << rig.job.Result().Message();

  std::vector<std::uint32_t> hourly;
  const frame::Op archiveOp = t == DeviceType::dtLDN08 ? frame::Op::ReadArchive32Long : frame::Op::ReadArchive32;
  for (const auto& s : rig.sent)
    if (s.op == archiveOp && s.offset < area.End()) hourly.push_back(s.offset);
  ASSERT_EQ(hourly.size(), 26u);
  EXPECT_EQ(hourly[0], pointer);
  std::uint32_t expected = pointer;
  for (std::size_t i = 1; i < hourly.size(); ++i) {
    expected = expected == 0 ? area.Last() : expected - area.recordSize;
    EXPECT_EQ(hourly[i], expected) << "record " << i;
  }
  EXPECT_EQ(hourly.back(), area.Last() - (25 - pointer / area.recordSize - 1) * area.recordSize);
  EXPECT_TRUE(rig.obs.Shown("Чтение часовых записей"));
  EXPECT_TRUE(std::find(rig.obs.progressMax.begin(), rig.obs.progressMax.end(), 25) != rig.obs.progressMax.end());

  // Those records, and nothing else of the hourly area, are in the file.
  const auto file = ReadFileBytes(rig.job.Result().file);
  const auto dump = rig.instrument.ExpectedDumpBytes();
  for (std::uint32_t a = 0; a < area.End(); a += area.recordSize) {
    const bool wasRead = std::find(hourly.begin(), hourly.end(), a) != hourly.end();
    for (std::uint32_t i = a; i < a + area.recordSize; ++i) ASSERT_EQ(file[i], wasRead ? dump[i] : 0) << "byte " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Models, LastRead, ::testing::Values(DeviceType::dtVTK0814C, DeviceType::dtLDN08));

TEST(ReadJob, LdnInMBusModeUsesTheLongAddressForEveryRequest) {
  JobRig rig(Model(DeviceType::dtLDN08));
  rig.UseMBus();
  rig.job.SetNetAddress(300);  // the network address is not used, so not checked, in M-Bus mode
  rig.job.SetReadLast(true);
  rig.job.SetWantMonthly(true);
  rig.job.SetWantEvents(true);
  rig.job.RunHere();
  ASSERT_EQ(rig.job.Result().outcome, ReadOutcome::Done) << rig.job.Result().Message();
  ASSERT_GT(rig.sent.size(), 10u);
  EXPECT_EQ(rig.sent[0].op, frame::Op::IdentifyLong);
  for (const auto& s : rig.sent) {
    EXPECT_EQ(s.form, frame::Form::Long);
    EXPECT_EQ(s.address, rig.instrument.Options().longAddress);
  }
  EXPECT_EQ(rig.sent[1].op, frame::Op::ReadBlock16Long);
  EXPECT_EQ(rig.sent[9].op, frame::Op::ReadParams16Long);
}

TEST(ReadJob, DailyPointerAtTheAreaStartContinuesAtItsLastRecord) {
  InstrumentOptions o = Model(DeviceType::dtVTK0814C);
  o.seed = 5;  // the newest daily record is the first of the area
  JobRig rig(o);
  ASSERT_EQ(DeviceUInt(std::span(rig.instrument.GetMemories().config).subspan(461, 3)), 92160u);
  rig.job.SetReadLast(true);
  rig.job.SetWantDaily(true);
  rig.job.SetLastDays(2 + 1);
  rig.job.RunHere();
  ASSERT_EQ(rig.job.Result().outcome, ReadOutcome::Done);
  std::vector<std::uint32_t> daily;
  for (const auto& s : rig.sent)
    if (s.op == frame::Op::ReadArchive32) daily.push_back(s.offset);
  EXPECT_EQ(daily, (std::vector<std::uint32_t>{92160, 117696, 117632, 117568}));
}

TEST(ReadJob, StopDuringVtk0814DailyReadKeepsTheHourlyRecords) {
  JobRig rig(Model(DeviceType::dtVTK0814C));
  rig.AllKinds();
  bool daily = false;
  rig.obs.onStatus = [&](const std::string& s) { daily = s == "Чтение суточных записей"; };
  rig.obs.onPos = [&](int p) {
    if (daily && p == 50) rig.job.RequestStop();
  };
  rig.job.RunHere();
  const JobOutcome r = rig.job.Result();
  EXPECT_EQ(r.outcome, ReadOutcome::Stopped);
  ASSERT_TRUE(r.fileWritten);
  EXPECT_TRUE(rig.obs.stats);
  EXPECT_TRUE(rig.obs.Logged("Текущая операция прервана по желанию пользователя"));
  const auto file = ReadFileBytes(r.file);
  const auto dump = rig.instrument.ExpectedDumpBytes();
  EXPECT_TRUE(std::equal(file.begin(), file.begin() + 1440 * 64, dump.begin())) << "hourly area";
  EXPECT_TRUE(std::equal(file.begin() + 92160, file.begin() + 92160 + 51 * 64, dump.begin() + 92160));
  EXPECT_TRUE(std::all_of(file.begin() + 117760, file.begin() + kArea0814Size, [](auto b) { return b == 0; }));
  EXPECT_EQ(rig.openChannels, 0);
}

TEST(ReadJob, StopDuringLdnHourlyLastReadWritesNothing) {
  JobRig rig(Model(DeviceType::dtLDN08));
  rig.UseMBus();
  rig.job.SetReadLast(true);
  rig.job.SetWantHourly(true);
  rig.job.SetLastHours(100);
  bool hourly = false;
  rig.obs.onStatus = [&](const std::string& s) { hourly = s == "Чтение часовых записей"; };
  rig.obs.onPos = [&](int p) {
    if (hourly && p == 10) rig.job.RequestStop();
  };
  rig.job.RunHere();
  EXPECT_EQ(rig.job.Result().outcome, ReadOutcome::Stopped);
  EXPECT_TRUE(rig.DataFiles().empty());
  EXPECT_FALSE(rig.obs.stats);
}

// The header bytes a full read of the model fills (the rest of FullRanges is the archive area).
std::vector<Range> HeaderRanges(DeviceType t) {
  std::vector<Range> v;
  for (const Range r : FullRanges(t))
    if (r.first >= AreaSize(t)) v.push_back(r);
  return v;
}

struct FailureCase {
  DeviceType model;
  std::size_t answered;  // requests answered before the line goes dead
  const char* message;
  std::vector<Range> fetched;  // archive bytes fetched before the failure; empty: no file
};

class LinkFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(LinkFailure, EndsWithTheStagesMessageAndKeepsWhatTheArchiveGave) {
  const FailureCase c = GetParam();
  JobRig rig(Model(c.model));
  rig.AllKinds();
  rig.UseMBusIfLdn();
  rig.silentAfter = c.answered;
  rig.job.RunHere();
  const JobOutcome r = rig.job.Result();
  EXPECT_EQ(r.outcome, ReadOutcome::Failed);
  EXPECT_EQ(r.Message(), c.message);
  EXPECT_EQ(rig.obs.status.back(), c.message);
  // The cause in words with the reply time-out, then the error's own text.
  EXPECT_EQ(r.LinkCauseText(), "нет ответа за " + std::to_string(rig.job.ReplyTimeout()) + " мс (Тайм-аут [2])");
  EXPECT_TRUE(rig.obs.LoggedPrefix(std::string(c.message) + "\r\nДополнительная информация: "));
  // The M-Bus setting fits each model here: no hint.
  EXPECT_FALSE(rig.obs.LoggedPrefix("Подсказка: "));
  EXPECT_FALSE(rig.obs.stats);  // a failed run opens no window
  EXPECT_FALSE(rig.obs.Logged("Чтение статистики успешно завершено (00:00)"));
  EXPECT_EQ(rig.obs.progressPos.back(), 0);
  EXPECT_EQ(rig.openChannels, 0);
  if (c.fetched.empty()) {
    EXPECT_TRUE(rig.DataFiles().empty());
    EXPECT_FALSE(r.fileWritten);
    return;
  }
  // What came before the failure is kept as a stop keeps it.
  ASSERT_EQ(rig.DataFiles().size(), 1u);
  ASSERT_TRUE(r.fileWritten);
  EXPECT_TRUE(r.partial);
  EXPECT_EQ(r.file, rig.DataFiles().front());
  EXPECT_TRUE(rig.obs.Logged("Записи, прочитанные до ошибки, записаны в файл " + r.file.string()));
  std::vector<Range> ranges = c.fetched;
  for (const Range h : HeaderRanges(c.model)) ranges.push_back(h);
  ExpectReadRanges(ReadFileBytes(r.file), rig.instrument.ExpectedDumpBytes(), ranges);
}

INSTANTIATE_TEST_SUITE_P(
    Stages, LinkFailure,
    ::testing::Values(FailureCase{DeviceType::dtVTK0812, 3, "Ошибка чтения RTC", {}},
                      FailureCase{DeviceType::dtVTK0812, 9, "Ошибка чтения оперативной памяти", {}},
                      FailureCase{DeviceType::dtVTK0812, 20, "Ошибка чтения конфигурации", {}},
                      // 1 identification + 8 RTC + 1 RAM + 32 configuration, then 1958 blocks of 16 bytes.
                      FailureCase{DeviceType::dtVTK0812, 2000, "Ошибка чтения Data EEPROM", {{0, 1958 * 16}}},
                      // 1 + 8 RTC + 2 RAM + 9 configuration, then 100 hourly records.
                      FailureCase{DeviceType::dtVTK0814C, 1 + 8 + 2 + 9 + 100, "Ошибка чтения", {{0, 100 * 64}}},
                      FailureCase{DeviceType::dtVTK0814C,
                                  1 + 8 + 2 + 9 + 1440 + 400 + 120 + 5,
                                  "Ошибка чтения событий",
                                  {{0, 1440 * 64}, {92160, 400 * 64}, {117760, 120 * 64}, {125440, 5 * 64}}},
                      FailureCase{DeviceType::dtLDN08, 4, "Ошибка чтения конфигурации", {}},
                      FailureCase{DeviceType::dtLDN08, 9, "Ошибка чтения оперативной памяти", {}},
                      // 1 + 8 configuration + 2 RAM, then 489 hourly records of 68 bytes.
                      FailureCase{DeviceType::dtLDN08, 500, "Ошибка чтения памяти архива", {{0, 489 * 68}}}));

// A fixed PC clock: every read of a test falls into the same minute.
std::chrono::system_clock::time_point FixedMinute() {
  return std::chrono::system_clock::from_time_t(1796725800 + 7);  // any instant; seconds do not matter
}

TEST(ReadJob, SameMinuteStoppedReadNeverReplacesTheCompleteFile) {
  JobRig rig(Model(DeviceType::dtVTK0814C));
  rig.AllKinds();
  rig.job.SetClock(FixedMinute);
  rig.job.RunHere();
  ASSERT_EQ(rig.job.Result().outcome, ReadOutcome::Done);
  const auto complete = rig.job.Result().file;
  const auto completeBytes = ReadFileBytes(complete);
  EXPECT_TRUE(rig.obs.Logged("Статистика записана в файл " + complete.string()));
  EXPECT_EQ(rig.obs.caption.find("(неполные данные)"), std::string::npos);

  // The same minute again, stopped during the daily records.
  bool daily = false;
  rig.obs.onStatus = [&](const std::string& s) { daily = s == "Чтение суточных записей"; };
  rig.obs.onPos = [&](int p) {
    if (daily && p == 10) rig.job.RequestStop();
  };
  rig.obs.log.clear();
  rig.job.RunHere();
  const JobOutcome r = rig.job.Result();
  ASSERT_EQ(r.outcome, ReadOutcome::Stopped);
  ASSERT_TRUE(r.fileWritten);
  EXPECT_TRUE(r.partial);
  // Beside the first file, under the next name of the series; the first is untouched.
  EXPECT_EQ(r.file.parent_path(), complete.parent_path());
  EXPECT_EQ(r.file.stem().string(), complete.stem().string() + "_2");
  EXPECT_EQ(r.file.extension(), ".814");
  EXPECT_EQ(ReadFileBytes(complete), completeBytes);
  EXPECT_EQ(rig.DataFiles().size(), 2u);
  // A stopped read is no success: the log names the file of what came before the stop.
  for (const auto& line : rig.obs.log) EXPECT_EQ(line.find("успешно"), std::string::npos) << line;
  EXPECT_TRUE(rig.obs.Logged("Текущая операция прервана по желанию пользователя"));
  EXPECT_TRUE(rig.obs.LoggedPrefix("Чтение статистики остановлено ("));
  EXPECT_TRUE(rig.obs.Logged("Записи, прочитанные до остановки, записаны в файл " + r.file.string()));
  EXPECT_EQ(rig.obs.caption, "Статистика - " + StatSerialText(*rig.obs.stats) + " (неполные данные)");

  // A third read of that minute takes "_3".
  rig.obs.onStatus = nullptr;
  rig.obs.onPos = nullptr;
  rig.job.RunHere();
  EXPECT_EQ(rig.job.Result().file.stem().string(), complete.stem().string() + "_3");
  EXPECT_EQ(ReadFileBytes(complete), completeBytes);
}

TEST(ReadJob, SilentInstrumentGivesThreeAttemptsAndTheIdentificationMessage) {
  JobRig rig(Model(DeviceType::dtVTK0814C));
  rig.AllKinds();
  rig.silentAfter = 0;
  rig.job.RunHere();
  EXPECT_EQ(rig.job.Result().outcome, ReadOutcome::Failed);
  for (const std::string& l :
       std::vector<std::string>{"[1] Определение типа устройства...", "[2] Определение типа устройства...",
                                "[3] Определение типа устройства...", "Ошибка идентификации прибора.",
                                "Ошибка идентификации прибора.\r\nДополнительная информация: нет ответа за " +
                                    std::to_string(rig.job.ReplyTimeout()) + " мс (Тайм-аут [2])"})
    EXPECT_TRUE(rig.obs.Logged(l)) << l;
  EXPECT_EQ(rig.sent.size(), 3u * 2);  // three attempts of two tries each
  EXPECT_EQ(rig.obs.status.back(), "127.0.0.1:10001");
  EXPECT_TRUE(rig.DataFiles().empty());
}

TEST(ReadJob, OpenFailureReportsThePortAndTheReason) {
  JobRig rig(Model(DeviceType::dtVTK0814C));
  rig.job.Job().line.mode = ConnectMode::Serial;
  rig.job.Job().line.target = SerialLine{1, "/dev/ttyUSB7", 57600};
  rig.job.SetChannelFactory([](Tmod07& link) -> std::unique_ptr<ByteChannel> {
    link.SetFailure(MakeError(ErrorCode::PortInit, "no such port"));
    return nullptr;
  });
  rig.job.RunHere();
  EXPECT_EQ(rig.job.Result().outcome, ReadOutcome::Failed);
  EXPECT_TRUE(rig.obs.Logged("OpenPort: Port /dev/ttyUSB7, 57600"));
  EXPECT_TRUE(
      rig.obs.Logged("Ошибка открытия порта /dev/ttyUSB7.\r\nДополнительная информация: "
                     "no such port (Ошибка инициализации порта [100])"));
  EXPECT_EQ(rig.obs.enabled, 1);
}

TEST(ReadJob, TcpOpenFailureReportsTheWinsockMessage) {
  JobRig rig(Model(DeviceType::dtVTK0814C));
  std::get<TcpLine>(rig.job.Job().line.target).port = 4001;
  rig.refuseOpen = true;
  rig.job.RunHere();
  EXPECT_TRUE(rig.obs.Logged("OpenPort: IP 127.0.0.1:4001"));
  EXPECT_TRUE(rig.obs.LoggedPrefix("Ошибка WINSOCK соединения.\r\nДополнительная информация: "));
  EXPECT_FALSE(rig.obs.LoggedPrefix("Ошибка WINSOCK соединения.\r\nДополнительная информация: Ошибка"));
}

TEST(ReadJob, VtkSilentAfterMBusIdentificationGetsTheMBusHint) {
  JobRig rig(Model(DeviceType::dtVTK0814C));
  rig.AllKinds();
  rig.UseMBus();
  rig.silentAfter = 3;
  rig.job.RunHere();
  EXPECT_EQ(rig.job.Result().outcome, ReadOutcome::Failed);
  EXPECT_EQ(rig.job.Result().type, DeviceType::dtVTK0814C);
  EXPECT_TRUE(rig.obs.LoggedPrefix("Подсказка: прибор VTK опознан через M-Bus"));
}

TEST(ReadJob, MBusHintNamesTheSettingForEachModel) {
  struct Case {
    DeviceType type;
    bool mbus;
    std::string start;
  };
  for (const Case& c :
       {Case{DeviceType::dtLDN08, false, "Подсказка: LDN-08 отвечает на чтение только через M-Bus"},
        Case{DeviceType::dtLDN08, true, ""}, Case{DeviceType::dtVTK0812, false, ""},
        Case{DeviceType::dtVTK0812, true, "Подсказка: прибор VTK"},
        Case{DeviceType::dtVTK0814CM, true, "Подсказка: прибор VTK"}, Case{DeviceType::dtUnknown, true, ""}}) {
    const std::string hint = MBusHint(c.type, c.mbus);
    EXPECT_EQ(hint.substr(0, c.start.size()), c.start);
    EXPECT_EQ(hint.empty(), c.start.empty());
    if (!hint.empty()) {
      EXPECT_NE(hint.find("Настройки → Соединение..."), std::string::npos);
    }
  }
}

TEST(ReadJob, UnwritableDataFolderLosesNothing) {
  JobRig rig(Model(DeviceType::dtVTK0814C));
  rig.AllKinds();
  const auto blocker = rig.home / "not-a-folder";
  { std::ofstream(blocker) << "x"; }
  rig.job.SetProgramHome(blocker);  // its Data folder cannot be created
  rig.job.RunHere();
  const JobOutcome r = rig.job.Result();
  EXPECT_EQ(r.outcome, ReadOutcome::Done);
  EXPECT_FALSE(r.fileWritten);
  EXPECT_NE(r.FileErrorText().find(blocker.string()), std::string::npos) << r.FileErrorText();
  EXPECT_FALSE(rig.obs.fileFailure.empty());
  EXPECT_TRUE(rig.obs.LoggedPrefix("Ошибка записи файла статистики."));
  ASSERT_TRUE(rig.obs.stats);
  ExpectReadRanges(sim::DumpBytes(*rig.obs.stats), rig.instrument.ExpectedDumpBytes(),
                   FullRanges(DeviceType::dtVTK0814C));
}

TEST(ReadJob, MissingDataFolderIsCreated) {
  JobRig rig(Model(DeviceType::dtVTK0814C));
  rig.job.SetReadLast(true);
  rig.job.SetWantMonthly(true);
  rig.job.SetProgramHome(rig.home / "new" / "home");
  rig.job.RunHere();
  EXPECT_TRUE(rig.job.Result().fileWritten) << rig.job.Result().FileErrorText();
  EXPECT_TRUE(std::filesystem::exists(rig.home / "new" / "home" / "Data"));
}

class CurrentRead : public ::testing::TestWithParam<DeviceType> {};

TEST_P(CurrentRead, HandsOverTheHeaderBlockAndWritesNoFile) {
  const DeviceType t = GetParam();
  JobRig rig(Model(t));
  rig.job.SetReadCurrent(true);
  rig.AllKinds();  // not consulted in current-readings mode
  rig.UseMBusIfLdn();
  rig.job.RunHere();
  ASSERT_EQ(rig.job.Result().outcome, ReadOutcome::Done) << rig.job.Result().Message();
  EXPECT_TRUE(rig.DataFiles().empty());
  ASSERT_EQ(rig.obs.current.size(), 1024u);
  EXPECT_EQ(rig.obs.currentType, t);
  const auto dump = rig.instrument.ExpectedDump();
  const std::size_t n = t == DeviceType::dtLDN08 ? 576 : 1024;
  // The dump's header holds the same bytes where the current read fills them.
  for (const auto& r : FullRanges(t)) {
    const std::size_t base = AreaSize(t);
    if (r.first < base) continue;
    for (std::size_t i = r.first - base; i < r.first - base + r.size && i < n; ++i)
      ASSERT_EQ(rig.obs.current[i], dump.header[i]) << "byte " << i;
  }
  EXPECT_EQ(rig.obs.currentSerial, StatSerialText(dump));
  EXPECT_TRUE(rig.obs.LoggedPrefix("Чтение данных успешно завершено ("));
  // No archive memory was read.
  for (const auto& s : rig.sent)
    EXPECT_TRUE(s.op != frame::Op::ReadArchive16 && s.op != frame::Op::ReadArchive32 &&
                s.op != frame::Op::ReadArchive32Long);
}

INSTANTIATE_TEST_SUITE_P(Models, CurrentRead,
                         ::testing::Values(DeviceType::dtVTK0812, DeviceType::dtVTK0814C, DeviceType::dtVTK0814CM,
                                           DeviceType::dtLDN08));

TEST(ReadJob, IdentifyOnlyStopsAfterIdentification) {
  JobRig rig(Model(DeviceType::dtVTK0814CM));
  rig.job.SetIdentifyOnly(true);
  rig.job.RunHere();
  EXPECT_EQ(rig.job.Result().outcome, ReadOutcome::Done);
  EXPECT_EQ(rig.job.Result().type, DeviceType::dtVTK0814CM);
  EXPECT_EQ(rig.job.Result().identText, rig.instrument.IdentificationText());
  EXPECT_EQ(rig.sent.size(), 1u);
}

}  // namespace
}  // namespace statvtk::test
