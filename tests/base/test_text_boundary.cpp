// The one UTF-8 check, and JSON that never refuses a string.
#include <gtest/gtest.h>

#include <cmath>

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

}  // namespace
}  // namespace statvtk
