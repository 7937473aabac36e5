// File name parts made from instrument data, and instrument text made printable.
#include <gtest/gtest.h>

#include <string>

#include "base/printable_text.hpp"
#include "base/safe_name.hpp"

using namespace statvtk;
using namespace std::string_literals;

namespace {

struct NameCase {
  std::string text;
  std::string name;
};

class SafeNameRule : public ::testing::TestWithParam<NameCase> {};

TEST_P(SafeNameRule, GivesTheName) { EXPECT_EQ(SafeNamePart(GetParam().text), GetParam().name); }

INSTANTIATE_TEST_SUITE_P(OrdinarySerialsStay, SafeNameRule,
                         ::testing::Values(NameCase{"00012345", "00012345"}, NameCase{"12345678", "12345678"},
                                           NameCase{"1234####", "1234####"}, NameCase{"4294967295", "4294967295"},
                                           NameCase{"0", "0"}, NameCase{"12#4", "12#4"}, NameCase{"AB-12_7", "AB-12_7"},
                                           NameCase{"Счётчик 5", "Счётчик 5"}, NameCase{"", ""}));

INSTANTIATE_TEST_SUITE_P(InstrumentTextIsTamed, SafeNameRule,
                         ::testing::Values(NameCase{"1234\0\0\0\0"s, "1234####"}, NameCase{"1\n/x\x1b[2J", "1##x#[2J"},
                                           NameCase{"../../etc", "#.#..#etc"},
                                           NameCase{"a\\b:c*d?e\"f<g>h|i", "a#b#c#d#e#f#g#h#i"},
                                           NameCase{"\x7f\t\r", "###"}, NameCase{"12\xff\xfe", "12##"},
                                           NameCase{"ab\xc2\x9b"
                                                    "c",
                                                    "ab#c"},
                                           NameCase{"ab\xe2\x80\xae"
                                                    "cd",
                                                    "ab#cd"},
                                           NameCase{".hidden", "#hidden"}, NameCase{" 12 ", "#12#"},
                                           NameCase{"CON", "#CON"}, NameCase{"nul", "#nul"}, NameCase{"Com7", "#Com7"},
                                           NameCase{"LPT1.x", "#LPT1.x"}, NameCase{"CONSOLE", "CONSOLE"},
                                           NameCase{"COM0", "COM0"}, NameCase{"AUX .txt", "#AUX .txt"}));

TEST(SafeName, IsBoundedOnACharacterBoundary) {
  EXPECT_EQ(SafeNamePart(std::string(200, '7')), std::string(kSafeNameMaxBytes, '7'));
  // 33 two-byte letters are 66 bytes: 32 of them fit in 64.
  std::string cyrillic;
  for (int i = 0; i < 33; ++i) cyrillic += "ж";
  const std::string cut = SafeNamePart(cyrillic);
  EXPECT_EQ(cut.size(), 64u);
  EXPECT_EQ(cut.substr(62), "ж");
  EXPECT_EQ(SafeNamePart("123456", 4), "1234");
}

TEST(SafeName, NeverHoldsAForbiddenByte) {
  for (int b = 0; b < 256; ++b) {
    const std::string name = SafeNamePart("7"s + static_cast<char>(b) + "7");
    for (unsigned char c : name) {
      EXPECT_FALSE(c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':') << "byte " << b;
    }
  }
}

struct TextCase {
  std::string text;
  std::string shown;
};

class Printable : public ::testing::TestWithParam<TextCase> {};

TEST_P(Printable, ShowsControlsEscaped) { EXPECT_EQ(PrintableText(GetParam().text), GetParam().shown); }

INSTANTIATE_TEST_SUITE_P(Texts, Printable,
                         ::testing::Values(TextCase{"VTK-612 v1.4", "VTK-612 v1.4"}, TextCase{"ЛДН-08", "ЛДН-08"},
                                           TextCase{"a\x1b[2Jb", "a\\x1b[2Jb"},
                                           TextCase{"1\tforged\n2", "1\\x09forged\\x0a2"},
                                           TextCase{"\r\x7f", "\\x0d\\x7f"}, TextCase{"x\0y"s, "x\\x00y"},
                                           TextCase{"bad\xff", "bad\\xff"}, TextCase{"c1\xc2\x9b", "c1\\xc2\\x9b"},
                                           TextCase{"", ""}));

}  // namespace
