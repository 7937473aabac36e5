// Where an installed program finds its shared files (report templates, user
// guide): relative to its own executable, so that an install under any prefix,
// or a moved install, works without a compiled-in absolute path.
#pragma once

#include <filesystem>
#include <vector>

namespace statvtk {

// <executable's folder>/../share/statvtk/Templates on Linux (the relative
// part comes from the build's install layout).
std::filesystem::path InstalledTemplateFolder(const std::filesystem::path& executable);

// <executable's folder>/../share/doc/statvtk, and the user guide in it.
std::filesystem::path InstalledDocFolder(const std::filesystem::path& executable);
std::filesystem::path UserGuidePath(const std::filesystem::path& executable);

// True when `file` lies inside `folder` (compared component by component
// after normalising both; no file system access).
bool IsInsideFolder(const std::filesystem::path& file, const std::filesystem::path& folder);

// The folders searched for a report template, in order: the home's Templates/
// (a user's own template wins), the Templates/ folder in the executable's own
// folder (a portable copy), the installed templates beside the executable,
// and the build tree's own folder, only for an executable that runs from that
// build tree (tests and programs not yet installed). A folder is listed once.
std::vector<std::filesystem::path> TemplateSearchFolders(const std::filesystem::path& home,
                                                         const std::filesystem::path& executable,
                                                         const std::filesystem::path& buildTemplates);

}  // namespace statvtk
