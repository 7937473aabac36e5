// The statements of the situations table (store/situation_store.hpp), plain
// SQL both backends take; parameters as their comments name them.
#pragma once

#include <string>

#include "store/store_queries.hpp"
#include "store/store_sql.hpp"

namespace statvtk::store::sql {

#define STATVTK_SITUATION_COLUMNS \
  "id, serial, kind, source, from_period, to_period, hours, detail, raised_utc, cleared_utc, ack_utc, ack_by"

// serial, from_period: the serial's open situations and those from that hour on
inline constexpr Statement kSituationsOfSerial{
    "SELECT " STATVTK_SITUATION_COLUMNS
    " FROM situations WHERE serial = $1 AND (to_period IS NULL OR from_period >= $2)"};
// serial, kind, source: the serial's open situations of that kind from that source
inline constexpr Statement kOpenSituationsOfKind{
    "SELECT " STATVTK_SITUATION_COLUMNS
    " FROM situations WHERE to_period IS NULL AND serial = $1 AND kind = $2 AND source = $3"};
// serial, kind, source, from_period, to_period, hours, detail, raised_utc, cleared_utc -> the row when added
inline constexpr Statement kInsertSituation{
    "INSERT INTO situations(serial, kind, source, from_period, to_period, hours, detail, raised_utc, cleared_utc) "
    "VALUES($1, $2, $3, $4, $5, $6, $7, $8, $9) ON CONFLICT(serial, kind, from_period, detail, source) DO NOTHING "
    "RETURNING id"};
// id, to_period (NULL: open), hours, cleared_utc (NULL: open): an open situation brought up to date
inline constexpr Statement kUpdateSituation{
    "UPDATE situations SET to_period = $2, hours = $3, cleared_utc = $4 WHERE id = $1 AND to_period IS NULL"};
// id, ack_utc, ack_by -> a row when there is that situation
inline constexpr Statement kAckSituation{
    "UPDATE situations SET ack_utc = COALESCE(ack_utc, $2), ack_by = COALESCE(ack_by, $3) WHERE id = $1 RETURNING id"};

}  // namespace statvtk::store::sql

namespace statvtk::store {

struct SituationQuery;
// The situations a query asks for, newest first (or open first), limited.
SqlQuery SituationsQuery(const SituationQuery& query);
// How many there are, the query's limit aside.
SqlQuery SituationCountQuery(const SituationQuery& query);

}  // namespace statvtk::store
