// The one writer of the store: every line thread hands its rows through here.
#pragma once

#include <mutex>
#include <utility>

#include "store/record_store.hpp"

namespace statvtk::collect {

class StoreWriter {
 public:
  explicit StoreWriter(store::RecordStore& s) : store_(s) {}
  // Runs `f(store)` alone: no other line writes meanwhile.
  template <class F>
  auto With(F&& f) {
    std::lock_guard lock(mutex_);
    return std::forward<F>(f)(store_);
  }

 private:
  std::mutex mutex_;
  store::RecordStore& store_;
};

}  // namespace statvtk::collect
