// One client's conversation with the simulated line: the modem (optional),
// request assembly and the instruments' replies. The server makes one for
// each connection or pseudo-terminal session.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/descriptor_io.hpp"
#include "sim/request_assembler.hpp"
#include "sim/server.hpp"
#include "sim/sim_channel.hpp"

namespace statvtk::sim {

// One client's conversation: modem (optional), request assembly, replies.
class Session {
 public:
  // `speedFd`: the pty master whose client speed decides what an instrument
  // with a line speed hears; -1 on TCP.
  Session(const std::vector<Instrument*>& line, const ServerOptions& o, const std::atomic<bool>& stop, int fd,
          int speedFd = -1)
      : line_(line),
        inst_(line.empty() ? nullptr : line.front()),
        opt_(o),
        stop_(stop),
        fd_(fd),
        speedFd_(speedFd),
        assembler_(inst_ ? inst_->Options().address : 1, inst_ ? inst_->Options().longAddress : kDefaultLongAddress) {
    if (o.modem) {
      ModemOptions mo = o.modemOptions;
      if (o.baud) mo.connectBaud = o.baud;
      modem_ = std::make_unique<Modem>(mo);
      if (o.exchange)
        modem_->SetDialPlan([this](const std::string& number) {
          Exchange::Placed placed = opt_.exchange->Dial(number);
          dialed_ = placed.site;
          dropAfter_ = placed.dropAfter;
          return placed.answer;
        });
    }
  }
  ~Session() { Release(); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  void OnBytes(std::span<const std::uint8_t> bytes, Clock::time_point now) {
    std::vector<std::uint8_t> data;
    std::string text;
    if (modem_) {
      for (auto b : bytes) modem_->FromTerminal(b, now, data, text);
      SendText(text);
      FollowCall();
    } else {
      data.assign(bytes.begin(), bytes.end());
    }
    if (data.empty() || !inst_) return;
    lastByte_ = now;
    std::vector<AssembledFrame> frames;
    std::vector<std::string> errors;
    for (auto b : data) assembler_.Push(b, frames, errors);
    for (const auto& e : errors) inst_->Log(e);
    for (const auto& f : frames) {
      // Every instrument on the line hears the frame; only the addressed one answers.
      const std::uint32_t speed = speedFd_ >= 0 ? LineSpeed(speedFd_) : 0;
      for (Instrument* inst : line_) {
        const std::uint32_t hears = inst->Options().lineSpeed;
        if (hears != 0 && speed != 0 && hears != speed) continue;  // noise at its speed: silence
        auto reply = inst->Handle(f.bytes);
        if (!reply) continue;
        SleepUntil(Clock::now() + std::chrono::milliseconds(inst->Options().latencyMs), stop_);
        if (modem_ && !modem_->Online()) break;  // the call was dropped meanwhile
        Send(*reply);
        CountReply();
        break;
      }
    }
  }

  void Tick(Clock::time_point now) {
    if (assembler_.Pending() && now - lastByte_ >= kRequestGap) {
      std::vector<std::string> errors;
      assembler_.Expire(errors);
      if (inst_)
        for (const auto& e : errors) inst_->Log(e);
    }
    if (modem_) {
      std::string text;
      modem_->Tick(now, text);
      SendText(text);
      FollowCall();
    }
  }

  // Milliseconds until the next timed event, or -1.
  int TimeoutMs(Clock::time_point now) const {
    std::optional<Clock::time_point> next;
    if (assembler_.Pending()) next = lastByte_ + kRequestGap;
    if (modem_) {
      if (auto d = modem_->NextDeadline()) next = next ? std::min(*next, *d) : *d;
    }
    if (!next) return -1;
    if (*next <= now) return 0;
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(*next - now).count();
    return static_cast<int>(std::min<long long>((us + 999) / 1000, INT_MAX));
  }

  void Detach() {
    assembler_.Reset();
    if (modem_) modem_->Detach();
    FollowCall();
  }

 private:
  // Through an exchange: a connected call talks to its site's instrument; a
  // call that ended frees the site.
  void FollowCall() {
    if (!opt_.exchange) return;
    if (modem_->GetState() == Modem::State::Command) {
      Release();
      return;
    }
    if (modem_->Online() && dialed_ >= 0 && site_ < 0) {
      site_ = dialed_;
      inst_ = &opt_.exchange->InstrumentOf(site_);
      line_ = {inst_};
      assembler_ = RequestAssembler(inst_->Options().address, inst_->Options().longAddress);
      replies_ = 0;
    }
  }
  void Release() {
    const int held = site_ >= 0 ? site_ : dialed_;
    if (held >= 0 && opt_.exchange) opt_.exchange->Release(held);
    site_ = dialed_ = -1;
    if (opt_.exchange) inst_ = nullptr, line_.clear();
  }
  // A call that drops after N replies loses the carrier here.
  void CountReply() {
    if (site_ < 0 || !dropAfter_ || ++replies_ < *dropAfter_) return;
    std::string text;
    modem_->DropCarrier(text);
    SendText(text);
    FollowCall();
  }

  void SendText(const std::string& t) {
    if (!t.empty()) Send(std::vector<std::uint8_t>(t.begin(), t.end()));
  }

  void Send(const std::vector<std::uint8_t>& bytes) {
    if (opt_.baud == 0) {
      if (!WriteAll(fd_, bytes.data(), bytes.size())) Log("the client does not take the reply");
      return;
    }
    const auto byteTime = std::chrono::nanoseconds(10'000'000'000ll / opt_.baud);
    auto t = std::max(Clock::now(), lineFree_);
    for (auto b : bytes) {
      SleepUntil(t, stop_);
      if (stop_) return;
      if (!WriteAll(fd_, &b, 1)) {
        Log("the client does not take the reply");
        return;
      }
      t += byteTime;
    }
    lineFree_ = t;
  }

  void Log(std::string_view text) {
    if (inst_) inst_->Log(text);
  }

  std::vector<Instrument*> line_;
  Instrument* inst_;  // the first on the line: the assembler's addresses and the log
  const ServerOptions& opt_;
  const std::atomic<bool>& stop_;
  int fd_;
  int speedFd_;
  RequestAssembler assembler_;
  std::unique_ptr<Modem> modem_;
  Clock::time_point lastByte_{};
  Clock::time_point lineFree_{};
  int dialed_ = -1, site_ = -1;  // the exchange's site dialled, and the one the call talks to
  std::uint32_t replies_ = 0;    // replies sent in this call
  std::optional<std::uint32_t> dropAfter_;
};

}  // namespace statvtk::sim
