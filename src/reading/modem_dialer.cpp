// Hayes dialogue of the reading job: AT (and the init string), ATDT/ATDP with
// its attempts and pauses, and the +++ / ATH0 hang-up.
#include "reading/modem_dialer.hpp"

#include <algorithm>
#include <cctype>
#include <thread>

namespace statvtk {
namespace {

constexpr int kInitSteps = 25;        // 2.5 s for the modem to answer AT
constexpr int kAnswerSteps = 10;      // steps in a second of the dial's connect wait
constexpr int kAfterErrorSteps = 20;  // 2 s after a failed call
constexpr int kRetrySteps = 52;       // 5.2 s before the next attempt
constexpr int kGuardSteps = 5;        // 0.5 s of silence around "+++" and after ATH0
constexpr int kEscapeSteps = 15;      // 1.5 s for the modem to leave data mode

std::string Upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  const auto b = std::find_if_not(s.begin(), s.end(), blank);
  const auto e = std::find_if_not(s.rbegin(), s.rend(), blank).base();
  return b < e ? std::string(b, e) : std::string();
}

// The reply without the modem's echo of our commands: a modem with echo on
// sends "ATDT..." back first, and its CONNECT may come in the same read.
// Nothing left means no answer yet.
std::string WithoutEcho(const std::string& reply) {
  std::string rest, line;
  const auto take = [&] {
    const std::string t = Trim(line);
    if (!t.empty() && t.rfind("AT", 0) != 0) rest += (rest.empty() ? "" : "\r\n") + t;
    line.clear();
  };
  for (char c : reply) {
    if (c == '\r' || c == '\n') take();
    else line.push_back(c);
  }
  take();
  return rest;
}

}  // namespace

DialOutcome DialOutcomeOf(const std::string& reply) {
  const auto has = [&reply](const char* word) { return reply.find(word) != std::string::npos; };
  if (reply.empty()) return DialOutcome::Silent;
  if (has("CONNECT")) return DialOutcome::Connect;
  if (has("BUSY")) return DialOutcome::Busy;
  if (has("NO ANSWER")) return DialOutcome::NoAnswer;
  if (has("NO CARRIER")) return DialOutcome::NoCarrier;
  if (has("NO DIALTONE") || has("NO DIAL TONE")) return DialOutcome::NoDialtone;
  if (has("ERROR")) return DialOutcome::Error;
  return DialOutcome::Other;
}

ModemDialer::ModemDialer(Tmod07& link, ReadEvents& events, const std::atomic<bool>& stop, ModemDialJob job,
                         std::chrono::milliseconds step)
    : link_(link), events_(events), stop_(stop), job_(std::move(job)), step_(step) {}

bool ModemDialer::Wait(int steps) {
  for (int i = 0; i < steps; ++i) {
    if (stop_.load()) return false;
    std::this_thread::sleep_for(step_);
  }
  return !stop_.load();
}

bool ModemDialer::Aborted() {
  Tell(ModemNote::Stopped);
  job_.attempts = 0;
  EndCall();
  return false;
}

bool ModemDialer::AskForOk(const std::string& command) {
  Tell(ModemNote::Command, command);
  link_.SendLine(command, 1);
  if (!Wait(kInitSteps)) return Aborted();
  const std::string reply = Upper(link_.ReadLine());
  if (reply.find("OK") == std::string::npos) {
    Tell(ModemNote::NoModem);
    failure_ = "модем не отвечает";
    return false;
  }
  Tell(ModemNote::Reply, Trim(reply));
  return true;
}

// The answer to a dial, awaited until `deadline` in steps (10 a second),
// read as it comes; the stop is looked at every step. The echo's read leaves
// the input alone: an answer close behind it must not be cleared with it
// (whatever follows the answer goes with the next command's clearing).
std::string ModemDialer::AwaitAnswer(std::chrono::steady_clock::time_point deadline) {
  std::string reply;
  while (reply.empty() && !stop_.load()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    const auto wait = std::min<std::chrono::milliseconds>(left, step_);
    reply = WithoutEcho(Upper(link_.ReadLine(wait, Tmod07::LineRest::Keep)));
  }
  return reply;
}

bool ModemDialer::ModemConnect() {
  if (!job_.modem) return true;
  Tell(ModemNote::Init);
  if (!AskForOk("AT")) return false;
  if (!job_.initString.empty() && !AskForOk(job_.initString)) return false;
  if (job_.phoneNo.empty()) {
    Tell(ModemNote::NoPhone);
    failure_ = "нет номера телефона";
    return false;
  }
  const int m = job_.attempts;
  if (m == 0) return true;
  const std::string command = (job_.pulse ? "ATDP" : "ATDT") + job_.phoneNo;
  for (int i = 1; i <= m; ++i) {
    Tell(ModemNote::Attempt, {}, i);
    Tell(ModemNote::Command, command, i);
    link_.SendLine(command, 1);
    // The answer is awaited for ConnectWait seconds in all.
    const std::string reply =
        AwaitAnswer(std::chrono::steady_clock::now() + step_ * (kAnswerSteps * job_.connectWaitS));
    if (stop_.load()) return Aborted();
    const DialOutcome outcome = DialOutcomeOf(reply);
    dials_.push_back(outcome);
    failure_ = reply.empty() ? "модем не отвечает" : Trim(reply);
    if (reply.empty()) {
      Tell(ModemNote::NoModem, {}, i, DialOutcome::Silent);
      EndCall();
      if (i == m) break;
    }
    if (outcome == DialOutcome::Connect) {
      Tell(ModemNote::Connected, Trim(reply), i, outcome);
      return true;
    }
    Tell(ModemNote::Answer, Trim(reply), i, outcome);
    if (!Wait(kAfterErrorSteps)) return Aborted();
    EndCall();
    if (i == m) break;
    Tell(ModemNote::Pause, {}, i, outcome);
    if (!Wait(kRetrySteps)) return Aborted();
  }
  Tell(ModemNote::GaveUp, job_.phoneNo, m, dials_.empty() ? DialOutcome::Other : dials_.back());
  return false;
}

void ModemDialer::EndCall() {
  Tell(ModemNote::HangUp, "ATH0");
  link_.SendLine("ATH0", 1);
  if (Wait(kGuardSteps)) Tell(ModemNote::Reply, Trim(link_.ReadLine()));
}

void ModemDialer::ModemHangUp() {
  if (!job_.modem) return;
  Tell(ModemNote::HangUp, "+++ATH0");
  if (Wait(kGuardSteps)) {
    link_.SendLine("+++", 0);
    Wait(kEscapeSteps);
  }
  link_.SendLine("ATH0", 1);
  if (Wait(kGuardSteps)) Tell(ModemNote::Reply, Trim(link_.ReadLine()));
}

}  // namespace statvtk
