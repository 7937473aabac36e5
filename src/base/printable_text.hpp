// Text from an instrument shown on a terminal or written to a log: control
// characters never reach the reader raw.
#pragma once

#include <string>
#include <string_view>

namespace statvtk {

// `text` with every control character (C0, DEL, C1) and every byte that is not
// UTF-8 written as "\xNN" (ESC as "\x1b", a tab as "\x09", a newline as
// "\x0a"); printable text, Cyrillic included, stays as it is. One line, no tab:
// safe inside tab-separated output.
std::string PrintableText(std::string_view text);

// A message for the log: its line breaks (LF, CR LF) kept as they are, every
// other control character and non-UTF-8 byte as in PrintableText.
std::string LogSafeText(std::string_view text);

}  // namespace statvtk
