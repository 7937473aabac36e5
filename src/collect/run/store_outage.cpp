#include "collect/run/store_outage.hpp"

#include "store/periods.hpp"

namespace statvtk::collect {

namespace {

std::string Minutes(StoreOutage::Clock::duration d) {
  const auto s = std::chrono::duration_cast<std::chrono::seconds>(d).count();
  return s < 60 ? std::to_string(s) + " с" : std::to_string(s / 60) + " мин";
}

}  // namespace

std::optional<std::string> StoreOutage::Failed(const std::string& reason) {
  const std::scoped_lock lock(mutex_);
  const auto now = Clock::now();
  ++failures_;
  if (!down_) {
    down_ = true;
    since_ = said_ = now;
    sinceUtc_ = store::UtcNow();
    firstReason_ = reason;
    unsaid_ = 0;
    return "база данных недоступна: " + reason + " (приборы ждут паузу повтора; следующее сообщение через " +
           Minutes(every_) + ", если не ответит)";
  }
  if (now - said_ < every_) {
    ++unsaid_;
    return std::nullopt;
  }
  said_ = now;
  const auto more = std::exchange(unsaid_, 0);
  return "база данных недоступна " + Minutes(now - since_) + ": " + reason +
         " (ещё отказов: " + std::to_string(more + 1) + ")";
}

std::optional<std::string> StoreOutage::Answered() {
  const std::scoped_lock lock(mutex_);
  if (!down_) return std::nullopt;
  down_ = false;
  const std::string text = "база данных снова отвечает после " + Minutes(Clock::now() - since_) + " (" +
                           std::to_string(failures_) + " отказов с " + sinceUtc_ + ": " + firstReason_ + ")";
  store::FindingRow f;
  f.kind = store::FindingKind::StoreDown;
  f.period = sinceUtc_;
  f.detail = text;
  f.foundUtc = store::UtcNow();
  finding_ = std::move(f);
  failures_ = 0;
  return text;
}

bool StoreOutage::Down() const {
  const std::scoped_lock lock(mutex_);
  return down_;
}

void StoreOutage::Unfinished(std::int64_t readId, store::ReadFinish finish) {
  const std::scoped_lock lock(mutex_);
  unfinished_.emplace_back(readId, std::move(finish));
}

Result<void> StoreOutage::Settle(store::RecordStore& s) {
  const std::scoped_lock lock(mutex_);
  while (!unfinished_.empty()) {
    if (auto r = s.FinishRead(unfinished_.back().first, unfinished_.back().second); !r) return r;
    unfinished_.pop_back();
  }
  if (finding_) {
    if (auto r = s.AddFinding(*finding_); !r) return r.error();
    finding_.reset();
  }
  return {};
}

}  // namespace statvtk::collect
