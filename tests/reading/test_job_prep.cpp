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
  void DisableControls() override {}
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
  EXPECT_EQ(job.Job().readCurrent, c.readCurrent);
  EXPECT_EQ(job.Job().refreshWindow, c.refreshWindow);
  EXPECT_EQ(job.Job().identifyOnly, c.identifyOnly);
  EXPECT_EQ(job.Job().readLast, c.readLast);
  EXPECT_EQ(job.Job().wantDaily, c.readLast);
  EXPECT_EQ(job.Job().lastHours, c.readLast ? 6 : 0);  // the count plus 1
  EXPECT_EQ(job.Job().connectMode, ConnectMode::Tcp);
  EXPECT_EQ(job.Job().sockIp, "127.0.0.1");
  EXPECT_EQ(job.Job().sockPort, 529);
  EXPECT_EQ(job.Job().netAddress, 17u);
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
  EXPECT_EQ(job.Job().mbusAddress, 12345678u);
}

}  // namespace
}  // namespace statvtk
