// Preparing a job from the settings and the plan: what each kind of read
// sets, and the connection and address carried over.
#include <gtest/gtest.h>

#include "reading/job_prep.hpp"

namespace statvtk {
namespace {

struct KindCase {
  ReadKind kind;
  bool readCurrent, refreshWindow, identifyOnly, readLast;
};

class PrepareKind : public ::testing::TestWithParam<KindCase> {};

TEST_P(PrepareKind, SetsWhatToRead) {
  const KindCase c = GetParam();
  ConnectionSettings s;
  s.connectMode = ConnectMode::Tcp;
  s.sockIp = "127.0.0.1";
  s.sockPort = 529;
  s.netAddress = 17;
  ReadPlan plan{c.kind, {}};
  plan.choice.readLast = true;
  plan.choice.hours = 5;
  plan.choice.kinds.daily = true;
  const ReadJob j = MakeReadJob(s, "/home/x", plan);
  // Custom: the caller names the instruments.
  ASSERT_EQ(j.instruments.size(), c.kind == ReadKind::Custom ? 0u : 1u);
  const InstrumentPlan what = j.instruments.empty() ? InstrumentPlan{} : j.instruments.front().plan;
  const auto* current = std::get_if<CurrentPlan>(&what);
  const StatisticsPlan* stats = j.instruments.empty() ? nullptr : std::get_if<StatisticsPlan>(&what);
  EXPECT_EQ(current != nullptr, c.readCurrent);
  EXPECT_EQ(std::holds_alternative<IdentifyPlan>(what), c.identifyOnly);
  EXPECT_EQ(stats && stats->range == RecordRange::Last, c.readLast);
  EXPECT_EQ(stats && stats->kinds.daily, c.readLast);
  EXPECT_EQ(stats ? stats->lastHours : 0, c.readLast ? 6 : 0);  // the count plus 1
  EXPECT_EQ(j.line.mode, ConnectMode::Tcp);
  EXPECT_EQ(std::get<TcpLine>(j.line.target).host, "127.0.0.1");
  EXPECT_EQ(std::get<TcpLine>(j.line.target).port, 529);
  if (!j.instruments.empty()) EXPECT_EQ(j.instruments.front().address, 17u);
  // A new-records read finds its base in the home's Data folder.
  if (stats) EXPECT_EQ(std::get<NewestIn>(stats->base).folder, std::filesystem::path("/home/x") / "Data");
}

INSTANTIATE_TEST_SUITE_P(Kinds, PrepareKind,
                         ::testing::Values(KindCase{ReadKind::Statistics, false, false, false, true},
                                           KindCase{ReadKind::Current, true, false, false, false},
                                           KindCase{ReadKind::CurrentRefresh, true, true, false, false},
                                           KindCase{ReadKind::Identify, false, false, true, false},
                                           KindCase{ReadKind::Custom, false, false, false, false}));

TEST(PrepareReadJob, MBusTakesTheAddressAsLong) {
  ConnectionSettings s;
  s.useMBus = true;
  s.netAddress = 12345678;
  s.comPort = 0;  // no port 0: the first
  s.baudIndex = 3;
  const ReadJob job = MakeReadJob(s, {}, ReadPlan{ReadKind::Current, {}});
  EXPECT_TRUE(job.line.useMBus);
  ASSERT_EQ(job.instruments.size(), 1u);
  EXPECT_EQ(job.instruments.front().address, 12345678u);
  const SerialLine line = std::get<SerialLine>(job.line.target);
  EXPECT_TRUE(line.evenParity);
  EXPECT_EQ(line.comPort, 1);
  EXPECT_EQ(line.baud, 9600u);
  EXPECT_EQ(job.line.dial.attempts, 3);
}

}  // namespace
}  // namespace statvtk
