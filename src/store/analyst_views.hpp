// PostgreSQL views for analysts and dashboards over the record tables: hourly
// and daily consumption with the period's start as timestamptz and `fields`
// as jsonb, and the gaps in each instrument's archives. A period that is no
// calendar date stays flagged in `records` and is left out of the views.
#pragma once

#include <string_view>

#include "base/error.hpp"

namespace statvtk::store {

class SqlConnection;

inline constexpr std::string_view kAnalystViews[] = {"hourly_consumption", "daily_consumption", "record_gaps"};

// Before an upgrade of the schema: the views go (a column a view uses could
// not change its type); nothing when the schema is this program's already.
Result<void> DropAnalystViewsForUpgrade(SqlConnection& c);
// Creates or replaces the views (after the schema is this program's).
Result<void> CreateAnalystViews(SqlConnection& c);

}  // namespace statvtk::store
