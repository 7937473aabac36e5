#include "collect/dial/modem_call.hpp"

#include <cctype>

namespace statvtk::collect {

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
