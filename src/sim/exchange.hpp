// A small telephone exchange: sites reached by phone number, each an
// instrument behind the far modem, some of them busy for their first calls,
// one that never answers, one whose first connected call drops after a
// number of replies (the next call goes through).
// The modem ports of the simulator dial through it; a site talks on one call
// at a time (a second caller hears BUSY). Thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.hpp"
#include "sim/instrument.hpp"
#include "sim/modem.hpp"

namespace statvtk::sim {

struct SiteOptions {
  std::string number;
  InstrumentOptions instrument;
  std::uint32_t busyCalls = 0;             // the first K calls hear BUSY
  bool neverAnswers = false;               // every call rings out: NO ANSWER
  std::optional<std::uint32_t> dropAfter;  // the first connected call drops after N replies
  std::optional<std::uint32_t> dropEach;   // every connected call drops after N replies (a poor line)
};

// "NUMBER=MODEL@ADDR[,busy=K][,no-answer][,drop=N][,drop-each=N]" on top of `base`.
Result<SiteOptions> ParseSite(std::string_view text, const InstrumentOptions& base);

class Exchange {
 public:
  // `timing`: the delays of dialling (dialDelayMs to CONNECT or BUSY, ringMs before NO ANSWER).
  Exchange(std::vector<SiteOptions> sites, ModemOptions timing);

  // A dial of `number`: the answer, and the site now held by the call when it connects (else -1).
  struct Placed {
    DialAnswer answer;
    int site = -1;
    std::optional<std::uint32_t> dropAfter;  // this call loses the carrier after N replies
  };
  Placed Dial(const std::string& number);
  void Release(int site);  // the call that held it ended

  std::size_t Sites() const { return sites_.size(); }
  const SiteOptions& Site(int i) const { return sites_[static_cast<std::size_t>(i)].opt; }
  Instrument& InstrumentOf(int i) { return *sites_[static_cast<std::size_t>(i)].instrument; }
  std::uint32_t CallsTo(int i) const;

 private:
  struct Entry {
    SiteOptions opt;
    std::unique_ptr<Instrument> instrument;
    std::uint32_t calls = 0, connected = 0;
    bool held = false;
  };
  std::vector<Entry> sites_;
  ModemOptions timing_;
  mutable std::mutex mu_;
};

}  // namespace statvtk::sim
