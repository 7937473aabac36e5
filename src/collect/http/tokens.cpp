#include "collect/http/tokens.hpp"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <span>
#include <sstream>

#include "base/atomic_file.hpp"
#include "base/file_lock.hpp"
#include "base/file_reader.hpp"
#include "base/unique_fd.hpp"
#include "store/periods.hpp"

namespace statvtk::collect {

namespace {

constexpr std::string_view kHeader =
    "# statvtk-collect HTTP tokens: name, SHA-256 of the token, made, last used (statvtk-collect token)\n";
constexpr std::size_t kMaxFile = 1 << 20;

std::string Hex(std::span<const unsigned char> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

bool IsHash(std::string_view s) {
  return s.size() == 64 &&
         std::all_of(s.begin(), s.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> out;
  std::size_t at = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', at);
    out.push_back(line.substr(at, tab - at));
    if (tab == std::string::npos) return out;
    at = tab + 1;
  }
}

Result<FileLock> LockOf(const std::filesystem::path& path) {
  return FileLock::Acquire(LockFileOf(path), std::chrono::seconds(5));
}

}  // namespace

bool ValidTokenName(std::string_view name) {
  return !name.empty() && name.size() <= 64 && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-';
  });
}

std::string TokenHash(std::string_view token) {
  std::array<unsigned char, SHA256_DIGEST_LENGTH> digest{};
  SHA256(reinterpret_cast<const unsigned char*>(token.data()), token.size(), digest.data());
  return Hex(digest);
}

Result<std::string> NewToken() {
  std::array<unsigned char, 32> bytes{};
  if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1)
    return MakeError(ErrorCode::BadData, "сбой системного генератора случайных чисел");
  return Hex(bytes);
}

Result<std::vector<TokenEntry>> TokenFile::Read() const {
  std::error_code ec;
  if (!std::filesystem::exists(path_, ec)) return std::vector<TokenEntry>{};
  auto bytes = ReadRegularFile(path_, kMaxFile);
  if (!bytes) return bytes.error();
  std::vector<TokenEntry> out;
  std::istringstream in(std::string(bytes->begin(), bytes->end()));
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (line.empty() || line[0] == '#') continue;
    const auto f = Fields(line);
    if (f.size() != 4 || !ValidTokenName(f[0]) || !IsHash(f[1]))
      return MakeError(ErrorCode::BadFile,
                       path_.string() + ":" + std::to_string(n) + ": не строка токена (ИМЯ, хеш, создан, использован)");
    out.push_back({f[0], f[1], f[2], f[3] == "-" ? std::string() : f[3]});
  }
  return out;
}

Result<void> TokenFile::Write(const std::vector<TokenEntry>& entries) const {
  std::string text(kHeader);
  for (const auto& e : entries)
    text += e.name + "\t" + e.hash + "\t" + e.madeUtc + "\t" + (e.usedUtc.empty() ? "-" : e.usedUtc) + "\n";
  // A new file is made 0600 first: the atomic write keeps the mode it finds.
  std::error_code ec;
  if (!std::filesystem::exists(path_, ec)) {
    const UniqueFd fd(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd.get() < 0 && errno != EEXIST)
      return MakeError(ErrorCode::FileSystem, path_.string() + ": " + std::strerror(errno), errno);
  }
  const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
  return AtomicWriteFile(path_, {std::span(p, text.size())});
}

Result<std::string> TokenFile::Add(const std::string& name) {
  if (!ValidTokenName(name))
    return MakeError(ErrorCode::BadSettings, "\"" + name + "\": имя токена — от 1 до 64 знаков из A-Z a-z 0-9 . _ -");
  auto lock = LockOf(path_);
  if (!lock) return lock.error();
  auto entries = Read();
  if (!entries) return entries.error();
  for (const auto& e : *entries)
    if (e.name == name)
      return MakeError(ErrorCode::BadSettings, "токен с именем \"" + name + "\" уже есть (token remove " + name + ")");
  auto token = NewToken();
  if (!token) return token.error();
  entries->push_back({name, TokenHash(*token), store::UtcNow(), ""});
  if (auto w = Write(*entries); !w) return w.error();
  return token;
}

Result<bool> TokenFile::Remove(const std::string& name) {
  auto lock = LockOf(path_);
  if (!lock) return lock.error();
  auto entries = Read();
  if (!entries) return entries.error();
  const auto before = entries->size();
  std::erase_if(*entries, [&](const TokenEntry& e) { return e.name == name; });
  if (entries->size() == before) return false;
  if (auto w = Write(*entries); !w) return w.error();
  return true;
}

Result<void> TokenFile::MarkUsed(const std::map<std::string, std::string>& usedUtc) {
  auto lock = LockOf(path_);
  if (!lock) return lock.error();
  auto entries = Read();
  if (!entries) return entries.error();
  if (entries->empty()) return {};
  for (auto& e : *entries)
    if (const auto it = usedUtc.find(e.name); it != usedUtc.end()) e.usedUtc = it->second;
  return Write(*entries);
}

TokenCheck::~TokenCheck() { Flush(); }

Result<void> TokenCheck::Refresh() {
  const std::scoped_lock lock(mutex_);
  const auto now = std::chrono::steady_clock::now();
  if (checked_ != std::chrono::steady_clock::time_point{} && now - checked_ < std::chrono::seconds(1)) return {};
  checked_ = now;
  std::error_code ec;
  const auto stamp = std::filesystem::last_write_time(file_.Path(), ec);
  if (ec) {
    entries_.clear();  // no file: no token
    return {};
  }
  if (stamp == seen_ && !entries_.empty()) return {};
  auto read = file_.Read();
  if (!read) return read.error();  // the tokens known so far stay
  entries_ = std::move(*read);
  seen_ = stamp;
  return {};
}

bool TokenCheck::Any() {
  const std::scoped_lock lock(mutex_);
  return !entries_.empty();
}

std::optional<std::string> TokenCheck::NameOf(std::string_view presented) {
  const std::string hash = TokenHash(presented);
  std::optional<std::string> name;
  {
    const std::scoped_lock lock(mutex_);
    // Every entry is compared, all of it, whichever matches.
    for (const auto& e : entries_)
      if (CRYPTO_memcmp(e.hash.data(), hash.data(), hash.size()) == 0) name = e.name;
    if (name) used_[*name] = store::UtcNow();
    if (std::chrono::steady_clock::now() - flushed_ < std::chrono::minutes(1)) return name;
  }
  Flush();
  return name;
}

void TokenCheck::Flush() {
  std::map<std::string, std::string> used;
  {
    const std::scoped_lock lock(mutex_);
    flushed_ = std::chrono::steady_clock::now();
    used.swap(used_);
  }
  if (!used.empty()) (void)file_.MarkUsed(used);  // a last use not written is no loss
}

}  // namespace statvtk::collect
