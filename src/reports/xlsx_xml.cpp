// Part names, relationship targets and XML load/save for .xlsx packages.
#include "reports/xlsx_xml.hpp"

#include "base/utf8.hpp"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace statvtk {

std::string_view LocalName(const char* name) {
  std::string_view n(name);
  const auto colon = n.find(':');
  return colon == std::string_view::npos ? n : n.substr(colon + 1);
}

std::string PrefixOf(const char* name) {
  std::string_view n(name);
  const auto colon = n.find(':');
  return colon == std::string_view::npos ? std::string() : std::string(n.substr(0, colon + 1));
}

pugi::xml_node ChildByLocal(pugi::xml_node parent, std::string_view local) {
  for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element && LocalName(c.name()) == local) return c;
  return {};
}

std::string RelsPartOf(std::string_view part) {
  const auto slash = part.rfind('/');
  if (slash == std::string_view::npos) return "_rels/" + std::string(part) + ".rels";
  return std::string(part.substr(0, slash + 1)) + "_rels/" + std::string(part.substr(slash + 1)) + ".rels";
}

std::string ResolveTarget(std::string_view sourcePart, std::string_view target) {
  std::string path;
  if (!target.empty() && target.front() == '/') {
    path = std::string(target.substr(1));
  } else {
    const auto slash = sourcePart.rfind('/');
    path = (slash == std::string_view::npos ? std::string() : std::string(sourcePart.substr(0, slash + 1))) +
           std::string(target);
  }
  std::vector<std::string> parts;
  std::stringstream ss(path);
  std::string seg;
  while (std::getline(ss, seg, '/')) {
    if (seg.empty() || seg == ".") continue;
    if (seg == "..") {
      if (parts.empty()) return {};
      parts.pop_back();
    } else {
      parts.push_back(seg);
    }
  }
  std::string out;
  for (const auto& p : parts) out += (out.empty() ? "" : "/") + p;
  return out;
}

ZipEntry* FindPart(std::vector<ZipEntry>& parts, std::string_view name) {
  for (auto& p : parts)
    if (p.name == name) return &p;
  return nullptr;
}

Result<void> LoadXml(const ZipEntry& part, pugi::xml_document* doc) {
  const auto res = doc->load_buffer(part.data.data(), part.data.size(),
                                    pugi::parse_default | pugi::parse_declaration | pugi::parse_ws_pcdata_single,
                                    pugi::encoding_auto);
  if (!res) {
    return MakeError(ErrorCode::BadData, "damaged XML in " + part.name + " (" + res.description() + ")");
  }
  if (!doc->document_element()) {
    return MakeError(ErrorCode::BadData, "empty XML part " + part.name);
  }
  return {};
}

namespace {
struct VectorWriter : pugi::xml_writer {
  std::vector<std::uint8_t>* out;
  explicit VectorWriter(std::vector<std::uint8_t>* o) : out(o) {}
  void write(const void* data, size_t size) override {
    const auto* p = static_cast<const std::uint8_t*>(data);
    out->insert(out->end(), p, p + size);
  }
};

// Length of the valid UTF-8 sequence at s[i], or 0; XML also has no U+FFFE, U+FFFF.
std::size_t XmlUtf8Length(std::string_view s, std::size_t i) {
  std::uint32_t cp = 0;
  const std::size_t len = statvtk::Utf8Length(s, i, &cp);
  return cp == 0xFFFE || cp == 0xFFFF ? 0 : len;
}

bool IsEscapePattern(std::string_view s, std::size_t i) {
  if (i + 7 > s.size() || s[i] != '_' || s[i + 1] != 'x' || s[i + 6] != '_') return false;
  for (std::size_t k = 2; k < 6; ++k)
    if (!std::isxdigit(static_cast<unsigned char>(s[i + k]))) return false;
  return true;
}
}  // namespace

// Always UTF-8 without a byte-order mark. A part read from UTF-16 (or any
// other encoding) keeps its declaration's other attributes, but the
// declaration then says UTF-8, so that it matches the bytes written.
std::vector<std::uint8_t> SaveXml(const pugi::xml_document& doc) {
  std::vector<std::uint8_t> out;
  VectorWriter w(&out);
  bool declared = false;
  for (pugi::xml_node n = doc.first_child(); n && !declared; n = n.next_sibling())
    declared = n.type() == pugi::node_declaration;
  if (!declared) {
    const std::string_view plain = "<?xml version=\"1.0\"?>";  // what pugixml writes by default
    out.insert(out.end(), plain.begin(), plain.end());
  }
  for (pugi::xml_node n = doc.first_child(); n; n = n.next_sibling()) {
    if (n.type() != pugi::node_declaration) {
      n.print(w, "", pugi::format_raw, pugi::encoding_utf8);
      continue;
    }
    std::string decl = "<?xml";
    for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
      const bool isEncoding = std::string_view(a.name()) == "encoding";
      decl += std::string(" ") + a.name() + "=\"" + (isEncoding ? "UTF-8" : a.value()) + "\"";
    }
    decl += "?>";
    out.insert(out.end(), decl.begin(), decl.end());
  }
  return out;
}

std::string CellText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto ch = static_cast<unsigned char>(text[i]);
    if (IsEscapePattern(text, i)) {
      out += "_x005F_";
      ++i;
    } else if (ch < 0x20 && ch != '\t' && ch != '\n' && ch != '\r') {
      char buf[8];
      std::snprintf(buf, sizeof buf, "_x%04X_", ch);
      out += buf;
      ++i;
    } else if (const std::size_t len = XmlUtf8Length(text, i); len > 0) {
      out.append(text.substr(i, len));
      i += len;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

}  // namespace statvtk
