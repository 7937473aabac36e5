// Damaged workbooks for the template filler: the input either mutates the
// bytes of a real template (a few positions overwritten) or is taken as a
// whole archive; the filler must answer true or false, never crash.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "reports/cell_block.hpp"
#include "reports/file_io.hpp"
#include "reports/report_export.hpp"
#include "reports/workbook_filler.hpp"
#include "reports/zip_archive.hpp"

namespace {

using namespace statvtk;

const std::vector<std::uint8_t>& Template() {
  static const std::vector<std::uint8_t> bytes = [] {
    auto b = ReadWholeFile(BuildTemplateFolder() / "VTK0812_h.xlsx");
    return b ? std::move(*b) : std::vector<std::uint8_t>{};
  }();
  return bytes;
}

// The template's parts unpacked, for mutations that keep the archive valid.
const std::vector<ZipEntry>& TemplateParts() {
  static const std::vector<ZipEntry> parts = [] {
    auto p = ReadZip(Template());
    return p ? std::move(*p) : std::vector<ZipEntry>{};
  }();
  return parts;
}

const CellBlock& Block() {
  static const CellBlock block = [] {
    CellBlock b;
    b.Set("B1", std::string("VTK-08.12"));
    b.Set("B2", std::string("SN\x01\xFF"));
    b.Set("A11", std::int64_t{3});
    b.Set("B17", Currency{1});
    b.Set("C17", 1.5);
    return b;
  }();
  return block;
}

void Fill(const std::vector<std::uint8_t>& bytes) { (void)FillWorkbook(bytes, Block()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::vector<std::uint8_t> in(data + 1, data + size);
  switch (data[0] % 3) {
    case 0: {  // overwrite bytes of the packed template: pairs (position, value)
      std::vector<std::uint8_t> t = Template();
      if (t.empty()) return 0;
      for (std::size_t i = 0; i + 2 < in.size(); i += 3)
        t[(static_cast<std::size_t>(in[i]) << 8 | in[i + 1]) % t.size()] = in[i + 2];
      Fill(t);
      break;
    }
    case 1: {  // a valid archive whose XML part is overwritten at places
      std::vector<ZipEntry> parts = TemplateParts();
      if (parts.empty()) return 0;
      ZipEntry& victim = parts[in[0] % parts.size()];
      if (victim.data.empty()) return 0;
      for (std::size_t i = 1; i + 2 < in.size(); i += 3)
        victim.data[(static_cast<std::size_t>(in[i]) << 8 | in[i + 1]) % victim.data.size()] = in[i + 2];
      if (const auto zipped = WriteZip(parts)) Fill(*zipped);
      break;
    }
    default:  // the input itself as an archive
      Fill(in);
      break;
  }
  return 0;
}
