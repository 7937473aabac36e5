// The abnormal situations in the API: GET /api/situations (open=1, kind=,
// since=, serial=, q=, page=, per=) and the open ones per kind for /metrics.
#pragma once

#include <string>
#include <vector>

#include "collect/http/api.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {

// The most rows of the answer without page= or per=.
inline constexpr std::size_t kMaxSituationList = 1000;

// [{"id", "serial", "name" (null: not known), "kind", "kind_text", "source",
// "source_text", "from", "to" (null: going on), "hours", "detail",
// "raised_utc", "cleared_utc" (null), "acked_by" (null), "acked_utc" (null)}],
// the open ones first, then by their first hour, newest first; at most
// kMaxSituationList. With page= or per=, one page of them: {"page", "per",
// "pages", "total", "open" (open in the whole store), "now" (`nowPeriod`, the
// instruments' hour now), "kinds": [{"kind", "text"}], "rows": [...]}.
// 400 for a parameter it does not take.
HttpAnswer SituationsAnswer(store::RecordStore& db, const QueryParams& query, const std::string& nowPeriod);

// statvtk_situations_open{kind="..."}: a gauge per kind, 0 where none is open.
std::string SituationMetricsText(const std::vector<store::SituationRow>& open);

}  // namespace statvtk::collect
