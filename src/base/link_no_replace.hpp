// POSIX only: how an atomic write gives its complete temporary file a name
// that must not exist yet, on a file system without RENAME_NOREPLACE.
#pragma once

#include <filesystem>
#include <string>

namespace statvtk {

// Hard-links `tmp` to `target` (failing with EEXIST when the name exists) and
// removes the name `tmp`; where hard links are refused too, reserves `target`
// by an exclusive create and renames over it. 0 on success, else the errno;
// on failure `tmp` is still there.
int LinkNoReplace(const std::string& tmp, const std::filesystem::path& target);

}  // namespace statvtk
