// The program home on POSIX: the order of choice (option, STATVTK_HOME, a
// portable install, the XDG data folder, ~/.local/share) and its folders.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "base/program_home.hpp"
#include "support/temp_folder.hpp"

namespace statvtk::link_test {
namespace {

// Sets an environment variable for one test and puts the old value back.
class EnvGuard {
 public:
  EnvGuard(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~EnvGuard() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(ProgramHome, OrderOfChoice) {
  TempFolder dir;
  const auto portable = dir.Path() / "portable";
  const auto plain = dir.Path() / "plain";
  std::filesystem::create_directories(portable);
  std::filesystem::create_directories(plain);
  WriteAll(portable / "StatVTK.ini", "");
  const auto xdg = (dir.Path() / "xdg").string();
  const auto home = (dir.Path() / "home").string();

  EnvGuard e1("STATVTK_HOME", "/env/home");
  EnvGuard e2("XDG_DATA_HOME", xdg.c_str());
  EnvGuard e3("HOME", home.c_str());
  EXPECT_EQ(ResolveProgramHome(std::filesystem::path("/opt/x"), portable / "statvtk"), "/opt/x");
  EXPECT_EQ(ResolveProgramHome(std::nullopt, portable / "statvtk"), "/env/home");
  {
    EnvGuard noHome("STATVTK_HOME", nullptr);
    EXPECT_EQ(ResolveProgramHome(std::nullopt, portable / "statvtk"), portable);
    EXPECT_EQ(ResolveProgramHome(std::nullopt, plain / "statvtk"), dir.Path() / "xdg" / "StatVTK");
    EnvGuard noXdg("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(ResolveProgramHome(std::nullopt, plain / "statvtk"), dir.Path() / "home" / ".local/share/StatVTK");
  }
  EXPECT_EQ(SettingsPath("/h"), "/h/StatVTK.ini");
  EXPECT_EQ(LogsFolder("/h"), "/h/logs");
  EXPECT_FALSE(ExecutablePath().empty());
}

}  // namespace
}  // namespace statvtk::link_test
