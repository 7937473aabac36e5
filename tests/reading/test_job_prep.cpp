// Preparing a job from the settings and the plan: what each kind of read
// sets, and the connection and address carried over.
#include <gtest/gtest.h>

#include "reading/job_prep.hpp"
#include "reading/read_thread.hpp"

namespace statvtk {
namespace {

class NullObserver : public ReadObserver {
 public:
  void LogLine(const std::string&) override {}
  void ShowStatus(const std::string&) override {}
  void ShowDetail(const std::string&) override {}
  void SetProgressMax(int) override {}
  void SetProgressPos(int) override {}
  void EnableControls() override {}
  void DeliverStatistics(const StatData&, const std::string&) override {}
  void DeliverCurrent(std::span<const std::uint8_t, 1024>, DeviceType, const std::string&) override {}
};

struct KindCase {
  ReadKind kind;
  bool readCurrent, refreshWindow, identifyOnly, readLast;
};

class PrepareKind : public ::testing::TestWithParam<KindCase> {};

TEST_P(PrepareKind, SetsWhatToRead) {
  const KindCase c = GetParam();
  NullObserver obs;
  TReadThread job(obs);
  ConnectionSettings s;
  s.connectMode = ConnectMode::Tcp;
  s.sockIp = "127.0.0.1";
  s.sockPort = 529;
  s.netAddress = 17;
  ReadPlan plan{c.kind, {}};
  plan.choice.readLast = true;
  plan.choice.hours = 5;
  plan.choice.kinds.daily = true;
  PrepareReadJob(job, s, "/home/x", plan);
  const ReadJob& j = job.Job();
  const auto* current = std::get_if<CurrentRead>(&j.what);
  const StatisticsPlan* stats = j.Statistics();
  EXPECT_EQ(current != nullptr, c.readCurrent);
  EXPECT_EQ(current && current->refreshWindow, c.refreshWindow);
  EXPECT_EQ(std::holds_alternative<IdentifyRead>(j.what), c.identifyOnly);
  EXPECT_EQ(stats && stats->range == RecordRange::Last, c.readLast);
  EXPECT_EQ(stats && stats->kinds.daily, c.readLast);
  EXPECT_EQ(stats ? stats->lastHours : 0, c.readLast ? 6 : 0);  // the count plus 1
  EXPECT_EQ(j.line.mode, ConnectMode::Tcp);
  EXPECT_EQ(std::get<TcpLine>(j.line.target).host, "127.0.0.1");
  EXPECT_EQ(std::get<TcpLine>(j.line.target).port, 529);
  EXPECT_EQ(j.address, 17u);
  EXPECT_EQ(j.home, "/home/x");
}

INSTANTIATE_TEST_SUITE_P(Kinds, PrepareKind,
                         ::testing::Values(KindCase{ReadKind::Statistics, false, false, false, true},
                                           KindCase{ReadKind::Current, true, false, false, false},
                                           KindCase{ReadKind::CurrentRefresh, true, true, false, false},
                                           KindCase{ReadKind::Identify, false, false, true, false},
                                           KindCase{ReadKind::Custom, false, false, false, false}));

TEST(PrepareReadJob, MBusTakesTheAddressAsLong) {
  NullObserver obs;
  TReadThread job(obs);
  ConnectionSettings s;
  s.useMBus = true;
  s.netAddress = 12345678;
  PrepareReadJob(job, s, {}, ReadPlan{ReadKind::Current, {}});
  EXPECT_TRUE(job.Job().useMBus);
  EXPECT_EQ(job.Job().address, 12345678u);
  EXPECT_TRUE(std::get<SerialLine>(job.Job().line.target).evenParity);
}

}  // namespace
}  // namespace statvtk
