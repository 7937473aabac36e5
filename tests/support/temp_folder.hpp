// A fresh temporary folder for one test, removed with everything in it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <random>
#include <fstream>
#include <sstream>
#include <string>

namespace statvtk::link_test {

class TempFolder {
 public:
  // A new folder with a random name (created, not just named: no other test can take it).
  TempFolder() {
    std::random_device seed;
    std::mt19937_64 rng(seed());
    std::error_code ec;
    const auto base = std::filesystem::temp_directory_path(ec);
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const auto p = base / ("statvtk-link-" + std::to_string(rng()));
      if (std::filesystem::create_directory(p, ec)) path_ = p;
    }
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteAll(const std::filesystem::path& p, const std::string& text) {
  std::ofstream out(p, std::ios::binary);
  out << text;
}

}  // namespace statvtk::link_test
