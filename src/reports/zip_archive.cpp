// libzip over memory buffers, with every handle owned by a small guard.
#include "reports/zip_archive.hpp"

#include <zip.h>

#include <cstdio>
#include <memory>

namespace statvtk {

namespace {

struct ZipDiscard {
  void operator()(zip_t* z) const { zip_discard(z); }
};
struct ZipFileClose {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
};
struct ZipSourceFree {
  void operator()(zip_source_t* s) const { zip_source_free(s); }
};
using ZipPtr = std::unique_ptr<zip_t, ZipDiscard>;
using ZipFilePtr = std::unique_ptr<zip_file_t, ZipFileClose>;
using ZipSourcePtr = std::unique_ptr<zip_source_t, ZipSourceFree>;

std::string ErrorText(zip_error_t* e) {
  const char* s = zip_error_strerror(e);
  return s ? s : "unknown zip error";
}

Error ZipFailure(std::string reason) { return MakeError(ErrorCode::BadData, std::move(reason)); }

Result<void> ReadEntry(zip_t* za, zip_uint64_t index, std::uint64_t* total, ZipEntry* entry) {
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(za, index, 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME) || !(st.valid & ZIP_STAT_SIZE)) {
    return ZipFailure("damaged zip directory entry");
  }
  entry->name = st.name;
  if (st.size > kMaxZipTotalBytes || *total + st.size > kMaxZipTotalBytes) {
    return ZipFailure("zip entry too large: " + entry->name);
  }
  *total += st.size;
  entry->data.resize(static_cast<std::size_t>(st.size));
  if (entry->name.empty() || entry->name.back() == '/') return {};
  ZipFilePtr file(zip_fopen_index(za, index, 0));
  if (!file) {
    return ZipFailure("cannot open zip entry " + entry->name + ": " + ErrorText(zip_get_error(za)));
  }
  std::size_t got = 0;
  while (got < entry->data.size()) {
    const zip_int64_t n = zip_fread(file.get(), entry->data.data() + got, entry->data.size() - got);
    if (n <= 0) {
      return ZipFailure("cannot read zip entry " + entry->name + ": " + ErrorText(zip_file_get_error(file.get())));
    }
    got += static_cast<std::size_t>(n);
  }
  // One more read lets libzip finish the entry and check its CRC.
  char probe;
  if (zip_fread(file.get(), &probe, 1) != 0) {
    return ZipFailure("damaged zip entry " + entry->name);
  }
  return {};
}

}  // namespace

Result<std::vector<ZipEntry>> ReadZip(std::span<const std::uint8_t> bytes) {
  std::vector<ZipEntry> entries;
  zip_error_t zerr;
  zip_error_init(&zerr);
  ZipSourcePtr src(zip_source_buffer_create(bytes.data(), bytes.size(), 0, &zerr));
  if (!src) {
    Error failure = ZipFailure(ErrorText(&zerr));
    zip_error_fini(&zerr);
    return failure;
  }
  ZipPtr za(zip_open_from_source(src.get(), ZIP_RDONLY | ZIP_CHECKCONS, &zerr));
  if (!za) {
    Error failure = ZipFailure("not a zip archive (" + ErrorText(&zerr) + ")");
    zip_error_fini(&zerr);
    return failure;
  }
  src.release();  // now owned by the archive
  zip_error_fini(&zerr);
  const zip_int64_t count = zip_get_num_entries(za.get(), 0);
  if (count < 0 || static_cast<std::uint64_t>(count) > kMaxZipEntries) {
    return ZipFailure("too many zip entries");
  }
  std::uint64_t total = 0;
  entries.resize(static_cast<std::size_t>(count));
  for (zip_int64_t i = 0; i < count; ++i)
    if (Result<void> read =
            ReadEntry(za.get(), static_cast<zip_uint64_t>(i), &total, &entries[static_cast<std::size_t>(i)]);
        !read)
      return std::move(read.error());
  return entries;
}

namespace {

Result<void> AddEntry(zip_t* zw, const ZipEntry& e) {
  if (!e.name.empty() && e.name.back() == '/') {
    if (zip_dir_add(zw, e.name.c_str(), ZIP_FL_ENC_UTF_8) < 0) {
      return ZipFailure("cannot add folder " + e.name + ": " + ErrorText(zip_get_error(zw)));
    }
    return {};
  }
  zip_source_t* s = zip_source_buffer(zw, e.data.data(), e.data.size(), 0);
  if (!s) {
    return ZipFailure("cannot add " + e.name + ": " + ErrorText(zip_get_error(zw)));
  }
  if (zip_file_add(zw, e.name.c_str(), s, ZIP_FL_ENC_UTF_8) < 0) {
    zip_source_free(s);
    return ZipFailure("cannot add " + e.name + ": " + ErrorText(zip_get_error(zw)));
  }
  return {};
}

Result<std::vector<std::uint8_t>> CollectSource(zip_source_t* src) {
  std::vector<std::uint8_t> bytes;
  if (zip_source_open(src) < 0) {
    return ZipFailure("cannot read the new archive: " + ErrorText(zip_source_error(src)));
  }
  bool ok = zip_source_seek(src, 0, SEEK_END) == 0;
  const zip_int64_t size = ok ? zip_source_tell(src) : -1;
  ok = ok && size >= 0 && zip_source_seek(src, 0, SEEK_SET) == 0;
  if (ok) {
    bytes.resize(static_cast<std::size_t>(size));
    std::size_t got = 0;
    while (ok && got < bytes.size()) {
      const zip_int64_t n = zip_source_read(src, bytes.data() + got, bytes.size() - got);
      ok = n > 0;
      if (ok) got += static_cast<std::size_t>(n);
    }
  }
  zip_source_close(src);
  if (!ok) return ZipFailure("cannot read the new archive");
  return bytes;
}

}  // namespace

Result<std::vector<std::uint8_t>> WriteZip(const std::vector<ZipEntry>& entries) {
  zip_error_t zerr;
  zip_error_init(&zerr);
  ZipSourcePtr out(zip_source_buffer_create(nullptr, 0, 0, &zerr));
  if (!out) {
    Error failure = ZipFailure(ErrorText(&zerr));
    zip_error_fini(&zerr);
    return failure;
  }
  zip_t* zw = zip_open_from_source(out.get(), ZIP_TRUNCATE, &zerr);
  if (!zw) {
    Error failure = ZipFailure(ErrorText(&zerr));
    zip_error_fini(&zerr);
    return failure;
  }
  zip_error_fini(&zerr);
  zip_source_keep(out.get());  // the buffer must outlive zip_close
  for (const auto& e : entries) {
    if (Result<void> added = AddEntry(zw, e); !added) {
      zip_discard(zw);
      return std::move(added.error());
    }
  }
  if (zip_close(zw) != 0) {
    Error failure = ZipFailure("cannot write the archive: " + ErrorText(zip_get_error(zw)));
    zip_discard(zw);
    return failure;
  }
  return CollectSource(out.get());
}

}  // namespace statvtk
