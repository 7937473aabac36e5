// Debian's headless Chromium driven through its DevTools pipe, for a test
// that clicks: one page opened (with headers of the test's own, such as a
// token), its script's state read, an element clicked, a screenshot taken.
// The pipe is two FIFOs in a temporary folder that the browser gets as its
// descriptors 3 (commands) and 4 (answers and events, each ended by a NUL).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "support/child_process.hpp"
#include "support/headless_browser.hpp"
#include "support/temp_folder.hpp"
#include "support/wait_until.hpp"

namespace statvtk::test {

class BrowserSession {
 public:
  using Json = nlohmann::json;

  BrowserSession() {
    const auto to = folder_.Path() / "to", from = folder_.Path() / "from";
    if (mkfifo(to.c_str(), 0600) != 0 || mkfifo(from.c_str(), 0600) != 0) return;
    // Both ends opened read-write here, so that neither side's open waits for the other.
    out_ = open(to.c_str(), O_RDWR | O_CLOEXEC);
    in_ = open(from.c_str(), O_RDWR | O_CLOEXEC);
    std::string cmd = "exec '" + HeadlessBrowser::Program().string() +
                      "' --headless --disable-gpu --no-first-run --disable-extensions --disable-dev-shm-usage"
                      " --lang=ru --hide-scrollbars --remote-debugging-pipe --user-data-dir='" +
                      (folder_.Path() / "profile").string() + "'";
    if (geteuid() == 0) cmd += " --no-sandbox";
    cmd += " 3<'" + to.string() + "' 4>'" + from.string() + "'";
    browser_.Start({"/bin/sh", "-c", cmd}, folder_.Path() / "browser.log");
  }
  ~BrowserSession() {
    if (out_ >= 0 && browser_.Running()) (void)Send("Browser.close", Json::object(), false);
    browser_.Stop();
    if (out_ >= 0) close(out_);
    if (in_ >= 0) close(in_);
  }
  BrowserSession(const BrowserSession&) = delete;
  BrowserSession& operator=(const BrowserSession&) = delete;

  // Opens `url` in a page of width x height whose every request carries `headers`.
  bool Open(const std::string& url, const std::map<std::string, std::string>& headers, int width, int height) {
    const Json target = Send("Target.createTarget", {{"url", "about:blank"}}, false);
    if (!target.contains("targetId")) return false;
    const Json attached = Send("Target.attachToTarget", {{"targetId", target["targetId"]}, {"flatten", true}}, false);
    if (!attached.contains("sessionId")) return false;
    session_ = attached["sessionId"];
    Send("Network.enable", Json::object());
    Send("Network.setExtraHTTPHeaders", {{"headers", headers}});
    Send("Emulation.setDeviceMetricsOverride",
         {{"width", width}, {"height", height}, {"deviceScaleFactor", 1}, {"mobile", false}});
    return Send("Page.navigate", {{"url", url}}).contains("frameId");
  }
  // The value of a script expression in the page (a promise awaited); null when it failed.
  Json Eval(const std::string& expression) {
    const Json r =
        Send("Runtime.evaluate", {{"expression", expression}, {"returnByValue", true}, {"awaitPromise", true}});
    if (!r.contains("result") || r.contains("exceptionDetails")) return nullptr;
    return r["result"].value("value", Json());
  }
  // Whether the expression came to be true within `deadline`.
  bool WaitFor(const std::string& expression, std::chrono::seconds deadline = std::chrono::seconds(60)) {
    return WaitUntil([&] { return Eval("!!(" + expression + ")") == true; }, deadline);
  }
  // A PNG of the page as it is now into `png`.
  bool Screenshot(const std::filesystem::path& png) {
    const Json shot = Send("Page.captureScreenshot", {{"format", "png"}});
    if (!shot.contains("data")) return false;
    link_test::WriteAll(png, Base64(shot["data"].get<std::string>()));
    return std::filesystem::file_size(png) > 0;
  }
  std::string Log() const { return link_test::ReadAll(folder_.Path() / "browser.log"); }

 private:
  // A command and its answer's result (empty when it failed or did not come within 60 s).
  Json Send(const std::string& method, const Json& params, bool inPage = true) {
    Json message{{"id", ++id_}, {"method", method}, {"params", params}};
    if (inPage) message["sessionId"] = session_;
    const std::string text = message.dump() + '\0';
    if (write(out_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return Json::object();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
      for (std::size_t end; (end = buffer_.find('\0')) != std::string::npos;) {
        const Json answer = Json::parse(buffer_.substr(0, end), nullptr, false);
        buffer_.erase(0, end + 1);
        if (answer.is_object() && answer.value("id", -1) == id_) return answer.value("result", Json::object());
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
      pollfd p{in_, POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return Json::object();
      char chunk[65536];
      const ssize_t n = read(in_, chunk, sizeof chunk);
      if (n <= 0) return Json::object();
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }
  static std::string Base64(const std::string& text) {
    std::string out;
    unsigned bits = 0;
    int have = 0;
    for (const char c : text) {
      const int v = c >= 'A' && c <= 'Z'   ? c - 'A'
                    : c >= 'a' && c <= 'z' ? c - 'a' + 26
                    : c >= '0' && c <= '9' ? c - '0' + 52
                    : c == '+'             ? 62
                    : c == '/'             ? 63
                                           : -1;
      if (v < 0) continue;
      bits = (bits << 6) | static_cast<unsigned>(v);
      if ((have += 6) >= 8) out += static_cast<char>((bits >> (have -= 8)) & 0xFF);
    }
    return out;
  }

  link_test::TempFolder folder_;
  ChildProcess browser_;
  int out_ = -1, in_ = -1;
  int id_ = 0;
  std::string buffer_, session_;
};

}  // namespace statvtk::test
