#include "store/store_readers.hpp"

#include <algorithm>

namespace statvtk::store {

Result<std::unique_ptr<StoreReaders>> StoreReaders::Open(std::string_view database, const std::filesystem::path& home,
                                                         std::size_t count, StoreOptions options) {
  options.readOnly = true;
  auto readers = std::make_unique<StoreReaders>();
  for (std::size_t i = 0; i < std::max<std::size_t>(count, 1); ++i) {
    auto s = OpenRecordStore(database, home, options);
    if (!s) return s.error();
    readers->free_.push_back(std::move(*s));
  }
  return readers;
}

std::unique_ptr<StoreReaders> StoreReaders::Of(std::unique_ptr<RecordStore> store) {
  auto readers = std::make_unique<StoreReaders>();
  readers->free_.push_back(std::move(store));
  return readers;
}

StoreReaders::Lease StoreReaders::Take() {
  std::unique_lock lock(mutex_);
  returned_.wait(lock, [&] { return !free_.empty(); });
  auto store = std::move(free_.back());
  free_.pop_back();
  return Lease(*this, std::move(store));
}

void StoreReaders::Give(std::unique_ptr<RecordStore> store) {
  {
    const std::scoped_lock lock(mutex_);
    free_.push_back(std::move(store));
  }
  returned_.notify_one();
}

StoreReaders::Lease::~Lease() {
  if (store_) readers_->Give(std::move(store_));
}

}  // namespace statvtk::store
