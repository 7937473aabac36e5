// Debian's Chromium without a display: the DOM of a page after its scripts
// ran (virtual time lets the page's own requests finish), or a screenshot.
#pragma once

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/child_process.hpp"
#include "support/temp_folder.hpp"

namespace statvtk::test {

class HeadlessBrowser {
 public:
  static std::filesystem::path Program() {
    for (const char* p : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
      if (std::filesystem::exists(p)) return p;
    return {};
  }

  // The serialized DOM of `url` once the page settled; empty on failure.
  std::string DumpDom(const std::string& url) {
    const auto out = folder_.Path() / "dom.html";
    std::error_code ec;
    std::filesystem::remove(out, ec);
    auto argv = Common();
    argv.push_back("--dump-dom");
    argv.push_back(url);
    // --dump-dom writes the page to standard output, the browser's own chatter to standard error.
    ChildProcess p(WithShell(argv, out), folder_.Path() / "browser.log");
    if (p.Wait(std::chrono::seconds(90)) != 0) return {};
    return link_test::ReadAll(out);
  }

  // A PNG of `url` at width x height into `png`; true when written.
  bool Screenshot(const std::string& url, const std::filesystem::path& png, int width = 1280, int height = 900) {
    auto argv = Common();
    argv.push_back("--screenshot=" + png.string());
    argv.push_back("--window-size=" + std::to_string(width) + "," + std::to_string(height));
    argv.push_back("--hide-scrollbars");
    argv.push_back(url);
    ChildProcess p(argv, folder_.Path() / "browser.log");
    return p.Wait(std::chrono::seconds(90)) == 0 && std::filesystem::exists(png);
  }
  std::string Log() const { return link_test::ReadAll(folder_.Path() / "browser.log"); }

 private:
  std::vector<std::string> Common() const {
    std::vector<std::string> a{Program().string(),
                               "--headless",
                               "--disable-gpu",
                               "--no-first-run",
                               "--disable-extensions",
                               "--disable-dev-shm-usage",
                               "--lang=ru",
                               "--user-data-dir=" + (folder_.Path() / "profile").string(),
                               "--virtual-time-budget=15000",
                               "--run-all-compositor-stages-before-draw"};
    if (geteuid() == 0) a.push_back("--no-sandbox");  // Chromium refuses its sandbox as root
    return a;
  }
  // Standard output of the browser into `out` through the shell's redirection.
  static std::vector<std::string> WithShell(const std::vector<std::string>& argv, const std::filesystem::path& out) {
    std::string cmd = "exec";
    for (const auto& a : argv) cmd += " " + Quoted(a);
    cmd += " >" + Quoted(out.string());
    return {"/bin/sh", "-c", cmd};
  }

  static std::string Quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
  }

  link_test::TempFolder folder_;
};

}  // namespace statvtk::test
