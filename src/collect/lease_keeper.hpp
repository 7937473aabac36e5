// The shared lines' leases of one `run`, kept by one thread: the collector is
// registered in the store, then every LeaseTtl/3 seen, its leases renewed and
// free ones taken up to its share of the work (ceil(shared lines / live
// collectors)); beyond it only leases whose holder stopped renewing (it died),
// so a dead collector's lines are taken over at once. A holder above its
// share while another collector has room gives one line up at the end of its
// read. A lease found lost stops the line's read at the next block.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "collect/collect_pass.hpp"
#include "collect/line_pool.hpp"
#include "collect/store_writer.hpp"

namespace statvtk::collect {

class LeaseKeeper {
 public:
  LeaseKeeper(StoreWriter& writer, const CollectorConfig& collector, PassLog log);
  ~LeaseKeeper();  // gives up the leases held: Stop() and the pool's reads are to end first
  LeaseKeeper(const LeaseKeeper&) = delete;
  LeaseKeeper& operator=(const LeaseKeeper&) = delete;

  // Registers the collector and keeps the leases of `pool`'s shared lines.
  void Start(LinePool& pool);
  void Stop();  // the thread ends; the leases stay held until the destructor

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

  StoreWriter& writer_;
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

// One lease kept renewed every LeaseTtl/3 while a read of `once` goes on.
class LeaseRenewal {
 public:
  LeaseRenewal(StoreWriter& writer, const std::string& line, const LeaseFence& lease, const PassLog& log);
  ~LeaseRenewal();
  LeaseRenewal(const LeaseRenewal&) = delete;
  LeaseRenewal& operator=(const LeaseRenewal&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable_any wake_;
  std::jthread thread_;
};

}  // namespace statvtk::collect
