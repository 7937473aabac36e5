// statvtk-collect killed (SIGKILL) in the middle of a pass, then run again:
// the store holds exactly what one clean pass gives, nothing lost, nothing
// twice, and SQLite finds it intact.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>

#include "fleet_e2e.hpp"
#include "store/record_store.hpp"

namespace statvtk::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

void WriteHome(const fs::path& home, int port) {
  fs::create_directories(home);
  std::ofstream(home / "collect.ini") << "[Collector]\nDatabase=collect.sqlite\n\n"
                                      << LineSection("bus", port) << InstrumentSection("boiler", "bus", 3)
                                      << InstrumentSection("well", "bus", 7);
}

// Every period held, per serial and archive.
std::map<std::string, std::vector<std::string>> Held(const fs::path& home) {
  std::map<std::string, std::vector<std::string>> out;
  auto s = store::OpenRecordStore("collect.sqlite", home);
  EXPECT_TRUE(s);
  if (!s) return out;
  const auto instruments = (*s)->Instruments();
  EXPECT_TRUE(instruments);
  if (!instruments) return out;
  for (const auto& i : *instruments)
    for (ArchiveKind k : {ArchiveKind::Hourly, ArchiveKind::Daily, ArchiveKind::Monthly}) {
      auto periods = (*s)->Periods(i.serial, k, "", "");
      EXPECT_TRUE(periods);
      if (periods) out[i.serial + "/" + std::to_string(static_cast<int>(k))] = std::move(*periods);
    }
  EXPECT_TRUE((*s)->Check());
  return out;
}

TEST(CollectRestart, AKillDuringAPassLosesNothingAndDuplicatesNothing) {
  link_test::TempFolder dir;
  // A reply delay that makes each full read last a few seconds.
  SimOnTcp sim(dir.Path(), {"--bus", "0814c@3,ldn@7", "--latency", "2", "-v"});
  ASSERT_GT(sim.Port(), 0);
  const fs::path clean = dir.Path() / "clean", home = dir.Path() / "killed";
  WriteHome(clean, sim.Port());
  WriteHome(home, sim.Port());
  ASSERT_EQ(Collect(clean, {"once"}), 0) << link_test::ReadAll(clean / "collect.out");

  // Killed while the second instrument is being read, a few replies into
  // its records: the first one's read is over, nothing of the pass stored yet.
  {
    ChildProcess pass = CollectInBackground(home, "once");
    ASSERT_TRUE(WaitUntil(
        [&] { return link_test::ReadAll(home / "collect.out").find("Чтение данных (LDN-08)") != std::string::npos; },
        60s))
        << link_test::ReadAll(home / "collect.out");
    const std::size_t replied = sim.Said("reply of");
    ASSERT_TRUE(WaitUntil([&] { return sim.Said("reply of") >= replied + 10; }, 60s));
    ASSERT_TRUE(pass.Running()) << "the pass ended before it could be killed";
    pass.Stop(SIGKILL, 0ms);
  }
  ASSERT_EQ(Collect(home, {"once"}), 0) << link_test::ReadAll(home / "collect.out");

  const auto want = Held(clean), got = Held(home);
  ASSERT_EQ(want.size(), 6u);
  EXPECT_EQ(got, want);
  // The read the kill cut short is not claimed as done.
  auto s = store::OpenRecordStore("collect.sqlite", home);
  ASSERT_TRUE(s);
  const auto reads = (*s)->Reads({"", "well", 10, false});
  ASSERT_TRUE(reads);
  std::size_t done = 0;
  for (const auto& r : *reads) done += r.outcome == store::ReadOutcome::Done;
  EXPECT_EQ(done, 1u);
}

}  // namespace
}  // namespace statvtk::test
