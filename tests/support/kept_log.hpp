// The lines a piece under test logs from its own threads, kept for the test
// to look at while it runs.
#pragma once

#include <functional>
#include <mutex>
#include <string>

namespace statvtk::test {

class KeptLog {
 public:
  // The function to give the piece as its log: each call one line.
  std::function<void(const std::string&)> To() {
    return [this](const std::string& line) {
      const std::scoped_lock lock(mutex_);
      text_ += line + "\n";
    };
  }
  std::string Text() const {
    const std::scoped_lock lock(mutex_);
    return text_;
  }
  // How often `what` was said.
  std::size_t Count(const std::string& what) const {
    const std::string text = Text();
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
  }

 private:
  mutable std::mutex mutex_;
  std::string text_;
};

}  // namespace statvtk::test
