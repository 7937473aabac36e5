// Read-only connections to one store for threads that read at once (the
// HTTP server's handlers, beside the collector's one writer): each Take()
// lends one connection, waiting while all are lent.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "store/record_store.hpp"

namespace statvtk::store {

class StoreReaders {
 public:
  // `count` connections opened with options.readOnly set.
  static Result<std::unique_ptr<StoreReaders>> Open(std::string_view database, const std::filesystem::path& home,
                                                    std::size_t count, StoreOptions options = {});

  // A pool of connections opened elsewhere (one: requests take turns).
  static std::unique_ptr<StoreReaders> Of(std::unique_ptr<RecordStore> store);

  // One connection, given back when the lease ends.
  class Lease {
   public:
    Lease(StoreReaders& readers, std::unique_ptr<RecordStore> store) : readers_(&readers), store_(std::move(store)) {}
    Lease(Lease&&) = default;
    Lease& operator=(Lease&&) = delete;
    ~Lease();
    RecordStore& operator*() const { return *store_; }
    RecordStore* operator->() const { return store_.get(); }

   private:
    StoreReaders* readers_;
    std::unique_ptr<RecordStore> store_;
  };
  Lease Take();

 private:
  void Give(std::unique_ptr<RecordStore> store);

  std::mutex mutex_;
  std::condition_variable returned_;
  std::vector<std::unique_ptr<RecordStore>> free_;
};

}  // namespace statvtk::store
