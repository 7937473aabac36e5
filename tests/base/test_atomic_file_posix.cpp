// Atomic writes on POSIX: the fallback without RENAME_NOREPLACE never shows
// an incomplete file, stale temporaries of a crashed write are cleared, and a
// long name still gets its temporary file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <chrono>
#include <string>
#include <vector>

#include "base/atomic_file.hpp"
#include "base/link_no_replace.hpp"
#include "base/temp_names.hpp"
#include "support/temp_folder.hpp"

namespace statvtk::link_test {
namespace {

namespace fs = std::filesystem;

std::span<const std::uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

void MakeOld(const fs::path& p, std::chrono::minutes age) {
  const auto t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now() - age);
  utimbuf times{t, t};
  ASSERT_EQ(::utime(p.c_str(), &times), 0);
}

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(LinkNoReplace, TheFinalNameHoldsTheWholeFileAtOnce) {
  TempFolder dir;
  const fs::path tmp = dir.Path() / ".a.vst.Ab12Cd";
  WriteAll(tmp, "complete contents");
  ASSERT_EQ(LinkNoReplace(tmp.string(), dir.Path() / "a.vst"), 0);
  EXPECT_EQ(ReadAll(dir.Path() / "a.vst"), "complete contents");
  EXPECT_FALSE(fs::exists(tmp));
  struct stat st {};
  ASSERT_EQ(::stat((dir.Path() / "a.vst").c_str(), &st), 0);
  EXPECT_EQ(st.st_nlink, 1u);
}

TEST(LinkNoReplace, ATakenNameStaysAsItWas) {
  TempFolder dir;
  const fs::path tmp = dir.Path() / ".a.vst.Ab12Cd";
  WriteAll(tmp, "new");
  WriteAll(dir.Path() / "a.vst", "old");
  EXPECT_EQ(LinkNoReplace(tmp.string(), dir.Path() / "a.vst"), EEXIST);
  EXPECT_EQ(ReadAll(dir.Path() / "a.vst"), "old");
  EXPECT_EQ(ReadAll(tmp), "new");  // the caller tries the next name with it
}

TEST(TemporaryNames, OwnPatternOnly) {
  struct Case {
    std::string name;
    bool own;
  };
  const std::vector<Case> cases{
      {".StatVTK.ini.aB3xY9", true},
      {".00012345-2024-03-05@09-07.vst.Q1w2E3", true},
      {".r.xlsx.000000", true},
      {".log.csv.123456.7.tmp", true},
      {".StatVTK.ini.12.0.tmp", true},
      {".bashrc.backup", false},
      {".profile.AbCdEf", false},
      {"StatVTK.ini.aB3xY9", false},
      {".StatVTK.ini.aB3x", false},
      {".StatVTK.ini.aB3xY!", false},
      {".StatVTK.ini.x.0.tmp", false},
      {".StatVTK.ini", false},
      {".a.vst", false},
      {"..aB3xY9", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsOwnTemporaryName(c.name), c.own) << c.name;
}

TEST(TemporaryNames, StaleOnesOfACrashedWriteGoWithTheNextWrite) {
  TempFolder dir;
  const fs::path stale = dir.Path() / ".1234####-2024-03-05@09-07.vst.k3J9aQ";
  const fs::path fresh = dir.Path() / ".StatVTK.ini.Zz9Yy8";
  const fs::path foreign = dir.Path() / ".bashrc.backup";
  for (const auto& p : {stale, fresh, foreign}) WriteAll(p, "x");
  MakeOld(stale, std::chrono::minutes(11));
  MakeOld(foreign, std::chrono::minutes(60 * 24));
  ASSERT_TRUE(AtomicWriteFile(dir.Path() / "b.vst", {Bytes("data")}));
  EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{".StatVTK.ini.Zz9Yy8", ".bashrc.backup", "b.vst"}));
}

TEST(TemporaryNames, ALongNameStillGetsItsTemporaryFile) {
  TempFolder dir;
  for (const std::size_t length : {246u, 250u, 255u}) {
    const std::string name = std::string(length - 4, 'n') + ".vst";
    ASSERT_TRUE(AtomicWriteFile(dir.Path() / name, {Bytes("data")})) << length;
    EXPECT_EQ(ReadAll(dir.Path() / name), "data");
    const CandidateName nameOf = [&](int n) { return dir.Path() / (std::to_string(n) + name.substr(2)); };
    const auto made = AtomicWriteNewFile(nameOf, 3, {Bytes("new")});
    ASSERT_TRUE(made.has_value()) << length << ": " << made.error().reason;
    EXPECT_EQ(ReadAll(*made), "new");
  }
  // Nothing but the files themselves is left.
  for (const auto& n : Names(dir.Path())) EXPECT_NE(n.front(), '.') << n;
  EXPECT_EQ(FitName("abcdef.vst", 8), "abcd.vst");
  EXPECT_EQ(FitName("жжжж.ini", 9), "жж.ini");  // never half a letter
  EXPECT_EQ(FitName("short.ini", 200), "short.ini");
}

}  // namespace
}  // namespace statvtk::link_test
