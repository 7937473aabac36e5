// The one UTF-8 check, JSON that never refuses a string and the one
// HOST:PORT parser.
#include <gtest/gtest.h>

#include <cmath>

#include "base/host_port.hpp"
#include "base/json_text.hpp"
#include "base/utf8.hpp"

namespace statvtk {
namespace {

TEST(Utf8, OnlyStrictUtf8IsValidAndTheRestBecomesReplacementCharacters) {
  const std::pair<std::string, bool> cases[] = {
      {"Котельная №1", true},
      {"plain", true},
      {"\xF0\x9F\x92\xA7", true},       // U+1F4A7
      {"\xED\xA0\x80", false},          // a surrogate
      {"\xC0\xAF", false},              // an overlong '/'
      {"\xE0\x80\xAF", false},          // overlong in three bytes
      {"\xF4\x90\x80\x80", false},      // beyond U+10FFFF
      {"\xD0", false},                  // cut short
      {"\xCA\xEE\xF2\xE5\xEB", false},  // Windows-1251
  };
  for (const auto& [text, valid] : cases) {
    EXPECT_EQ(IsUtf8(text), valid) << text;
    EXPECT_TRUE(IsUtf8(ValidUtf8(text))) << text;
    if (valid) {
      EXPECT_EQ(ValidUtf8(text), text);
    }
  }
  EXPECT_EQ(ValidUtf8("a\xFF"
                      "b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(FirstNonUtf8("ok\xED\xA0\x80"), 2u);
}

TEST(JsonText, AStringThatIsNotUtf8IsWrittenWithReplacementsNeverRefused) {
  Json j;
  j["serial"] = std::string("12\xFF\n\x1b", 5);
  j["v"] = 0.1;
  j["nan"] = std::nan("");
  EXPECT_EQ(JsonText(j), "{\"serial\":\"12\xEF\xBF\xBD\\n\\u001b\",\"v\":0.1,\"nan\":null}");
}

TEST(HostPort, OneParserForEveryAddress) {
  const HostPortRules plain{}, http{.defaultHost = "127.0.0.1", .defaultPort = 0, .minPort = 0},
      broker{.defaultHost = nullptr, .defaultPort = 1883, .minPort = 1};
  struct Case {
    const char* text;
    const HostPortRules* rules;
    const char* host;  // nullptr: refused
    int port;
  } cases[] = {
      {"10.0.0.5:4001", &plain, "10.0.0.5", 4001},
      {"[::1]:8080", &plain, "::1", 8080},
      {"10.0.0.5", &plain, nullptr, 0},
      {":4001", &plain, nullptr, 0},
      {"h:0", &plain, nullptr, 0},
      {"h:65536", &plain, nullptr, 0},
      {"h:+1", &plain, nullptr, 0},
      {"8080", &http, "127.0.0.1", 8080},
      {":0", &http, "127.0.0.1", 0},
      {"0.0.0.0:80", &http, "0.0.0.0", 80},
      {"broker.local", &broker, "broker.local", 1883},
      {"broker.local:8883", &broker, "broker.local", 8883},
      {":1883", &broker, nullptr, 0},
      {"broker:x", &broker, nullptr, 0},
  };
  for (const auto& c : cases) {
    const auto r = ParseHostPort(c.text, *c.rules);
    ASSERT_EQ(r.has_value(), c.host != nullptr) << c.text;
    if (!r) continue;
    EXPECT_EQ(r->host, c.host) << c.text;
    EXPECT_EQ(r->port, c.port) << c.text;
  }
}

}  // namespace
}  // namespace statvtk
