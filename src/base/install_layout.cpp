// The installed layout seen from the executable: bin/ beside share/.
#include "base/install_layout.hpp"

#include <algorithm>

#include "base/program_home.hpp"

// Paths from the program's folder to its shared files, set by the build from
// the install layout; these defaults are the Linux layout.
#ifndef STATVTK_RELATIVE_TEMPLATE_DIR
#define STATVTK_RELATIVE_TEMPLATE_DIR "../share/statvtk/Templates"
#endif
#ifndef STATVTK_RELATIVE_DOC_DIR
#define STATVTK_RELATIVE_DOC_DIR "../share/doc/statvtk"
#endif

namespace statvtk {

namespace {

std::filesystem::path BesideExecutable(const std::filesystem::path& executable, const char* relative) {
  if (executable.empty()) return {};
  return (executable.parent_path() / relative).lexically_normal();
}

}  // namespace

std::filesystem::path InstalledTemplateFolder(const std::filesystem::path& executable) {
  return BesideExecutable(executable, STATVTK_RELATIVE_TEMPLATE_DIR);
}

std::filesystem::path InstalledDocFolder(const std::filesystem::path& executable) {
  return BesideExecutable(executable, STATVTK_RELATIVE_DOC_DIR);
}

std::filesystem::path UserGuidePath(const std::filesystem::path& executable) {
  const auto doc = InstalledDocFolder(executable);
  return doc.empty() ? doc : doc / "user-guide.md";
}

bool IsInsideFolder(const std::filesystem::path& file, const std::filesystem::path& folder) {
  if (file.empty() || folder.empty()) return false;
  const auto f = file.lexically_normal();
  auto d = folder.lexically_normal();
  // "build/" and "build" are the same folder.
  if (!d.has_filename() && d.has_parent_path() && d != d.root_path()) d = d.parent_path();
  const auto mismatch = std::mismatch(d.begin(), d.end(), f.begin(), f.end());
  return mismatch.first == d.end() && mismatch.second != f.end();
}

std::vector<std::filesystem::path> TemplateSearchFolders(const std::filesystem::path& home,
                                                         const std::filesystem::path& executable,
                                                         const std::filesystem::path& buildTemplates) {
  std::vector<std::filesystem::path> folders;
  const auto add = [&folders](const std::filesystem::path& folder) {
    if (!folder.empty() && std::find(folders.begin(), folders.end(), folder) == folders.end())
      folders.push_back(folder);
  };
  if (!home.empty()) add(TemplatesFolder(home));
  // A copied program (a folder on a USB stick) carries its templates beside it.
  if (!executable.empty()) add((executable.parent_path() / "Templates").lexically_normal());
  add(InstalledTemplateFolder(executable));
  if (!buildTemplates.empty() && IsInsideFolder(executable, buildTemplates.parent_path())) add(buildTemplates);
  return folders;
}

}  // namespace statvtk
