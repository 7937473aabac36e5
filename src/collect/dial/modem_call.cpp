#include "collect/dial/modem_call.hpp"

#include <cctype>
#include <cstdio>

#include "store/periods.hpp"

namespace statvtk::collect {

std::string UtcMillis(std::chrono::system_clock::time_point t) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
  std::string s = store::UtcText(static_cast<std::time_t>(ms / 1000));  // "...T01:02:03Z"
  char frac[8];
  std::snprintf(frac, sizeof frac, ".%03dZ", static_cast<int>(ms % 1000));
  s.pop_back();
  return s + frac;
}

std::optional<std::int64_t> UtcMillisOf(const std::string& text) {
  const std::size_t dot = text.find('.');
  if (dot == std::string::npos) {
    const auto t = store::ParseUtc(text);
    if (!t) return std::nullopt;
    return static_cast<std::int64_t>(*t) * 1000;
  }
  const auto t = store::ParseUtc(text.substr(0, dot) + "Z");
  if (!t || text.size() != dot + 5 || text.back() != 'Z') return std::nullopt;
  int ms = 0;
  for (std::size_t i = dot + 1; i < dot + 4; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    ms = ms * 10 + (text[i] - '0');
  }
  return static_cast<std::int64_t>(*t) * 1000 + ms;
}

std::string OutcomeWord(DialOutcome outcome, const std::string& text) {
  switch (outcome) {
    case DialOutcome::Connect: return "CONNECT";
    case DialOutcome::Busy: return "BUSY";
    case DialOutcome::NoAnswer: return "NO ANSWER";
    case DialOutcome::NoCarrier: return "NO CARRIER";
    case DialOutcome::NoDialtone: return "NO DIALTONE";
    case DialOutcome::Error: return "ERROR";
    case DialOutcome::Silent: return "TIMEOUT";
    case DialOutcome::Other: break;
  }
  // Another answer: its printable upper-case text, kept short.
  std::string word;
  for (char c : text)
    if (std::isprint(static_cast<unsigned char>(c)) && word.size() < 40)
      word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return word.empty() ? "OTHER" : word;
}

void CallTap::On(const ReadEvent& e) {
  const auto now = Clock::now();
  if (const auto* f = std::get_if<event::LineFailed>(&e)) {
    if (f->at == FailedAt::Open) {
      openFailed_ = true;
      trouble_ = f->cause.reason;
    }
    return;
  }
  const auto* m = std::get_if<event::Modem>(&e);
  if (!m) return;
  switch (m->note) {
    case ModemNote::NoModem:
      if (!dialed_) {
        noModem_ = true;
        trouble_ = "модем не отвечает на AT";
      } else {
        outcome_ = "TIMEOUT";
      }
      break;
    case ModemNote::Attempt: dialed_ = now; break;
    case ModemNote::Connected:
      connected_ = now;
      outcome_ = "CONNECT";
      break;
    case ModemNote::Answer: outcome_ = OutcomeWord(m->outcome, m->text); break;
    case ModemNote::HangUp:
      if (!hangUp_) hangUp_ = now;
      break;
    case ModemNote::Reply:
      if (connected_ && hangUp_ && !hungUp_ && m->text.find("OK") != std::string::npos) hungUp_ = now;
      break;
    default: break;
  }
}

std::string CallTap::Outcome(bool readWhole) const {
  if (Dropped(readWhole)) return "NO CARRIER";
  if (outcome_.empty()) return dialed_ ? "TIMEOUT" : "";
  return outcome_;
}

CallTap::Clock::time_point CallTap::EndedAt(Clock::time_point otherwise) const {
  if (hungUp_) return *hungUp_;
  if (connected_ && hangUp_) return *hangUp_;
  return otherwise;
}

double CallTap::ConnectedSeconds(Clock::time_point otherwise) const {
  if (!connected_) return 0;
  return std::chrono::duration<double>(EndedAt(otherwise) - *connected_).count();
}

}  // namespace statvtk::collect
