// The shared lines' leases of one `run`, kept by one thread: the collector is
// registered in the store, then every LeaseTtl/3 seen, its leases renewed and
// free ones taken up to its share of the work (ceil(shared lines / live
// collectors)); beyond it only leases whose holder stopped renewing (it died),
// so a dead collector's lines are taken over at once. A holder above its
// share while another collector has room gives one line up at the end of its
// read. A lease found lost stops the line's read at the next block.
// The leases are kept through a connection of their own, never the
// writer's: a read's long transaction does not hold a renewal up.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "collect/run/collect_pass.hpp"
#include "collect/run/line_pool.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {

// The store opened again for the leases (Database= and the collector's
// options): a row a read's fence holds locked is waited for only a moment.
Result<std::unique_ptr<store::RecordStore>> OpenLeaseStore(const CollectorConfig& collector,
                                                           const std::filesystem::path& home);

class LeaseKeeper {
 public:
  // `leases`: the keeper's own connection (OpenLeaseStore).
  LeaseKeeper(std::unique_ptr<store::RecordStore> leases, const CollectorConfig& collector, PassLog log);
  ~LeaseKeeper();  // Stop() and Release() when not done before
  LeaseKeeper(const LeaseKeeper&) = delete;
  LeaseKeeper& operator=(const LeaseKeeper&) = delete;

  // Registers the collector and keeps the leases of `pool`'s shared lines.
  void Start(LinePool& pool);
  // The thread ends and every lease held is given up: the pool's reads are
  // to end first (renewed until then).
  void Release();

 private:
  struct Held {
    std::int64_t epoch = 0;
    std::chrono::steady_clock::time_point renewed;
    bool yielding = false;  // given up at the end of its read
  };
  void Tick(LinePool& pool, int tick);
  void Renew(LinePool& pool);
  void Take(LinePool& pool, std::size_t share, bool beyondShare);
  void Spread(LinePool& pool, std::size_t share);
  void Release(const std::string& line, std::int64_t epoch, const std::string& why);

  std::unique_ptr<store::RecordStore> store_;
  const std::string origin_;
  const std::int64_t ttlS_;
  PassLog log_;
  std::map<std::string, Held> held_;
  std::vector<store::LeaseRow> leases_;      // as the last tick read them
  std::vector<store::CollectorRow> active_;  // seen within LeaseTtl
  std::mutex mutex_;
  std::condition_variable_any wake_;
  std::jthread thread_;
};

// One lease kept renewed every LeaseTtl/3 while a read of `once` goes on,
// through `leases` (OpenLeaseStore; this renewal's alone while it lives).
class LeaseRenewal {
 public:
  LeaseRenewal(store::LeaseStore& leases, const std::string& line, const LeaseFence& lease, const PassLog& log);
  ~LeaseRenewal();
  LeaseRenewal(const LeaseRenewal&) = delete;
  LeaseRenewal& operator=(const LeaseRenewal&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable_any wake_;
  std::jthread thread_;
};

}  // namespace statvtk::collect
