// The cause of a link error in words, as the user reads it after
// "Дополнительная информация: " and in the traffic monitor: what happened
// ("нет ответа за 400 мс", "порт занят другой программой"), then the
// error's own text and code in brackets.
#pragma once

#include <cstdint>
#include <string>

namespace statvtk {

struct LinkCauseContext {
  std::uint32_t replyTimeoutMs = 0;  // the wait for a reply's first byte; 0: not known
  std::string reason;                // the opening's own words (port or connection), if any
  std::string where;                 // "host:port" of a TCP link, else empty
};

// The words alone ("нет ответа за 400 мс"); empty for code 0.
std::string LinkCauseWords(std::uint32_t code, const LinkCauseContext& context = {});

// The words, then the error's text: "нет ответа за 400 мс (Тайм-аут [2])".
std::string LinkCauseText(std::uint32_t code, const LinkCauseContext& context = {});

}  // namespace statvtk
