// The one UTF-8 check, JSON that never refuses a string, the one HOST:PORT
// parser and the decimal numbers of the command lines.
#include <gtest/gtest.h>

#include <cmath>

#include "base/command_line.hpp"
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

TEST(CommandLine, NumbersAreDecimalAndCheckedAgainstTheirRange) {
  EXPECT_EQ(args::DecimalValue("010", 0, 255), 10);
  EXPECT_EQ(args::DecimalValue("-5", -10, 10), -5);
  for (const char* bad : {"0x10", "+5", " 5", "5 ", "", "-1", "256", "1e2"})
    EXPECT_FALSE(args::DecimalValue(bad, 0, 255)) << bad;
  EXPECT_EQ(args::UnsignedValue("18446744073709551615", UINT64_MAX), UINT64_MAX);
  EXPECT_FALSE(args::UnsignedValue("-1", UINT64_MAX));

  std::optional<long long> address;
  const auto app = args::MakeApp("prog", "What it does.", "Exit status: 0 done.");
  args::AddOptional(*app, "--address", address, "the address")->transform(args::Decimal(0, 255))->type_name("N");
  EXPECT_EQ(args::Parse(*app, {"--address", "010"}).end, args::Parsed::End::Go);
  EXPECT_EQ(address, 10);
  const auto bad = args::Parse(*app, {"--address", "0x10"});
  EXPECT_EQ(bad.end, args::Parsed::End::Usage);
  EXPECT_NE(bad.text.find("\"0x10\" is not a number from 0 to 255"), std::string::npos) << bad.text;
  EXPECT_EQ(args::Parse(*app, {"--bogus"}).end, args::Parsed::End::Usage);
  const auto help = args::Parse(*app, {"--help"});
  ASSERT_EQ(help.end, args::Parsed::End::Help);
  EXPECT_EQ(help.text.rfind("Usage: prog [OPTIONS]\n", 0), 0u) << help.text;
  EXPECT_NE(help.text.find("  --address N            the address\n"), std::string::npos) << help.text;
  EXPECT_NE(help.text.find("Exit status: 0 done.\n"), std::string::npos) << help.text;
}

}  // namespace
}  // namespace statvtk
