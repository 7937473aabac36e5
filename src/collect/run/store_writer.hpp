// The one writer of the store: every line thread hands its rows through here.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "collect/run/store_outage.hpp"
#include "store/record_store.hpp"

namespace statvtk::collect {

class MqttOutbox;

class StoreWriter {
 public:
  explicit StoreWriter(store::RecordStore& s) : store_(s) {}
  // Where each read's MQTT messages go (in its transaction); null: none.
  void SetOutbox(MqttOutbox* outbox) { outbox_ = outbox; }
  MqttOutbox* Outbox() const { return outbox_; }
  // The UTC day the read headers were last trimmed (read and set inside With).
  std::string headersTrimmedOn;
  // The store's failures as the lines see them (thread-safe on its own).
  StoreOutage& Outage() { return outage_; }
  // Runs `f(store)` alone: no other line writes meanwhile.
  template <class F>
  auto With(F&& f) {
    std::lock_guard lock(mutex_);
    return std::forward<F>(f)(store_);
  }

  // A SQLite store's file, watched from now on: a file deleted (or replaced)
  // under a running collector would take every later read with it.
  void Watch(std::filesystem::path file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return;
    file_ = std::move(file);
    device_ = st.st_dev;
    inode_ = st.st_ino;
  }
  // Why nothing may be written any more (the watched file is gone); none while it is there.
  std::optional<std::string> Lost() const {
    if (file_.empty()) return std::nullopt;
    struct stat st {};
    if (::stat(file_.c_str(), &st) != 0)
      return "файл хранилища " + file_.string() + " удалён во время работы: записанное в него пропадёт";
    if (st.st_dev != device_ || st.st_ino != inode_)
      return "файл хранилища " + file_.string() + " заменён другим во время работы";
    return std::nullopt;
  }

 private:
  std::mutex mutex_;
  store::RecordStore& store_;
  MqttOutbox* outbox_ = nullptr;
  std::filesystem::path file_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  StoreOutage outage_;
};

}  // namespace statvtk::collect
