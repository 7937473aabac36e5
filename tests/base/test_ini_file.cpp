// The StatVTK.ini store: lookups, number parsing, writes that keep the rest
// of the file, atomic saving and its failures.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <random>
#include <thread>
#include <vector>

#include "base/file_lock.hpp"
#include "base/ini_file.hpp"
#include "support/temp_folder.hpp"
#include "support/unprivileged.hpp"
#include "support/wait_until.hpp"

namespace statvtk::link_test {
namespace {

// A write's result as a test condition that shows the reason when it failed.
::testing::AssertionResult Ok(const Result<void>& written) {
  if (written) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << written.error().reason;
}

TEST(IniFile, SectionsKeysQuotesDefaultsAndDuplicates) {
  const auto ini = IniFile::FromText("x.ini", "[settings]\nnetADDRESS = 5\n[Modem]\nPhoneNo=123\n");
  EXPECT_TRUE(ini.SectionExists("SETTINGS"));
  EXPECT_FALSE(ini.SectionExists("Serial"));
  EXPECT_TRUE(ini.ValueExists("Settings", "NetAddress"));
  EXPECT_FALSE(ini.ValueExists("Modem", "NetAddress"));
  EXPECT_EQ(ini.ReadInteger("Settings", "NetAddress", 1), 5);
  EXPECT_EQ(ini.ReadString("MODEM", "phoneno", ""), "123");
  const auto strings = IniFile::FromText("x.ini", "[A]\nQ=\"10.0.0.1\"\nE=\nD=first\nD=second\n[a]\nD=third\n");
  EXPECT_EQ(strings.ReadString("A", "Q", ""), "10.0.0.1");
  EXPECT_EQ(strings.ReadString("A", "E", "def"), "");
  EXPECT_EQ(strings.ReadString("A", "Missing", "def"), "def");
  EXPECT_EQ(strings.ReadString("A", "D", ""), "first");  // the first of duplicates, also of sections
}

TEST(IniFile, IntegersAsProfileFilesReadThem) {
  const std::vector<std::pair<std::string, long long>> cases{
      {"12", 12},
      {"-7", -7},
      {"+3", 3},
      {"42abc", 42},
      {"abc", -1},
      {"", -1},
      {" 8 ", 8},
      {"-", -1},
      {"0x10", 0},
      {"1.9", 1},
      {"- 5", -1},
      {"99999999999999999999999", LLONG_MAX},
      {"-99999999999999999999999", -LLONG_MAX},
  };
  for (const auto& [text, value] : cases) {
    SCOPED_TRACE(text);
    const auto ini = IniFile::FromText("x.ini", "[A]\nK=" + text + "\n");
    EXPECT_EQ(ini.ReadInteger("A", "K", -1), value);
  }
  const auto ini = IniFile::FromText("x.ini", "[A]\nT=1\nF=0\nTwo=2\nX=x\n");
  EXPECT_TRUE(ini.ReadBool("A", "T", false));
  EXPECT_FALSE(ini.ReadBool("A", "F", true));
  EXPECT_TRUE(ini.ReadBool("A", "Two", false));
  EXPECT_TRUE(ini.ReadBool("A", "X", true));
  EXPECT_FALSE(ini.ReadBool("A", "X", false));
  EXPECT_TRUE(ini.ReadBool("A", "Missing", true));
}

const std::string kCommented =
    "; StatVTK settings\n"
    "# kept by hand\n"
    "\n"
    "[Settings]\n"
    "NETADDRESS = 1\n"
    "; the port\n"
    "ComPort=2\n"
    "Unknown=keep me\n"
    "just some words\n"
    "\n"
    "[Vendor]\n"
    "Colour=blue\n";

TEST(IniFile, AWriteChangesOnlyItsLine) {
  TempFolder dir;
  const auto path = dir.Path() / "StatVTK.ini";
  WriteAll(path, kCommented);
  IniFile ini(path);
  ASSERT_TRUE(Ok(ini.WriteInteger("settings", "NetAddress", 7)));
  std::string expected = kCommented;
  expected.replace(expected.find("NETADDRESS = 1"), 14, "NETADDRESS=7");
  EXPECT_EQ(ReadAll(path), expected);
  EXPECT_EQ(IniFile(path).ReadInteger("Settings", "NetAddress", 0), 7);
}

// The window keeps one store for the whole run while the reading job writes
// [Devices] through a store of its own: neither write may undo the other.
TEST(IniFile, AStoreKeptOpenDoesNotUndoOtherWriters) {
  TempFolder dir;
  const auto path = dir.Path() / "StatVTK.ini";
  WriteAll(path, "[Settings]\nNetAddress=1\n");
  IniFile window(path);
  IniFile job(path);
  ASSERT_TRUE(Ok(job.WriteString("Devices", "83123811", "CM")));
  ASSERT_TRUE(Ok(window.WriteInteger("Settings", "NetAddress", 5)));
  const IniFile after(path);
  EXPECT_EQ(after.ReadString("Devices", "83123811", ""), "CM");
  EXPECT_EQ(after.ReadInteger("Settings", "NetAddress", 0), 5);
  EXPECT_EQ(window.ReadString("Devices", "83123811", ""), "CM");
}

TEST(IniFile, NewKeysEndTheirSectionNewSectionsEndTheFile) {
  TempFolder dir;
  const auto path = dir.Path() / "StatVTK.ini";
  WriteAll(path, kCommented);
  IniFile ini(path);
  ASSERT_TRUE(ini.WriteString("Settings", "SockIP", "10.0.0.2"));
  ASSERT_TRUE(ini.WriteBool("Serial", "Flag", true));
  std::string expected = kCommented;
  expected.insert(expected.find("just some words"), "SockIP=10.0.0.2\n");
  expected += "\n[Serial]\nFlag=1\n";
  EXPECT_EQ(ReadAll(path), expected);
  const IniFile again(path);
  EXPECT_EQ(again.ReadString("Settings", "SockIP", ""), "10.0.0.2");
  EXPECT_TRUE(again.ReadBool("Serial", "Flag", false));
  EXPECT_EQ(again.ReadString("Vendor", "Colour", ""), "blue");
}

TEST(IniFile, MissingFileIsEmptyAndTheFirstWriteCreatesIt) {
  TempFolder dir;
  const auto path = dir.Path() / "StatVTK.ini";
  IniFile ini(path);
  EXPECT_FALSE(ini.SectionExists("Settings"));
  EXPECT_EQ(ini.ReadInteger("Settings", "NetAddress", 1), 1);
  ASSERT_TRUE(ini.WriteInteger("Settings", "NetAddress", 3));
  EXPECT_EQ(ReadAll(path), "[Settings]\nNetAddress=3\n");
}

TEST(IniFile, CrLfFilesKeepTheirLineEndsAndValuesStayOnOneLine) {
  TempFolder dir;
  const auto path = dir.Path() / "StatVTK.ini";
  WriteAll(path, "[Modem]\r\nPhoneNo=1\r\n");
  IniFile ini(path);
  ASSERT_TRUE(ini.WriteString("Modem", "PhoneNo", "12\n[Evil]\r\nX=1"));
  EXPECT_EQ(ReadAll(path), "[Modem]\r\nPhoneNo=12 [Evil]  X=1\r\n");
  EXPECT_FALSE(IniFile(path).SectionExists("Evil"));
}

TEST(IniFile, MalformedLinesAreKeptAndIgnored) {
  TempFolder dir;
  const auto path = dir.Path() / "StatVTK.ini";
  std::string text = "\xEF\xBB\xBF[Settings\n=novalue\nnoequals\n[]\n]odd[\n[Settings]\nComPort=4\n";
  text += std::string("bin\0ary=1\n", 10) + std::string(100000, 'x') + "\n[\n";
  WriteAll(path, text);
  IniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("Settings", "ComPort", 1), 4);
  ASSERT_TRUE(ini.WriteInteger("Settings", "ComPort", 5));
  std::string expected = text;
  expected.replace(expected.find("ComPort=4"), 9, "ComPort=5");
  EXPECT_EQ(ReadAll(path), expected);
}

TEST(IniFile, RandomTextNeverCrashes) {
  std::mt19937 rng(7);
  const std::string alphabet = "[]=;#\n\r \tAbc1-\"";
  for (int i = 0; i < 300; ++i) {
    std::string text(rng() % 200, ' ');
    for (char& c : text) c = alphabet[rng() % alphabet.size()];
    const auto ini = IniFile::FromText("x.ini", text);
    (void)ini.ReadInteger("Abc", "A", 0);
    EXPECT_EQ(ini.ReadString("NoSuchSection", "A", "d"), "d");
  }
}

TEST(IniFile, WriteIntoAReadOnlyFolderFailsAndKeepsTheFile) {
  TempFolder dir;
  const auto path = dir.Path() / "StatVTK.ini";
  WriteAll(path, kCommented);
  namespace fs = std::filesystem;
  fs::permissions(dir.Path(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                  fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  const std::string error = test::AsOrdinaryUser([&] {
    IniFile ini(path);
    const Result<void> written = ini.WriteInteger("Settings", "NetAddress", 9);
    const bool kept = ini.ReadInteger("Settings", "NetAddress", 0) == 9;  // the store keeps the value
    return written || !kept ? std::string("written or lost") : written.error().reason;
  });
  EXPECT_NE(error.find(path.string()), std::string::npos) << error;
  EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
  EXPECT_EQ(ReadAll(path), kCommented);
}

TEST(IniFile, AWriteThatCannotCompleteKeepsTheOldFile) {
  // A file-size limit stops the write half-way, for root as well.
  TempFolder dir;
  const auto path = dir.Path() / "StatVTK.ini";
  WriteAll(path, kCommented);
  IniFile ini(path);
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto previous = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 16;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const Result<void> ok = ini.WriteString("Settings", "Unknown", "a longer value than before");
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, previous);
  EXPECT_FALSE(ok);
  ASSERT_FALSE(ok.has_value());
  EXPECT_NE(ok.error().reason.find(path.string()), std::string::npos) << ok.error().reason;
  EXPECT_EQ(ok.error().code, ErrorCode::FileSystem);
  EXPECT_EQ(ReadAll(path), kCommented);
  // No temporary file is left behind: the file and its lock file only.
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path())) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"StatVTK.ini", "StatVTK.ini.lock"}));
  // The next write that can complete saves everything.
  ASSERT_TRUE(Ok(ini.WriteInteger("Settings", "ComPort", 3)));
  const IniFile again(path);
  EXPECT_EQ(again.ReadString("Settings", "Unknown", ""), "a longer value than before");
  EXPECT_EQ(again.ReadInteger("Settings", "ComPort", 0), 3);
}

// Eight processes finishing reads at once each remember their instruments in
// one StatVTK.ini: no process may lose another's key.
TEST(IniFile, WritersInManyProcessesLoseNoKey) {
  TempFolder dir;
  const auto path = dir.Path() / "StatVTK.ini";
  WriteAll(path, "[Settings]\nNetAddress=1\n");
  constexpr int kProcesses = 8, kKeys = 20;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      IniFile ini(path);
      for (int k = 0; k < kKeys; ++k)
        if (!ini.WriteString("Devices", std::to_string(p * 1000 + k), k % 2 ? "CM" : "C")) ::_exit(1);
      ::_exit(0);
    }
    children.push_back(child);
  }
  for (const pid_t c : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(c, &status, 0), c);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const IniFile after(path);
  int missing = 0;
  for (int p = 0; p < kProcesses; ++p)
    for (int k = 0; k < kKeys; ++k)
      if (after.ReadString("Devices", std::to_string(p * 1000 + k), "") != (k % 2 ? "CM" : "C")) ++missing;
  EXPECT_EQ(missing, 0);
  EXPECT_EQ(after.ReadInteger("Settings", "NetAddress", 0), 1);
}

// A write waits while another process holds the lock file, and then takes in
// what that process saved.
TEST(IniFile, AWriteWaitsForTheLockHolder) {
  TempFolder dir;
  const auto path = dir.Path() / "StatVTK.ini";
  WriteAll(path, "[Settings]\nNetAddress=1\n");
  auto held = FileLock::Acquire(LockFileOf(path), std::chrono::milliseconds(0));
  ASSERT_TRUE(held.has_value());
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    IniFile ini(path);
    ::_exit(ini.WriteString("Devices", "83123811", "CM") ? 0 : 1);
  }
  // The writer has come to the lock: the lock file is open in it.
  const auto atTheLock = [&] {
    std::error_code ec;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(child) + "/fd", ec))
      if (std::filesystem::read_symlink(fd.path(), ec) == LockFileOf(path)) return true;
    return false;
  };
  EXPECT_TRUE(WaitUntil(atTheLock, std::chrono::seconds(60)));
  int status = 0;
  EXPECT_EQ(::waitpid(child, &status, WNOHANG), 0);  // still waiting
  EXPECT_EQ(ReadAll(path), "[Settings]\nNetAddress=1\n");
  // What the holder saves under the lock is kept by the waiting writer.
  WriteAll(path, "[Settings]\nNetAddress=2\n");
  { auto release = std::move(*held); }
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const IniFile after(path);
  EXPECT_EQ(after.ReadString("Devices", "83123811", ""), "CM");
  EXPECT_EQ(after.ReadInteger("Settings", "NetAddress", 0), 2);
}

TEST(IniFile, AWriteGivesUpOnALockNeverLetGo) {
  TempFolder dir;
  const auto path = dir.Path() / "StatVTK.ini";
  auto held = FileLock::Acquire(LockFileOf(path), std::chrono::milliseconds(0));
  ASSERT_TRUE(held.has_value());
  auto again = FileLock::Acquire(LockFileOf(path), std::chrono::milliseconds(50));
  ASSERT_FALSE(again.has_value());
  EXPECT_TRUE(IsLockTimeout(again.error()));
}

}  // namespace
}  // namespace statvtk::link_test
