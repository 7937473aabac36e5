// A month for billing: each stored instrument's month summary (the
// analysis's, over the hourly records the store holds of that month) and the
// abnormal situations the collector kept that overlap the month, as CSV or
// JSON (`export --situations --month YYYY-MM`).
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "analysis/situations.hpp"
#include "base/error.hpp"
#include "collect/views/fleet_export.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {

struct BillingMonth {
  int year = 0, month = 0;
  std::string Text() const;       // "2026-11"
  std::string FirstHour() const;  // "2026-11-01 00:00"
  std::string LastHour() const;   // "2026-11-30 23:00"
};

// "YYYY-MM" with a month 01..12 of the years the instruments write
// (2000..2099); none for any other text.
std::optional<BillingMonth> BillingMonthOf(std::string_view text);

// The month's summary of one stored instrument: its hourly records of the
// month (and the one before it, for the first hour's increments) laid into an
// image with the header of its newest read, decoded as a file is, and summed
// by analysis::MonthSummaries with the month as the span. None when the
// analysis looks at no hour of the month (no hourly record up to its end, no
// stored header, a model this program does not know).
Result<std::optional<analysis::MonthSummary>> MonthSummaryOf(store::RecordStore& s, const store::InstrumentRow& in,
                                                             const BillingMonth& month);

// Every instrument of the store, in the order of their lines and names, with
// its summary and its situations overlapping the month. CSV: two sections
// one after the other, the summaries and then the situations, each with its
// own header line, a blank line between them; JSON: one object
// {"month", "instruments": [{"name", "serial", "model", "line", "summary", "situations"}]}.
Result<void> ExportMonth(store::RecordStore& s, const BillingMonth& month, ExportForm form, std::ostream& out);

}  // namespace statvtk::collect
