// The bearer tokens of the page and API: a file of (name, SHA-256 of the
// token, made, last used), mode 0600, never the token itself; the check of a
// presented token in constant time, and the last use written back in batches.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.hpp"

namespace statvtk::collect {

struct TokenEntry {
  std::string name;
  std::string hash;     // SHA-256 of the token, 64 lower-case hex digits
  std::string madeUtc;  // "YYYY-MM-DDTHH:MM:SSZ"
  std::string usedUtc;  // empty: never used
};

// A token's name: 1 to 64 of A-Z a-z 0-9 . _ - (it names the client in the access log).
bool ValidTokenName(std::string_view name);
// SHA-256 of `token` in hex. A token is 256 random bits, so a plain hash of
// it cannot be turned back by trying (unlike a password, it needs no slow hash).
std::string TokenHash(std::string_view token);
// A new token: 32 random bytes from OpenSSL's generator, in hex.
Result<std::string> NewToken();

// The token file, read and written whole under its lock file.
class TokenFile {
 public:
  explicit TokenFile(std::filesystem::path path) : path_(std::move(path)) {}
  const std::filesystem::path& Path() const { return path_; }

  // The entries (none when the file does not exist); a malformed line is the error.
  Result<std::vector<TokenEntry>> Read() const;
  // Adds NAME with a new token (created mode 0600); the token, shown once.
  Result<std::string> Add(const std::string& name);
  // Removes NAME; false when there was none.
  Result<bool> Remove(const std::string& name);
  // Sets the last use of the names given (those still in the file).
  Result<void> MarkUsed(const std::map<std::string, std::string>& usedUtc);

 private:
  Result<void> Write(const std::vector<TokenEntry>& entries) const;
  std::filesystem::path path_;
};

// The server's side: which token a request carries, by name.
class TokenCheck {
 public:
  explicit TokenCheck(std::filesystem::path path) : file_(std::move(path)) {}
  ~TokenCheck();  // writes the last uses not yet written

  // Reads the file again when it changed (a token added or removed while the
  // collector runs), at most once a second.
  Result<void> Refresh();
  bool Any();  // at least one token: every request but /health needs one
  // The name of the token `presented` is, compared in constant time with every entry.
  std::optional<std::string> NameOf(std::string_view presented);
  // Writes the last uses gathered (done at most once a minute by NameOf).
  void Flush();

 private:
  TokenFile file_;
  std::mutex mutex_;
  std::vector<TokenEntry> entries_;
  std::filesystem::file_time_type seen_{};
  std::chrono::steady_clock::time_point checked_{}, flushed_ = std::chrono::steady_clock::now();
  std::map<std::string, std::string> used_;  // name -> last use, not yet written
};

}  // namespace statvtk::collect
