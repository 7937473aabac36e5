// The read-only REST API and the page: one request (method, path, query) in,
// one answer (status, type, body) out, over a reader of the store and the
// collector's live figures. No socket here (http_server does that), so every
// route is tested directly.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "collect/fleet/fleet_live.hpp"
#include "collect/views/json_shapes.hpp"
#include "store/record_store.hpp"
#include "store/store_readers.hpp"

namespace statvtk::collect {

struct HttpAnswer {
  int status = 200;
  std::string contentType = "application/json; charset=utf-8";
  std::string body;
};

using QueryParams = std::vector<std::pair<std::string, std::string>>;

// Limits of one request: more records than this in one answer is refused
// (413: ask for a shorter period), as are more reads.
inline constexpr std::size_t kMaxRecordsPerAnswer = 20000;
inline constexpr std::size_t kMaxReadsPerAnswer = 1000;
inline constexpr std::size_t kMaxQueryParams = 16;
inline constexpr int kSummaryDays = 7;

class FleetApi {
 public:
  // `reader` is the store connection the server reads through (its own):
  // one request at a time.
  FleetApi(std::unique_ptr<store::RecordStore> reader, FleetLive live);
  // A pool of read-only connections: as many requests at once.
  FleetApi(std::unique_ptr<store::StoreReaders> readers, FleetLive live);

  // GET /, /api/instruments (?page=...: one page, http/fleet_pages.hpp),
  // /api/completeness, /api/read-rates, /api/instruments/{serial}/records,
  // /api/instruments/{serial}/overview, /api/reads, /api/findings, /api/calls,
  // /api/modems, /api/collectors, /api/situations, /metrics.
  // Anything else: a 4xx with {"error": reason}; a store failure: 503.
  HttpAnswer Answer(std::string_view method, std::string_view path, const QueryParams& query);

  // POST /api/findings/{id}/ack: the finding acknowledged by `who` (the
  // token's name) through the collector's writer; 404 for no open finding
  // of that id; 403 when no token was given (`who` "-": none needed).
  // POST /api/situations/{id}/ack: a situation so (404: no such id).
  HttpAnswer Post(std::string_view path, const std::string& who);

  // GET /health: {"status": "ok"|"degraded", "store": "ok"|"down", "version"}
  // (503 while the store does not answer); nothing about the instruments.
  HttpAnswer Health();

  // {"error": reason} with the status.
  static HttpAnswer Refuse(int status, std::string_view reason);

 private:
  HttpAnswer Instruments(store::RecordStore& db);
  HttpAnswer Records(store::RecordStore& db, const std::string& serial, const QueryParams& query);
  HttpAnswer Overview(store::RecordStore& db, const std::string& serial);
  HttpAnswer Reads(store::RecordStore& db, const QueryParams& query);
  HttpAnswer Findings(store::FindingStore& db, const QueryParams& query);
  HttpAnswer Metrics(store::RecordStore& db);
  HttpAnswer Calls(store::CallStore& db, const QueryParams& query);
  HttpAnswer Modems();
  HttpAnswer Collectors(store::LeaseStore& db);

  std::chrono::system_clock::time_point Now() const;
  std::string NowPeriod() const;
  FleetLive LiveWithClock() const;  // live_ with this API's clock
  bool KnownSerial(store::RecordStore& db, const std::string& serial);

  std::unique_ptr<store::StoreReaders> readers_;
  FleetLive live_;
};

// A path segment with %XX decoded; nullopt for a bad escape or a NUL.
std::optional<std::string> DecodedSegment(std::string_view s);

}  // namespace statvtk::collect
