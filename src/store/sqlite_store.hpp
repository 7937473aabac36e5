// The record store in a SQLite file (WAL mode), the embedded default.
#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

#include "store/record_store.hpp"

namespace statvtk::store {

// Opens or creates the file and brings its schema up to date.
Result<std::unique_ptr<RecordStore>> OpenSqliteStore(const std::filesystem::path& file,
                                                     const StoreOptions& options = {});

// The backend's entry in the table: accepts any text that is not a URL.
StoreBackend SqliteBackend();

}  // namespace statvtk::store
