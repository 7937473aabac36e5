// StatVTK.ini store: sections and keys compared case-insensitively; unknown
// sections, keys, comments and their order kept; every single write goes to
// disk at once and atomically (a temporary file beside it, then rename),
// under a lock between processes (StatVTK.ini.lock beside it).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.hpp"

namespace statvtk {

class IniFile {
 public:
  // Loads the file; a missing or unreadable file gives an empty store, a
  // malformed line is kept as it is and otherwise ignored.
  explicit IniFile(std::filesystem::path path);
  // A store parsed from text instead of the file (writes still go to `path`).
  static IniFile FromText(std::filesystem::path path, std::string_view text);

  const std::filesystem::path& Path() const { return path_; }

  bool SectionExists(const std::string& section) const;
  bool ValueExists(const std::string& section, const std::string& key) const;

  std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
  // A value that is not an integer gives the default.
  long long ReadInteger(const std::string& section, const std::string& key, long long def) const;
  bool ReadBool(const std::string& section, const std::string& key, bool def) const;  // 0/1

  // Each write updates the store and rewrites the file at once. A store
  // loaded from its file first takes in what others (the reading job, another
  // window, another process) wrote to it since, so that no write undoes
  // theirs: reload, change and save happen under the lock file
  // LockFileOf(Path()), held for that step only. The error (FileSystem) names
  // the file and the system's reason: "Не удалось записать файл PATH: ...";
  // the store keeps the value and saves it with the next write.
  Result<void> WriteString(const std::string& section, const std::string& key, const std::string& value);
  Result<void> WriteInteger(const std::string& section, const std::string& key, long long value);
  Result<void> WriteBool(const std::string& section, const std::string& key, bool value);

  // The file's sections and keys as written, in file order, with their line
  // numbers (1-based): a section header has an empty key; a line that is
  // neither a header, a key nor a comment has `malformed` set (and the
  // section it stands in).
  struct Entry {
    std::string section;  // the section's name as written
    std::string key;      // the key as written; empty for a header or a malformed line
    std::string value;
    int line = 0;
    bool malformed = false;
  };
  std::vector<Entry> Entries() const;

 private:
  struct Line {
    std::string text;     // the line as in the file (rebuilt for a written key)
    std::string section;  // lower-cased section this line belongs to
    std::string key;      // lower-cased key, empty for other lines
    std::string value;
    std::string sectionName;  // the section as written
    int number = 0;           // 1-based line number in the text parsed
    bool malformed = false;
  };
  struct FromTextTag {};
  IniFile(std::filesystem::path path, std::string_view text, FromTextTag);
  void Parse(std::string_view text);
  const Line* Find(const std::string& section, const std::string& key) const;
  Result<void> Write(const std::string& section, const std::string& key, const std::string& value);
  Result<void> Save();
  void Reload();
  void Apply(const std::string& section, const std::string& key, const std::string& value);
  struct Pending {
    std::string section, key, value;
  };
  std::vector<Pending> unsaved_;  // written to the store, not yet to the file
  bool crlf_ = false;             // the file's own line ending is kept
  std::filesystem::path path_;
  bool fromFile_ = false;
  std::vector<Line> lines_;
};

}  // namespace statvtk
