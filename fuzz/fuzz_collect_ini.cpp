// Fuzz target of the collector's configuration: any bytes, and collect.ini
// texts assembled from its sections and keys with arbitrary values, must load
// or be refused with problems on lines of the file, never fault; a file that
// is not UTF-8 is always refused.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/utf8.hpp"
#include "collect/config/collect_config.hpp"

namespace {

constexpr std::string_view kHeads[] = {
    "[Collector]", "[Line a]", "[Line b]", "[Instrument x]", "[Instrument y]", "[Line]",
    "[Other z]",   "",         ";",        "bad line"};
constexpr std::string_view kKeys[] = {
    "Database",  "ClockLimit",  "SilentAfter",    "RetryFirst", "Completeness", "Origin",  "Http",  "Mqtt",
    "MqttTopic", "MqttTls",     "Mode",           "Tcp",        "Serial",       "Modem",   "Phone", "Baud",
    "MBus",      "PacketConst", "ConnectTimeout", "Reconnects", "Line",         "Address", "Every", "Offset",
    "Window",    "Kinds",       "Colour"};

// Bytes taken as choices: a head or a KEY=value line per step.
std::string Assembled(std::string_view in) {
  std::string text;
  for (std::size_t i = 0; i + 1 < in.size();) {
    const auto pick = static_cast<unsigned char>(in[i]);
    const std::size_t len = static_cast<unsigned char>(in[i + 1]) % 24;
    const std::string_view value = in.substr(i + 2, len);
    i += 2 + len;
    if (pick % 4 == 0) text += std::string(kHeads[pick / 4 % std::size(kHeads)]) + "\n";
    else text += std::string(kKeys[pick % std::size(kKeys)]) + "=" + std::string(value) + "\n";
  }
  return text;
}

void Check(std::string_view text) {
  const auto r = statvtk::collect::ParseConfig("/nonexistent/collect.ini", text);
  if (r.config.has_value() == !r.problems.empty()) std::abort();
  if (r.config && !statvtk::IsUtf8(text)) std::abort();
  int lines = 1;
  for (char c : text) lines += c == '\n';
  for (const auto& p : r.problems)
    if (p.line < 0 || p.line > lines || p.reason.empty()) std::abort();
  if (r.config)
    for (const auto& in : r.config->instruments)
      if (!r.config->Line(in.line)) std::abort();
  (void)r.Text("collect.ini");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  Check(in);
  Check(Assembled(in));
  return 0;
}
