// The fleet's stored records for billing, one row per instrument and period
// ("нет данных" where the store holds none), and every instrument's totals at
// a moment; written as they are found, one instrument's range at a time.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "base/error.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {

enum class ExportForm { Csv, Json };

// The store's instruments in the order of their lines and names (the order
// of every fleet export).
Result<std::vector<store::InstrumentRow>> FleetInOrder(store::RecordStore& s);

// [from, to] are bounds as the store compares them ("2026-12", "2026-12-08",
// "2026-12-08 05:00"), `to` already extended past its last period.
Result<void> ExportFleet(store::RecordStore& s, ArchiveKind archive, const std::string& from, const std::string& to,
                         ExportForm form, std::ostream& out);

// Each instrument's totals at `at` ("YYYY-MM-DD HH:MM", the instruments' own
// time) from the held record nearest to it: hourly, else daily, else monthly.
Result<void> ExportReadingsAt(store::RecordStore& s, const std::string& at, ExportForm form, std::ostream& out);

}  // namespace statvtk::collect
