#include "store/sql_connection.hpp"

#include <charconv>
#include <cstdlib>

#include "base/ascii.hpp"

namespace statvtk::store {

namespace {

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};

std::string RealText(double v) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, ec == std::errc() ? end : buf);
}

}  // namespace

std::string SqlRows::Text(int row, int col) const {
  return std::visit(
      Overloaded{[](std::monostate) { return std::string(); }, [](std::int64_t v) { return std::to_string(v); },
                 [](double v) { return RealText(v); }, [](const std::string& s) { return s; },
                 [](const SqlBytes& b) { return std::string(b.begin(), b.end()); }},
      At(row, col));
}

std::int64_t SqlRows::Int(int row, int col) const {
  return std::visit(
      Overloaded{[](std::monostate) { return std::int64_t{0}; }, [](std::int64_t v) { return v; },
                 [](double v) { return static_cast<std::int64_t>(v); },
                 [](const std::string& s) { return static_cast<std::int64_t>(std::strtoll(s.c_str(), nullptr, 10)); },
                 [](const SqlBytes&) { return std::int64_t{0}; }},
      At(row, col));
}

double SqlRows::Real(int row, int col) const { return OptReal(row, col).value_or(0.0); }

std::optional<double> SqlRows::OptReal(int row, int col) const {
  return std::visit(
      Overloaded{[](std::monostate) { return std::optional<double>(); },
                 [](std::int64_t v) { return std::optional<double>(static_cast<double>(v)); },
                 [](double v) { return std::optional<double>(v); },
                 [](const std::string& s) { return std::optional<double>(std::strtod(s.c_str(), nullptr)); },
                 [](const SqlBytes&) { return std::optional<double>(); }},
      At(row, col));
}

SqlBytes SqlRows::Bytes(int row, int col) const {
  const SqlValue& v = At(row, col);
  if (const auto* b = std::get_if<SqlBytes>(&v)) return *b;
  const auto* s = std::get_if<std::string>(&v);
  if (!s) return {};
  if (!s->starts_with("\\x")) return SqlBytes(s->begin(), s->end());
  SqlBytes out;
  out.reserve((s->size() - 2) / 2);
  for (std::size_t i = 2; i + 1 < s->size(); i += 2) {
    const int hi = HexDigit((*s)[i]), lo = HexDigit((*s)[i + 1]);
    if (hi < 0 || lo < 0) return {};
    out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
  }
  return out;
}

std::string WithDialect(std::string_view sql, const SqlDialect& dialect) {
  static constexpr std::string_view kTokens[] = {"{ID}", "{BLOB}", "{NOW}", "{BINARY}"};
  const std::string_view words[] = {dialect.id, dialect.blob, dialect.now, dialect.binary};
  static constexpr std::string_view kCalls[] = {"{NOW_PLUS(", "{AGE("};
  const std::string_view templates[] = {dialect.nowPlus, dialect.age};
  std::string out;
  out.reserve(sql.size());
  for (std::size_t i = 0; i < sql.size();) {
    bool replaced = false;
    if (sql[i] == '{')
      for (std::size_t t = 0; t < std::size(kTokens) && !replaced; ++t)
        if (sql.substr(i).starts_with(kTokens[t])) {
          out += words[t];
          i += kTokens[t].size();
          replaced = true;
        }
    if (sql[i] == '{')
      for (std::size_t t = 0; t < std::size(kCalls) && !replaced; ++t) {
        if (!sql.substr(i).starts_with(kCalls[t])) continue;
        const std::size_t from = i + kCalls[t].size(), end = sql.find(")}", from);
        if (end == std::string_view::npos) break;
        const std::string_view argument = sql.substr(from, end - from);
        for (const char c : templates[t])
          if (c == '@') out += argument;
          else out += c;
        i = end + 2;
        replaced = true;
      }
    if (!replaced) out += sql[i++];
  }
  return out;
}

}  // namespace statvtk::store
