#include "collect/dial/call_in_lines.hpp"

#include <algorithm>
#include <optional>
#include <thread>

#include "collect/run/line_pool.hpp"

namespace statvtk::collect {

namespace {

// The incoming lines of `listen` with their instruments.
LineInstruments LinesOf(const Config& cfg, const ListenConfig& listen) {
  return LinesWith(
      cfg, [&](const LineConfig& l) { return l.mode == LineMode::Incoming && cfg.Listener(l.listen) == &listen; },
      true);
}

bool SameListen(const Config& a, const ListenConfig& x, const Config& b, const ListenConfig& y) {
  return x.name == y.name && x.host == y.host && x.port == y.port && SameLines(LinesOf(a, x), LinesOf(b, y));
}

}  // namespace

struct CallInLines::Runner {
  std::shared_ptr<const Config> cfg;
  const ListenConfig* listen = nullptr;  // of `cfg`
  std::atomic<bool> stop{false};
  std::atomic<bool> done{false};
  bool opened = false;  // listening already (the start)
  std::optional<IncomingContext> ctx;
  std::unique_ptr<IncomingLines> lines;  // under CallInLines::mu_ once the thread runs
  std::shared_ptr<Runner> previous;      // the listener's former self: ends before this one listens
  std::jthread thread;                   // last: joined before the rest goes
};

CallInLines::~CallInLines() {
  Stop();
  Join();
}

std::shared_ptr<CallInLines::Runner> CallInLines::Make(std::shared_ptr<const Config> cfg, const ListenConfig& listen) {
  auto r = std::make_shared<Runner>();
  r->cfg = std::move(cfg);
  r->listen = &listen;
  r->ctx.emplace(IncomingContext{*r->cfg, base_.home, base_.writer, base_.log, r->stop, base_.fleet, base_.idWait,
                                 base_.perAddress, &listen, &readStop_});
  return r;
}

// A runner's thread: its former self ended, it listens (unless it already
// does) and serves its lines until its stop; then it lets the port go.
void CallInLines::Run(Runner& r) {
  if (r.previous) {
    r.previous->thread.join();
    r.previous.reset();
  }
  if (!r.stop.load() && !r.opened) {
    auto opened = IncomingLines::Open(*r.ctx);
    const std::scoped_lock lock(mu_);
    if (!opened) base_.log("statvtk-collect: " + opened.error().reason);
    else r.lines = std::move(*opened);
  }
  if (r.lines && !r.stop.load()) r.lines->Serve();
  {
    const std::scoped_lock lock(mu_);
    r.lines.reset();
  }
  r.done.store(true);
}

Result<void> CallInLines::Open(std::shared_ptr<const Config> cfg) {
  std::vector<std::shared_ptr<Runner>> opened;
  for (const auto& listen : cfg->listens) {
    auto r = Make(cfg, listen);
    auto lines = IncomingLines::Open(*r->ctx);
    if (!lines) return lines.error();
    r->lines = std::move(*lines);
    r->opened = true;
    opened.push_back(std::move(r));
  }
  const std::scoped_lock lock(mu_);
  for (auto& r : opened) running_.push_back(std::move(r));
  return {};
}

void CallInLines::Serve() {
  const std::scoped_lock lock(mu_);
  for (auto& r : running_)
    if (!r->thread.joinable()) r->thread = std::jthread([this, raw = r.get()] { Run(*raw); });
}

CallInLines::Changes CallInLines::Apply(std::shared_ptr<const Config> cfg) {
  Changes changes;
  const std::scoped_lock lock(mu_);
  std::erase_if(retired_, [](const auto& r) { return r->done.load(); });
  std::vector<std::shared_ptr<Runner>> next;
  for (const auto& listen : cfg->listens) {
    const auto old =
        std::find_if(running_.begin(), running_.end(), [&](const auto& r) { return r->listen->name == listen.name; });
    if (old != running_.end() && SameListen(*(*old)->cfg, *(*old)->listen, *cfg, listen)) {
      if ((*old)->lines) (*old)->lines->Allow(*cfg);  // AllowFrom= from the next call on
      next.push_back(*old);
      running_.erase(old);
      continue;
    }
    auto r = Make(cfg, listen);
    if (old != running_.end()) {
      (*old)->stop.store(true);
      r->previous = *old;
      running_.erase(old);
      changes.changed.push_back(listen.name);
    } else {
      changes.added.push_back(listen.name);
    }
    r->thread = std::jthread([this, raw = r.get()] { Run(*raw); });
    next.push_back(std::move(r));
  }
  for (auto& r : running_) {  // the listeners gone from the configuration
    r->stop.store(true);
    changes.removed.push_back(r->listen->name);
    retired_.push_back(std::move(r));
  }
  running_ = std::move(next);
  return changes;
}

std::string CallInLines::Describe(const std::string& line) const {
  const std::scoped_lock lock(mu_);
  for (const auto& r : running_)
    if (r->lines)
      if (auto text = r->lines->Describe(line); !text.empty()) return text;
  return {};
}

void CallInLines::Stop() {
  const std::scoped_lock lock(mu_);
  for (auto* list : {&running_, &retired_})
    for (auto& r : *list) r->stop.store(true);
}

void CallInLines::Join() {
  std::vector<std::shared_ptr<Runner>> all;
  {
    const std::scoped_lock lock(mu_);
    all = std::move(running_);
    for (auto& r : retired_) all.push_back(std::move(r));
    retired_.clear();
  }
  all.clear();  // each joined (a runner's thread takes mu_ at its end)
}

}  // namespace statvtk::collect
