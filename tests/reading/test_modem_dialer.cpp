// The modem dialogue against a fake Hayes modem on a pseudo-terminal: every
// logged line, the commands the modem saw, and the abort during a pause.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/blocked_thread.hpp"
#include "support/wait_until.hpp"
#include "front/part_texts.hpp"
#include "link/tmod07.hpp"
#include "reading/modem_dialer.hpp"
#include "support/fake_modem.hpp"
#include "support/memory_channel.hpp"
#include "support/pty_pair.hpp"

namespace statvtk {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::FakeModem;
using testing::PtyPair;
using Dial = FakeModem::Dial;
using Lines = std::vector<std::string>;

constexpr std::chrono::milliseconds kFastStep{2};
// The dialogues wait for the fake modem's replies in windows of a few steps:
// steps long enough that a loaded machine (sanitizers, parallel tests) still
// answers inside them.
constexpr std::chrono::milliseconds kDialogueStep{20};

// The dialogue's steps as the log shows them.
class LogRecorder : public ReadEvents {
 public:
  void On(const ReadEvent& e) override {
    if (const auto* m = std::get_if<event::Modem>(&e)) LogLine(ModemText(*m));
  }
  void LogLine(const std::string& text) {
    std::lock_guard lock(m_);
    lines_.push_back(text);
    times_.push_back(Clock::now());
    if (onLine_) onLine_(text);
  }
  Lines LinesSoFar() const {
    std::lock_guard lock(m_);
    return lines_;
  }
  std::optional<Clock::time_point> TimeOf(const std::string& line) const {
    std::lock_guard lock(m_);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      if (lines_[i] == line) return times_[i];
    }
    return std::nullopt;
  }
  void OnLine(std::function<void(const std::string&)> f) { onLine_ = std::move(f); }

 private:
  mutable std::mutex m_;
  Lines lines_;
  std::vector<Clock::time_point> times_;
  std::function<void(const std::string&)> onLine_;
};

// One dialogue: a pty, the fake modem on its master, the link on its slave.
struct Bench {
  explicit Bench(FakeModem::Script script) : modem(pty, std::move(script)), link(SerialLine{1, pty.SlavePath(), 9600}) {
    opened = link.OpenLink();
  }
  PtyPair pty;
  FakeModem modem;
  Tmod07 link;
  LogRecorder log;
  std::atomic<bool> abort{false};
  bool opened = false;
};

FakeModem::Script Calls(std::vector<Dial> calls) {
  FakeModem::Script s;
  s.calls = std::move(calls);
  return s;
}

ModemDialJob Job(int attempts, int waitS, std::string phone = "84951234567") {
  ModemDialJob j;
  j.phoneNo = std::move(phone);
  j.attempts = attempts;
  j.connectWaitS = waitS;
  return j;
}

std::string Attempt(int i, int m) {
  return " \n-=[Попытка дозвона " + std::to_string(i) + " из " + std::to_string(m) + "]=-\n";
}
const std::string kInit = "Инициализация модема...";
const std::string kNoModem = "!!!ОШИБКА: Модем не отвечает.";
const std::string kPause = ">>>Пауза 5 сек перед повтором...";
const std::string kHangUp = ">>>+++ATH0";
// A call that never connected: the modem is in command mode, ATH0 alone ends it.
const std::string kEndCall = ">>>ATH0";
const std::string kAbort = "\n!!!Прервано пользователем\n";
std::string GiveUp(const std::string& phone) { return "\n!!!ОШИБКА: Невозможно дозвониться по номеру " + phone + "\n"; }

struct DialogueCase {
  const char* name;
  FakeModem::Script script;
  ModemDialJob job;
  bool connected;
  Lines log;
  Lines commands;
};

std::vector<DialogueCase> Dialogues() {
  const std::string n = "84951234567";
  auto pulse = Job(2, 3);
  pulse.pulse = true;
  auto init = Job(1, 3);
  init.initString = "AT&F E0 V1";
  auto badInit = Job(1, 3);
  badInit.initString = "ATS7=90";
  FakeModem::Script refuse;
  refuse.refused = {"ATS7=90"};
  FakeModem::Script off;
  off.answersAt = false;
  return {
      {"connect on the first call",
       Calls({Dial::Connect}),
       Job(3, 5),
       true,
       {kInit, ">>>AT", "OK", Attempt(1, 3), ">>>ATDT" + n, "CONNECT 9600"},
       {"AT", "ATDT" + n}},
      {"busy, then connect on the second call",
       Calls({Dial::Busy, Dial::Connect}),
       Job(3, 5),
       true,
       {kInit, ">>>AT", "OK", Attempt(1, 3), ">>>ATDT" + n, "!!!ОШИБКА: BUSY", kEndCall, "OK", kPause, Attempt(2, 3),
        ">>>ATDT" + n, "CONNECT 9600"},
       {"AT", "ATDT" + n, "ATH0", "ATDT" + n}},
      {"pulse dialing",
       Calls({Dial::NoCarrier, Dial::Connect}),
       pulse,
       true,
       {kInit, ">>>AT", "OK", Attempt(1, 2), ">>>ATDP" + n, "!!!ОШИБКА: NO CARRIER", kEndCall, "OK", kPause,
        Attempt(2, 2), ">>>ATDP" + n, "CONNECT 9600"},
       {"AT", "ATDP" + n, "ATH0", "ATDP" + n}},
      {"never answered",
       Calls({Dial::NoAnswer}),
       Job(2, 5),
       false,
       {kInit, ">>>AT", "OK", Attempt(1, 2), ">>>ATDT" + n, "!!!ОШИБКА: NO ANSWER", kEndCall, "OK", kPause,
        Attempt(2, 2), ">>>ATDT" + n, "!!!ОШИБКА: NO ANSWER", kEndCall, "OK", GiveUp(n)},
       {"AT", "ATDT" + n, "ATH0", "ATDT" + n, "ATH0"}},
      {"busy with one attempt: no pause",
       Calls({Dial::Busy}),
       Job(1, 5),
       false,
       {kInit, ">>>AT", "OK", Attempt(1, 1), ">>>ATDT" + n, "!!!ОШИБКА: BUSY", kEndCall, "OK", GiveUp(n)},
       {"AT", "ATDT" + n, "ATH0"}},
      {"silent modem",
       Calls({Dial::Silent}),
       Job(1, 2),
       false,
       {kInit, ">>>AT", "OK", Attempt(1, 1), ">>>ATDT" + n, kNoModem, kEndCall, "OK", GiveUp(n)},
       {"AT", "ATDT" + n, "ATH0"}},
      {"echo only counts as silence",
       Calls({Dial::EchoOnly}),
       Job(1, 2),
       false,
       {kInit, ">>>AT", "OK", Attempt(1, 1), ">>>ATDT" + n, kNoModem, kEndCall, "OK", GiveUp(n)},
       {"AT", "ATDT" + n, "ATH0"}},
      {"echo and CONNECT in one read",
       Calls({Dial::EchoThenConnect}),
       Job(1, 2),
       true,
       {kInit, ">>>AT", "OK", Attempt(1, 1), ">>>ATDT" + n, "CONNECT 9600"},
       {"AT", "ATDT" + n}},
      // A silent first call goes on as a failed one: error line, hang-up, pause.
      {"silent, then connect",
       Calls({Dial::Silent, Dial::Connect}),
       Job(2, 1),
       true,
       {kInit, ">>>AT", "OK", Attempt(1, 2), ">>>ATDT" + n, kNoModem, kEndCall, "OK", "!!!ОШИБКА: ", kEndCall, "OK",
        kPause, Attempt(2, 2), ">>>ATDT" + n, "CONNECT 9600"},
       {"AT", "ATDT" + n, "ATH0", "ATH0", "ATDT" + n}},
      {"init string answered OK",
       Calls({Dial::Connect}),
       init,
       true,
       {kInit, ">>>AT", "OK", ">>>AT&F E0 V1", "OK", Attempt(1, 1), ">>>ATDT" + n, "CONNECT 9600"},
       {"AT", "AT&F E0 V1", "ATDT" + n}},
      {"init string refused",
       refuse,
       badInit,
       false,
       {kInit, ">>>AT", "OK", ">>>ATS7=90", kNoModem},
       {"AT", "ATS7=90"}},
      {"modem switched off", off, Job(3, 5), false, {kInit, ">>>AT", kNoModem}, {"AT"}},
      {"no phone number",
       Calls({}),
       Job(3, 5, ""),
       false,
       {kInit, ">>>AT", "OK", "!!!ОШИБКА: Отсутствует номер телефона."},
       {"AT"}},
      {"no attempts: connected without dialing", Calls({}), Job(0, 5), true, {kInit, ">>>AT", "OK"}, {"AT"}},
  };
}

TEST(ModemDialer, DialoguesLogEveryLine) {
  for (auto& c : Dialogues()) {
    SCOPED_TRACE(c.name);
    Bench b(c.script);
    ASSERT_TRUE(b.opened) << b.link.ErrorReason();
    const int attempts = c.job.attempts;
    ModemDialer dialer(b.link, b.log, b.abort, c.job, kDialogueStep);
    EXPECT_EQ(dialer.ModemConnect(), c.connected);
    EXPECT_EQ(b.log.LinesSoFar(), c.log);
    EXPECT_TRUE(WaitUntil([&] { return b.modem.Commands() == c.commands; }));  // the modem takes in the last command
    EXPECT_EQ(b.modem.Commands(), c.commands);
    EXPECT_EQ(dialer.Attempts(), attempts);
  }
}

// The stage text follows each dial and its answer.
TEST(ModemDialer, StatusNamesEachDialAndItsAnswer) {
  Bench b(Calls({Dial::Busy, Dial::Connect}));
  ASSERT_TRUE(b.opened);
  Lines status;
  struct StatusRecorder : ReadEvents {
    Lines* out;
    void On(const ReadEvent& e) override {
      if (const auto* m = std::get_if<event::Modem>(&e))
        if (std::string t = DialStatusText(*m, "84951234567"); !t.empty()) out->push_back(std::move(t));
    }
  } recorder;
  recorder.out = &status;
  ModemDialer dialer(b.link, recorder, b.abort, Job(3, 5), kDialogueStep);
  EXPECT_TRUE(dialer.ModemConnect());
  const std::string call = "Набор 84951234567, попытка ";
  EXPECT_EQ(status, (Lines{kInit, call + "1 из 3...", call + "1 из 3: занято",
                           call + "1 из 3: занято, пауза 5 с перед повтором", call + "2 из 3...",
                           "Соединение установлено: CONNECT 9600"}));
}

// The modem's answer lands just after the echo of the dial command went quiet,
// before the read of the echo is over: it is the dial's answer, not lost.
class AnswerBehindEcho : public test_support::MemoryChannel {
 public:
  AnswerBehindEcho() : MemoryChannel([](std::span<const std::uint8_t> frame) { return Reply(frame); }) {}
  std::size_t Write(std::span<const std::uint8_t> bytes) override {
    dialing_ = std::string(bytes.begin(), bytes.end()).rfind("ATD", 0) == 0, echoRead_ = false;
    return MemoryChannel::Write(bytes);
  }
  std::optional<std::uint8_t> ReadByte(std::chrono::milliseconds wait) override {
    const auto b = MemoryChannel::ReadByte(wait);
    if (b && dialing_) echoRead_ = true;
    if (!b && dialing_ && echoRead_) {
      dialing_ = false;
      const std::string answer = "\r\nNO ANSWER\r\n";
      Inject(std::span(reinterpret_cast<const std::uint8_t*>(answer.data()), answer.size()));
    }
    return b;
  }

 private:
  static test_support::ScriptedReply Reply(std::span<const std::uint8_t> frame) {
    std::string text(frame.begin(), frame.end());
    while (!text.empty() && text.back() == '\r') text.pop_back();
    const std::string reply = text.rfind("ATD", 0) == 0 ? text + "\r\r\n" : text + "\r\r\nOK\r\n";
    return {.bytes = {reply.begin(), reply.end()}};
  }
  bool dialing_ = false;
  bool echoRead_ = false;
};

TEST(ModemDialer, AnAnswerRightBehindTheEchoIsTheDialsOutcome) {
  Tmod07 link(SerialLine{1, "memory", 9600});
  link.AttachChannel(std::make_unique<AnswerBehindEcho>());
  LogRecorder log;
  std::atomic<bool> abort{false};
  ModemDialer dialer(link, log, abort, Job(1, 2), kDialogueStep);
  EXPECT_FALSE(dialer.ModemConnect());
  const Lines lines = log.LinesSoFar();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "!!!ОШИБКА: NO ANSWER"), lines.end())
      << ::testing::PrintToString(lines);
  EXPECT_EQ(std::find(lines.begin(), lines.end(), kNoModem), lines.end());
}

TEST(ModemDialer, HangUpSendsEscapeThenAth0) {
  Bench b(Calls({}));
  ASSERT_TRUE(b.opened);
  ModemDialer dialer(b.link, b.log, b.abort, Job(3, 5), kFastStep);
  dialer.ModemHangUp();
  EXPECT_EQ(b.log.LinesSoFar(), (Lines{kHangUp, "OK"}));
  EXPECT_TRUE(WaitUntil([&] { return b.modem.Commands() == Lines{"+++", "ATH0"}; }));
  EXPECT_EQ(b.modem.Commands(), (Lines{"+++", "ATH0"}));
}

TEST(ModemDialer, OtherTransportsNeitherDialNorHangUp) {
  Bench b(Calls({}));
  ASSERT_TRUE(b.opened);
  auto job = Job(3, 5);
  job.modem = false;
  ModemDialer dialer(b.link, b.log, b.abort, job, kFastStep);
  EXPECT_TRUE(dialer.ModemConnect());
  dialer.ModemHangUp();
  // Nothing arrived: a command written now comes to the modem behind any
  // written by mistake before it.
  const std::string probe = "ATI9\r";
  ASSERT_EQ(b.link.Channel()->Write(std::span(reinterpret_cast<const std::uint8_t*>(probe.data()), probe.size())),
            probe.size());
  EXPECT_TRUE(WaitUntil([&] { return !b.modem.Commands().empty(); }));
  EXPECT_TRUE(b.log.LinesSoFar().empty());
  EXPECT_EQ(b.modem.Commands(), Lines{"ATI9"});
}

TEST(ModemDialer, AbortBeforeTheAnswerHangsUp) {
  Bench b(Calls({Dial::Silent}));
  ASSERT_TRUE(b.opened);
  b.log.OnLine([&](const std::string& line) {
    if (line.rfind(">>>ATDT", 0) == 0) b.abort = true;
  });
  ModemDialer dialer(b.link, b.log, b.abort, Job(3, 60), kFastStep);
  EXPECT_FALSE(dialer.ModemConnect());
  EXPECT_EQ(dialer.Attempts(), 0);
  // After a stop ATH0 goes at once (it ends the call being dialled); no answer is awaited.
  EXPECT_EQ(b.log.LinesSoFar(), (Lines{kInit, ">>>AT", "OK", Attempt(1, 3), ">>>ATDT84951234567", kAbort, kEndCall}));
  // (The dial command may not have left the port before ATH0's purge: the
  // modem then never dialled.)
  EXPECT_TRUE(WaitUntil([&] { return !b.modem.Commands().empty() && b.modem.Commands().back() == "ATH0"; }));
  const Lines commands = b.modem.Commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "+++"), 0);
}

// An abort in the middle of the pause between attempts (50 steps: here of
// 200 ms, 10 s in all) ends it at the next step and hangs up at once.
TEST(ModemDialer, AbortDuringThePauseEndsItAndHangsUp) {
  Bench b(Calls({Dial::Busy, Dial::Connect}));
  ASSERT_TRUE(b.opened);
  std::thread stopper;
  b.log.OnLine([&](const std::string& line) {
    if (line != kPause) return;
    stopper = std::thread([&, dialing = test::ThisThread()] {
      WaitUntil([&] { return test::Asleep(dialing); });  // inside the pause
      b.abort = true;
    });
  });
  constexpr auto kStep = 200ms;
  ModemDialer dialer(b.link, b.log, b.abort, Job(3, 5), kStep);
  const bool connected = dialer.ModemConnect();
  ASSERT_TRUE(stopper.joinable());
  stopper.join();
  EXPECT_FALSE(connected);
  EXPECT_EQ(dialer.Attempts(), 0);
  const Lines expected{kInit, ">>>AT", "OK",   Attempt(1, 3), ">>>ATDT84951234567", "!!!ОШИБКА: BUSY", kEndCall,
                       "OK",  kPause,  kAbort, kEndCall};
  EXPECT_EQ(b.log.LinesSoFar(), expected);
  // A pause that ignored the abort would run its whole 50 steps from its line on.
  const auto pauseLine = b.log.TimeOf(kPause), abortLine = b.log.TimeOf(kAbort);
  ASSERT_TRUE(pauseLine && abortLine);
  EXPECT_LT(*abortLine - *pauseLine, 50 * kStep) << "the pause went on after the abort";
  const Lines commands{"AT", "ATDT84951234567", "ATH0", "ATH0"};
  EXPECT_TRUE(WaitUntil([&] { return b.modem.Commands() == commands; }));
  EXPECT_EQ(b.modem.Commands(), commands);
}

// In real time: ConnectWait 4 s with a modem that never answers the dial:
// the attempt gives up after 4 s, not after 2 x (2 s + a line read).
TEST(ModemDialer, ConnectWaitLastsTheSecondsItSays) {
  Bench b(Calls({Dial::Silent}));
  ASSERT_TRUE(b.opened);
  ModemDialer dialer(b.link, b.log, b.abort, Job(1, 4));
  EXPECT_FALSE(dialer.ModemConnect());
  const auto dialed = b.log.TimeOf(">>>ATDT84951234567");
  const auto gaveUp = b.log.TimeOf(kNoModem);
  ASSERT_TRUE(dialed && gaveUp);
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(*gaveUp - *dialed).count();
  EXPECT_GE(waited, 3900);
  EXPECT_LT(waited, 6000);
}

// In real time: a stop while the answer to a dial of a minute is awaited
// (the modem has the command) ends the wait, the line reading included.
TEST(ModemDialer, AbortDuringTheConnectWaitIsSeen) {
  Bench b(Calls({Dial::Silent}));
  ASSERT_TRUE(b.opened);
  Clock::time_point abortedAt{};
  std::thread stopper([&] {
    WaitUntil([&] {
      const Lines c = b.modem.Commands();
      return std::find(c.begin(), c.end(), "ATDT84951234567") != c.end();
    });
    abortedAt = Clock::now();
    b.abort = true;
  });
  ModemDialer dialer(b.link, b.log, b.abort, Job(1, 60));
  EXPECT_FALSE(dialer.ModemConnect());
  stopper.join();
  const auto abortLine = b.log.TimeOf(kAbort);
  ASSERT_TRUE(abortLine.has_value());
  EXPECT_LT(*abortLine - abortedAt, 30s) << "the connect wait went on after the abort";
}

TEST(ModemDialer, JobValuesComeFromTheSettings) {
  ConnectionSettings s;
  s.phoneNo = "123";
  s.tone = false;
  s.reconnects = 7;
  s.connectWaitS = 0;
  s.initString = "ATZ";
  s.connectMode = ConnectMode::Modem;
  auto j = ModemDialJobFrom(s);
  EXPECT_EQ(j.phoneNo, "123");
  EXPECT_TRUE(j.pulse);
  EXPECT_EQ(j.attempts, 7);
  EXPECT_EQ(j.connectWaitS, 1);
  EXPECT_EQ(j.initString, "ATZ");
  EXPECT_TRUE(j.modem);
  s.tone = true;
  s.connectWaitS = 300;
  s.connectMode = ConnectMode::Tcp;
  j = ModemDialJobFrom(s);
  EXPECT_FALSE(j.pulse);
  EXPECT_EQ(j.connectWaitS, 255);
  EXPECT_FALSE(j.modem);
}

}  // namespace
}  // namespace statvtk
