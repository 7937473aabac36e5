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

const std::string kNoModem = "!!!ОШИБКА: Модем не отвечает.";

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

ModemDialJob ModemDialJobFrom(const ConnectionSettings& s) {
  ModemDialJob job;
  job.phoneNo = s.phoneNo;
  job.pulse = !s.tone;
  job.attempts = std::clamp(s.reconnects, 0, 255);
  job.connectWaitS = std::clamp(s.connectWaitS, 1, 255);
  job.initString = s.initString;
  job.modem = s.connectMode == ConnectMode::Modem;
  return job;
}

ModemDialer::ModemDialer(Tmod07& link, ProgressObserver& log, const std::atomic<bool>& stop, ModemDialJob job,
                         std::chrono::milliseconds step)
    : link_(link), log_(log), stop_(stop), job_(std::move(job)), step_(step) {}

bool ModemDialer::Wait(int steps) {
  for (int i = 0; i < steps; ++i) {
    if (stop_.load()) return false;
    std::this_thread::sleep_for(step_);
  }
  return !stop_.load();
}

bool ModemDialer::Aborted() {
  Log("\n!!!Прервано пользователем\n");
  job_.attempts = 0;
  ModemHangUp();
  return false;
}

std::string ModemDialer::ReadReply() { return Upper(link_.ReadLine()); }

bool ModemDialer::AskForOk(const std::string& command) {
  Log(">>>" + command);
  link_.SendLine(command, 1);
  if (!Wait(kInitSteps)) return Aborted();
  const std::string reply = ReadReply();
  if (reply.find("OK") == std::string::npos) {
    Log(kNoModem);
    return false;
  }
  Log(Trim(reply));
  return true;
}

bool ModemDialer::ModemConnect() {
  if (!job_.modem) return true;
  Log("Инициализация модема...");
  if (!AskForOk("AT")) return false;
  if (!job_.initString.empty() && !AskForOk(job_.initString)) return false;
  if (job_.phoneNo.empty()) {
    Log("!!!ОШИБКА: Отсутствует номер телефона.");
    return false;
  }
  const int m = job_.attempts;
  if (m == 0) return true;
  const std::string command = (job_.pulse ? "ATDP" : "ATDT") + job_.phoneNo;
  for (int i = 1; i <= m; ++i) {
    Log(" \n-=[Попытка дозвона " + std::to_string(i) + " из " + std::to_string(m) + "]=-\n");
    Log(">>>" + command);
    link_.SendLine(command, 1);
    // The answer is awaited for ConnectWait seconds in all (10 steps a
    // second), reading as it comes; the stop is looked at every step.
    std::string reply;
    const auto deadline = std::chrono::steady_clock::now() + step_ * (kAnswerSteps * job_.connectWaitS);
    while (reply.empty()) {
      if (stop_.load()) return Aborted();
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      reply = WithoutEcho(Upper(link_.ReadLine(std::min<std::chrono::milliseconds>(left, step_))));
    }
    if (stop_.load()) return Aborted();
    if (reply.empty()) {
      Log(kNoModem);
      ModemHangUp();
      if (i == m) break;
    }
    if (reply.find("CONNECT") != std::string::npos) {
      Log(Trim(reply));
      return true;
    }
    Log("!!!ОШИБКА: " + Trim(reply));
    if (!Wait(kAfterErrorSteps)) return Aborted();
    ModemHangUp();
    if (i == m) break;
    Log(">>>Пауза 5 сек перед повтором...");
    if (!Wait(kRetrySteps)) return Aborted();
  }
  Log("\n!!!ОШИБКА: Невозможно дозвониться по номеру " + job_.phoneNo + "\n");
  return false;
}

void ModemDialer::ModemHangUp() {
  if (!job_.modem) return;
  Log(">>>+++ATH0");
  if (Wait(kGuardSteps)) {
    link_.SendLine("+++", 0);
    Wait(kEscapeSteps);
  }
  link_.SendLine("ATH0", 1);
  if (Wait(kGuardSteps)) Log(Trim(link_.ReadLine()));
}

}  // namespace statvtk
