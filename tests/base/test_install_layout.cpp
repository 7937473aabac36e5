// The installed programs find their templates and guide beside themselves,
// wherever the install went; the build tree's templates only serve programs
// that run from that tree.
#include <gtest/gtest.h>

#include "base/install_layout.hpp"

namespace statvtk {
namespace {

namespace fs = std::filesystem;

TEST(InstallLayout, SharedFilesLieBesideTheExecutablesFolder) {
  struct Case {
    fs::path executable, templates, guide;
  } cases[] = {
      {"/usr/bin/statvtk-cli", "/usr/share/statvtk/Templates", "/usr/share/doc/statvtk/user-guide.md"},
      {"/opt/statvtk/bin/statvtk", "/opt/statvtk/share/statvtk/Templates",
       "/opt/statvtk/share/doc/statvtk/user-guide.md"},
      {"/tmp/stage/usr/./bin/statvtk-sim", "/tmp/stage/usr/share/statvtk/Templates",
       "/tmp/stage/usr/share/doc/statvtk/user-guide.md"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(InstalledTemplateFolder(c.executable), c.templates) << c.executable;
    EXPECT_EQ(UserGuidePath(c.executable), c.guide) << c.executable;
  }
  EXPECT_EQ(InstalledDocFolder("/usr/bin/statvtk"), fs::path("/usr/share/doc/statvtk"));
}

TEST(InstallLayout, InsideFolderComparesWholeComponents) {
  struct Case {
    fs::path file, folder;
    bool inside;
  } cases[] = {
      {"/work/build/statvtk-cli", "/work/build", true},
      {"/work/build/tests/test_reports", "/work/build/", true},
      {"/work/build-asan/statvtk-cli", "/work/build", false},
      {"/work/build", "/work/build", false},
      {"/work/build/../src/x", "/work/build", false},
      {"/usr/bin/statvtk-cli", "/work/build", false},
      {"", "/work/build", false},
      {"/work/build/x", "", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsInsideFolder(c.file, c.folder), c.inside) << c.file << " in " << c.folder;
}

TEST(InstallLayout, TemplateSearchOrder) {
  const fs::path build = "/work/build/Templates";
  using V = std::vector<fs::path>;
  // Installed program: the user's home first, then the program's own folder,
  // then the installed templates; never the build tree.
  EXPECT_EQ(TemplateSearchFolders("/home/u/StatVTK", "/usr/bin/statvtk-cli", build),
            (V{"/home/u/StatVTK/Templates", "/usr/bin/Templates", "/usr/share/statvtk/Templates"}));
  // A copy on a USB stick: its own Templates/ before any installed ones.
  EXPECT_EQ(TemplateSearchFolders("/h", "/media/stick/StatVTK/statvtk", build),
            (V{"/h/Templates", "/media/stick/StatVTK/Templates", "/media/stick/share/statvtk/Templates"}));
  // From the build tree: the build's own templates are the program's folder's.
  EXPECT_EQ(TemplateSearchFolders("/h", "/work/build/statvtk-cli", build),
            (V{"/h/Templates", build, "/work/share/statvtk/Templates"}));
  EXPECT_EQ(TemplateSearchFolders("", "/work/build/tests/test_reports", build),
            (V{"/work/build/tests/Templates", "/work/build/share/statvtk/Templates", build}));
  // Executable unknown: the home alone.
  EXPECT_EQ(TemplateSearchFolders("/h", "", build), (V{"/h/Templates"}));
}

}  // namespace
}  // namespace statvtk
