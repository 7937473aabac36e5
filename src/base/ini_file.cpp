// StatVTK.ini store: a list of the file's lines, each tagged with its section
// and key, rewritten whole and atomically on every write.
#include "base/ascii.hpp"
#include "base/ini_file.hpp"

#include "base/atomic_file.hpp"
#include "base/file_lock.hpp"
#include "base/system_error.hpp"

#include <cerrno>
#include <chrono>
#include <fstream>
#include <limits>
#include <sstream>
#include <system_error>

namespace statvtk {

namespace {

std::string_view Trim(std::string_view s) {
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
  while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
  return s;
}

// A value wholly in double quotes is read without them, as profile files are.
std::string Unquote(std::string_view v) {
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
  return std::string(v);
}

// How long a write waits for another process to finish its own.
constexpr std::chrono::milliseconds kLockWait{10000};

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsComment(std::string_view t) { return t.empty() || t.front() == ';' || t.front() == '#'; }

bool IsHeader(std::string_view text) {
  std::string_view t = Trim(text);
  if (t.substr(0, kBom.size()) == kBom) t.remove_prefix(kBom.size());
  return !t.empty() && t.front() == '[';
}

// A value can never break the file into more lines.
std::string OneLine(std::string v) {
  for (char& c : v)
    if (c == '\n' || c == '\r') c = ' ';
  return v;
}

}  // namespace

IniFile::IniFile(std::filesystem::path path) : path_(std::move(path)), fromFile_(true) { Reload(); }

void IniFile::Reload() {
  std::ifstream in(path_, std::ios::binary);
  if (!in) return;  // keep what the store holds
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return;
  Parse(text.str());
}

IniFile::IniFile(std::filesystem::path path, std::string_view text, FromTextTag) : path_(std::move(path)) {
  Parse(text);
}

IniFile IniFile::FromText(std::filesystem::path path, std::string_view text) {
  return IniFile(std::move(path), text, FromTextTag{});
}

void IniFile::Parse(std::string_view text) {
  lines_.clear();
  const auto firstNl = text.find('\n');
  crlf_ = firstNl != std::string_view::npos && firstNl > 0 && text[firstNl - 1] == '\r';
  std::string section, sectionName;
  std::size_t pos = 0;
  int number = 0;
  bool first = true;
  while (pos < text.size()) {
    std::size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos) nl = text.size();
    std::string_view raw = text.substr(pos, nl - pos);
    pos = nl + 1;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);

    std::string_view t = Trim(raw);
    if (first && t.substr(0, kBom.size()) == kBom) t = Trim(t.substr(kBom.size()));
    first = false;
    Line line{std::string(raw), section, {}, {}, sectionName, ++number, false};
    if (IsComment(t)) {
      // kept as it is
    } else if (t.front() == '[') {
      const auto close = t.find(']');
      sectionName = Trim(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
      section = AsciiLower(sectionName);
      line.section = section;
      line.sectionName = sectionName;
      line.malformed = close == std::string_view::npos;
    } else if (const auto eq = t.find('='); eq != std::string_view::npos) {
      const std::string_view key = Trim(t.substr(0, eq));
      if (!key.empty()) {
        line.key = AsciiLower(key);
        line.value = Unquote(Trim(t.substr(eq + 1)));
      } else {
        line.malformed = true;
      }
    } else {
      line.malformed = true;
    }
    lines_.push_back(std::move(line));
  }
}

std::vector<IniFile::Entry> IniFile::Entries() const {
  std::vector<Entry> out;
  for (const Line& l : lines_) {
    const bool header = l.key.empty() && !l.malformed && IsHeader(l.text);
    if (l.key.empty() && !header && !l.malformed) continue;  // a comment or a blank line
    std::string key;
    if (!l.key.empty()) {
      const std::string_view t = Trim(l.text);
      key = Trim(t.substr(0, t.find('=')));
    }
    out.push_back({l.sectionName, key, l.value, l.number, l.malformed});
  }
  return out;
}

const IniFile::Line* IniFile::Find(const std::string& section, const std::string& key) const {
  const std::string s = AsciiLower(section), k = AsciiLower(key);
  if (k.empty()) return nullptr;
  for (const Line& l : lines_)
    if (l.key == k && l.section == s) return &l;
  return nullptr;
}

bool IniFile::SectionExists(const std::string& section) const {
  const std::string s = AsciiLower(section);
  for (const Line& l : lines_)
    if (l.section == s && l.key.empty() && IsHeader(l.text)) return true;
  return false;
}

bool IniFile::ValueExists(const std::string& section, const std::string& key) const {
  return Find(section, key) != nullptr;
}

std::string IniFile::ReadString(const std::string& section, const std::string& key, const std::string& def) const {
  const Line* l = Find(section, key);
  return l ? l->value : def;
}

long long IniFile::ReadInteger(const std::string& section, const std::string& key, long long def) const {
  const Line* l = Find(section, key);
  if (!l) return def;
  const std::string& v = l->value;
  std::size_t i = 0;
  bool negative = false;
  if (i < v.size() && (v[i] == '+' || v[i] == '-')) negative = v[i++] == '-';
  if (i >= v.size() || v[i] < '0' || v[i] > '9') return def;
  constexpr long long kMax = std::numeric_limits<long long>::max();
  long long n = 0;
  for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) {
    const int d = v[i] - '0';
    n = n > (kMax - d) / 10 ? kMax : n * 10 + d;  // saturates instead of overflowing
  }
  return negative ? -n : n;
}

bool IniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

Result<void> IniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  return Write(section, key, OneLine(value));
}

Result<void> IniFile::WriteInteger(const std::string& section, const std::string& key, long long value) {
  return Write(section, key, std::to_string(value));
}

Result<void> IniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  return Write(section, key, value ? "1" : "0");
}

Result<void> IniFile::Write(const std::string& section, const std::string& key, const std::string& value) {
  // The lock spans reload, change and save, so that two processes never both
  // start from the same file and the later save drops the other's key. A lock
  // file that cannot be made (a folder this user may not write) leaves the
  // save itself to tell what is wrong.
  Result<FileLock> lock = FileLock::Acquire(LockFileOf(path_), kLockWait);
  if (!lock && IsLockTimeout(lock.error())) {
    unsaved_.push_back({section, key, value});
    Apply(section, key, value);
    return MakeError(ErrorCode::FileSystem,
                     "Не удалось записать файл " + path_.string() + ": файл занят другой программой (" +
                         LockFileOf(path_).string() + ")",
                     lock.error().systemCode);
  }
  if (fromFile_) {
    // Take in what others wrote since, then put back what this store could
    // not save yet, then this value.
    Reload();
    for (const auto& u : unsaved_) Apply(u.section, u.key, u.value);
  }
  Apply(section, key, value);
  Result<void> saved = Save();
  if (saved) {
    unsaved_.clear();
  } else {
    unsaved_.push_back({section, key, value});
  }
  return saved;
}

void IniFile::Apply(const std::string& section, const std::string& key, const std::string& value) {
  const std::string s = AsciiLower(section), k = AsciiLower(key);
  const std::string stored = Unquote(Trim(value));
  for (Line& l : lines_) {
    if (l.key == k && l.section == s) {
      // Rewrite only this line, keeping the key as the file spells it.
      const std::string_view t = Trim(l.text);
      l.text = std::string(Trim(t.substr(0, t.find('=')))) + "=" + value;
      l.value = stored;
      return;
    }
  }
  // A new key goes after the last key (or the header) of its section.
  std::ptrdiff_t after = -1;
  for (std::size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].section == s && (!lines_[i].key.empty() || IsHeader(lines_[i].text)))
      after = static_cast<std::ptrdiff_t>(i);
  Line line{key + "=" + value, s, k, stored, section, 0};
  if (after >= 0) {
    lines_.insert(lines_.begin() + after + 1, std::move(line));
  } else {
    if (!lines_.empty() && !Trim(lines_.back().text).empty())
      lines_.push_back({"", lines_.back().section, {}, {}, {}, 0});
    lines_.push_back({"[" + section + "]", s, {}, {}, section, 0});
    lines_.push_back(std::move(line));
  }
}

Result<void> IniFile::Save() {
  const std::string eol = crlf_ ? "\r\n" : "\n";
  std::string content;
  for (const Line& l : lines_) content += l.text + eol;

  const auto* bytes = reinterpret_cast<const std::uint8_t*>(content.data());
  Result<void> written = AtomicWriteFile(path_, {{bytes, content.size()}});
  if (!written) written.error().reason = "Не удалось записать файл " + path_.string() + ": " + written.error().reason;
  return written;
}

}  // namespace statvtk
