// The program home on Windows: option, STATVTK_HOME, a portable install
// beside the program, then %APPDATA%\StatVTK.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "base/program_home.hpp"
#include "support/temp_folder.hpp"

namespace statvtk::link_test {
namespace {

// Sets an environment variable for one test and puts the old value back.
class EnvGuard {
 public:
  EnvGuard(const wchar_t* name, const std::optional<std::wstring>& value) : name_(name) {
    wchar_t buf[32768];
    const DWORD n = GetEnvironmentVariableW(name, buf, 32768);
    if (n > 0 && n < 32768) old_ = std::wstring(buf, n);
    SetEnvironmentVariableW(name, value ? value->c_str() : nullptr);
  }
  ~EnvGuard() { SetEnvironmentVariableW(name_, old_ ? old_->c_str() : nullptr); }

 private:
  const wchar_t* name_;
  std::optional<std::wstring> old_;
};

TEST(ProgramHome, OrderOfChoiceOnWindows) {
  TempFolder dir;
  const auto portable = dir.Path() / "portable";
  const auto plain = dir.Path() / "plain";
  std::filesystem::create_directories(portable);
  std::filesystem::create_directories(plain);
  WriteAll(portable / "StatVTK.ini", "");
  const auto appData = dir.Path() / "Roaming";

  EnvGuard e1(L"STATVTK_HOME", L"C:\\env\\home");
  EnvGuard e2(L"APPDATA", appData.wstring());
  EXPECT_EQ(ResolveProgramHome(std::filesystem::path("D:\\x"), portable / "statvtk.exe"), "D:\\x");
  EXPECT_EQ(ResolveProgramHome(std::nullopt, portable / "statvtk.exe"), "C:\\env\\home");
  EnvGuard noHome(L"STATVTK_HOME", std::nullopt);
  EXPECT_EQ(ResolveProgramHome(std::nullopt, portable / "statvtk.exe"), portable);
  EXPECT_EQ(ResolveProgramHome(std::nullopt, plain / "statvtk.exe"), appData / "StatVTK");
  {
    EnvGuard relative(L"APPDATA", L"Roaming");  // not a folder one can rely on
    EXPECT_EQ(ResolveProgramHome(std::nullopt, plain / "statvtk.exe"), plain);
  }
  EXPECT_EQ(SettingsPath("C:\\h"), std::filesystem::path("C:\\h\\StatVTK.ini"));
  EXPECT_EQ(ExecutablePath().extension(), ".exe");
}

}  // namespace
}  // namespace statvtk::link_test
