#include "sim/modem.hpp"

#include <algorithm>
#include <cctype>

namespace statvtk::sim {

namespace {
std::string Result(const std::string& text) { return "\r\n" + text + "\r\n"; }
}  // namespace

void Modem::FromTerminal(std::uint8_t b, Clock::time_point now, std::vector<std::uint8_t>& toInstrument,
                         std::string& out) {
  switch (state_) {
    case State::Online: {
      if (b == '+') {
        if (plus_ == 0) plus_ = (now - lastRx_ >= std::chrono::milliseconds(opt_.guardMs)) ? 1 : 0;
        else if (plus_ < 3) ++plus_;
        else plus_ = 0;
        if (plus_ == 3) escapeAt_ = now + std::chrono::milliseconds(opt_.guardMs);
      } else {
        plus_ = 0;
      }
      lastRx_ = now;
      toInstrument.push_back(b);
      return;
    }
    case State::Dialing:  // any key aborts the call
      state_ = State::Command;
      out += Result("NO CARRIER");
      return;
    case State::Command:
    case State::OnlineCommand: break;
  }
  if (echo_) out += static_cast<char>(b);
  if (b == '\n') return;
  if (b == '\r') {
    const std::string line = line_;
    line_.clear();
    Line(line, now, out);
    return;
  }
  if (b == 8 || b == 127) {
    if (!line_.empty()) line_.pop_back();
    return;
  }
  if (line_.size() < 80) line_ += static_cast<char>(b);
}

void Modem::Line(const std::string& raw, Clock::time_point now, std::string& out) {
  std::string u;
  for (char c : raw)
    if (c != ' ') u += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (u.size() < 2 || u.compare(0, 2, "AT") != 0) return;  // not a command: ignored
  const std::string cmd = u.substr(2);
  if (!cmd.empty() && cmd[0] == 'D') {
    if (state_ == State::OnlineCommand) {
      out += Result("ERROR");
      return;
    }
    std::string number = cmd.substr(1);
    if (!number.empty() && (number[0] == 'T' || number[0] == 'P')) number.erase(0, 1);
    Dial(number, now);
    return;
  }
  if (cmd == "H" || cmd == "H0") {
    state_ = State::Command;
    out += Result("OK");
    return;
  }
  if (cmd == "O" || cmd == "O0") {
    if (state_ != State::OnlineCommand) {
      out += Result("NO CARRIER");
      return;
    }
    state_ = State::Online, plus_ = 0, lastRx_ = now;
    out += Result("CONNECT " + std::to_string(opt_.connectBaud));
    return;
  }
  if (cmd.find("E0") != std::string::npos) echo_ = false;
  if (cmd.find("E1") != std::string::npos) echo_ = true;
  if (cmd == "Z") echo_ = true, state_ = State::Command;
  out += Result("OK");
}

void Modem::Dial(const std::string& number, Clock::time_point now) {
  const std::uint32_t n = ++calls_;
  const auto ms = [](std::uint32_t v) { return std::chrono::milliseconds(v); };
  state_ = State::Dialing;
  if (plan_ && !number.empty()) {
    DialAnswer a = plan_(number);
    if (a.outcome == "CONNECT") a.outcome += " " + std::to_string(opt_.connectBaud);
    outcome_ = std::move(a.outcome), dialAt_ = now + ms(a.delayMs);
  } else if (number.empty()) {
    outcome_ = "NO CARRIER", dialAt_ = now + ms(opt_.dialDelayMs);
  } else if (n <= opt_.busyCalls) {
    outcome_ = "BUSY", dialAt_ = now + ms(opt_.dialDelayMs);
  } else if (n <= opt_.busyCalls + opt_.noAnswerCalls) {
    outcome_ = "NO ANSWER", dialAt_ = now + ms(opt_.ringMs);
  } else if (n <= opt_.busyCalls + opt_.noAnswerCalls + opt_.noCarrierCalls) {
    outcome_ = "NO CARRIER", dialAt_ = now + ms(opt_.ringMs);
  } else {
    outcome_ = "CONNECT " + std::to_string(opt_.connectBaud), dialAt_ = now + ms(opt_.dialDelayMs);
  }
}

void Modem::Tick(Clock::time_point now, std::string& out) {
  if (state_ == State::Dialing && now >= dialAt_) {
    out += Result(outcome_);
    if (outcome_.compare(0, 7, "CONNECT") == 0) {
      state_ = State::Online, plus_ = 0, lastRx_ = now;
    } else {
      state_ = State::Command;
    }
  }
  if (state_ == State::Online && plus_ == 3 && now >= escapeAt_) {
    state_ = State::OnlineCommand, plus_ = 0;
    out += Result("OK");
  }
}

std::optional<Modem::Clock::time_point> Modem::NextDeadline() const {
  if (state_ == State::Dialing) return dialAt_;
  if (state_ == State::Online && plus_ == 3) return escapeAt_;
  return std::nullopt;
}

void Modem::DropCarrier(std::string& out) {
  if (state_ != State::Online && state_ != State::OnlineCommand) return;
  state_ = State::Command, plus_ = 0;
  out += Result("NO CARRIER");
}

void Modem::Detach() {
  state_ = State::Command, echo_ = true, plus_ = 0;
  line_.clear();
}

}  // namespace statvtk::sim
