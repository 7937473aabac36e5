// Tmod07 over a memory channel: request frames byte for byte, reply checks,
// counters, retries and pauses, the abort flag, the trace.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

#include "base/error.hpp"
#include "link/link_test_util.hpp"
#include "support/wait_until.hpp"

namespace statvtk::link_test {
namespace {

using namespace std::chrono_literals;

// --- every request operation, byte for byte ---

struct OpCase {
  const char* name;
  frame::Form form;
  std::function<bool(Tmod07&, std::span<std::uint8_t>)> run;
  Bytes expectedWithoutChecksum;
  std::size_t replyData;
};

std::vector<OpCase> OpCases() {
  auto str = [](std::string s) { return !s.empty(); };
  return {
      {"Identify",
       frame::Form::Short,
       [str](Tmod07& l, std::span<std::uint8_t>) { return str(l.Identify(5)); },
       {0x55, 0x05, 0xFA, 0, 0, 0},
       12},
      {"ReadBlock8",
       frame::Form::Short,
       [](Tmod07& l, std::span<std::uint8_t> o) { return l.Read(frame::Op::ReadBlock8, 5, 0x10, 16, o); },
       {0x55, 0x05, 0xFA, 15, 2, 2, 0x10, 16},
       16},
      {"ReadBlock16",
       frame::Form::Short,
       [](Tmod07& l, std::span<std::uint8_t> o) { return l.Read(frame::Op::ReadBlock16, 5, 0x1234, 32, o); },
       {0x55, 0x05, 0xFA, 15, 1, 3, 0x12, 0x34, 32},
       32},
      {"ReadParams16",
       frame::Form::Short,
       [](Tmod07& l, std::span<std::uint8_t> o) { return l.Read(frame::Op::ReadParams16, 5, 264, 8, o); },
       {0x55, 0x05, 0xFA, 12, 1, 3, 0x01, 0x08, 8},
       8},
      {"ReadArchive32",
       frame::Form::Short,
       [](Tmod07& l, std::span<std::uint8_t> o) { return l.Read(frame::Op::ReadArchive32, 5, 0x00012340, 64, o); },
       {0x55, 0x05, 0xFA, 15, 3, 5, 0x00, 0x01, 0x23, 0x40, 64},
       64},
      {"ReadArchive16",
       frame::Form::Short,
       [](Tmod07& l, std::span<std::uint8_t> o) { return l.Read(frame::Op::ReadArchive16, 5, 0xABCD, 16, o); },
       {0x55, 0x05, 0xFA, 15, 3, 3, 0xAB, 0xCD, 16},
       16},
      {"IdentifyLong",
       frame::Form::Long,
       [str](Tmod07& l, std::span<std::uint8_t>) { return str(l.IdentifyLong(0x12345678)); },
       {0x55, 0x78, 0x56, 0x34, 0x12, 0, 0, 0},
       12},
      {"ReadBlock16Long",
       frame::Form::Long,
       [](Tmod07& l, std::span<std::uint8_t> o) {
         return l.Read(frame::Op::ReadBlock16Long, 0x12345678, 0x0102, 32, o);
       },
       {0x55, 0x78, 0x56, 0x34, 0x12, 15, 1, 3, 0x01, 0x02, 32},
       32},
      {"ReadParams16Long",
       frame::Form::Long,
       [](Tmod07& l, std::span<std::uint8_t> o) { return l.Read(frame::Op::ReadParams16Long, 0x12345678, 180, 4, o); },
       {0x55, 0x78, 0x56, 0x34, 0x12, 12, 1, 3, 0x00, 0xB4, 4},
       4},
      {"ReadArchive32Long",
       frame::Form::Long,
       [](Tmod07& l, std::span<std::uint8_t> o) {
         return l.Read(frame::Op::ReadArchive32Long, 0x12345678, 0x00012340, 68, o);
       },
       {0x55, 0x78, 0x56, 0x34, 0x12, 15, 3, 5, 68, 0x00, 0x01, 0x23, 0x40},
       68},
  };
}

TEST(Tmod07Ops, EveryRequestByteForByteAndReplyCopied) {
  for (const auto& c : OpCases()) {
    SCOPED_TRACE(c.name);
    const Bytes data = Pattern(c.replyData, 7);
    Wired w(Answering(c.form, data));
    Bytes out(300, 0xEE);
    ASSERT_TRUE(c.run(w.link, out)) << w.link.ErrorText();
    EXPECT_EQ(w.link.LastError(), 0u);
    const auto written = w.channel->Written();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0], WithChecksum(c.expectedWithoutChecksum));
    if (c.name != std::string("Identify") && c.name != std::string("IdentifyLong")) {
      EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin()));
      EXPECT_EQ(out[data.size()], 0xEE);  // nothing past the reply's data
    }
    EXPECT_EQ(w.link.SentCount(), 1u);
    EXPECT_EQ(w.link.ReplyCount(), 1u);
    EXPECT_EQ(w.link.ErrorCount(), 0u);
  }
}

TEST(Tmod07Ops, IdentifyReturnsExactlyTheDataAsText) {
  const std::string id = std::string("VTK-08.12 v1\0x", 14);
  Wired w(Answering(frame::Form::Short, Bytes(id.begin(), id.end())));
  EXPECT_EQ(w.link.Identify(1), id);
  Wired l(Answering(frame::Form::Long, Bytes(id.begin(), id.end())));
  EXPECT_EQ(l.link.IdentifyLong(77), id);
}

// --- replies ---

TEST(Tmod07Reply, LengthZeroIs256DataBytes) {
  const Bytes data = Pattern(256, 9);
  Wired w(Answering(frame::Form::Short, data));
  Bytes out(256);
  ASSERT_TRUE(w.link.Read(frame::Op::ReadArchive32, 1, 0, 0, out));
  EXPECT_EQ(out, data);
  EXPECT_EQ(w.link.ReplyData().size(), 256u);

  Wired l(Answering(frame::Form::Long, data));
  Bytes outLong(256);
  ASSERT_TRUE(l.link.Read(frame::Op::ReadArchive32Long, 1, 0, 0, outLong));
  EXPECT_EQ(outLong, data);
}

TEST(Tmod07Reply, ShortOutputBufferIsNeverOverrun) {
  Wired w(Answering(frame::Form::Short, Pattern(64)));
  Bytes buf(40, 0xEE);
  ASSERT_TRUE(w.link.Read(frame::Op::ReadArchive32, 1, 0, 64, std::span<std::uint8_t>(buf).first(32)));
  EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 32, Pattern(64).begin()));
  EXPECT_EQ(Bytes(buf.begin() + 32, buf.end()), Bytes(8, 0xEE));
}

TEST(Tmod07Reply, LeadingGarbageIsSkipped) {
  Wired w([](std::span<const std::uint8_t> req) {
    Bytes r{0x00, 0x13, 0x55, 0xFF, 0xA9};
    const Bytes good = ShortReplyTo(req, Bytes{1, 2, 3});
    r.insert(r.end(), good.begin(), good.end());
    return ScriptedReply{r};
  });
  Bytes out(3);
  ASSERT_TRUE(w.link.Read(frame::Op::ReadBlock8, 1, 0, 3, out));
  EXPECT_EQ(out, (Bytes{1, 2, 3}));
  EXPECT_EQ(w.link.ErrorCount(), 0u);
}

struct BadReplyCase {
  const char* name;
  std::function<Bytes(std::span<const std::uint8_t>)> reply;
  std::uint32_t code;
  std::uint32_t replyCount;  // per attempt
};

TEST(Tmod07Reply, FaultyRepliesEndWithTheirCode) {
  const std::vector<BadReplyCase> cases{
      {"wrong address complement",
       [](std::span<const std::uint8_t> req) {
         Bytes r = ShortReplyTo(req, Bytes{1, 2});
         r[2] ^= 0x01;
         return r;
       },
       CodeNumber(ErrorCode::BadAddress), 0},
      {"bad checksum",
       [](std::span<const std::uint8_t> req) {
         Bytes r = ShortReplyTo(req, Bytes{1, 2});
         r.back() ^= 0x40;
         return r;
       },
       CodeNumber(ErrorCode::BadChecksum), 1},
      {"another group",
       [](std::span<const std::uint8_t> req) {
         return frame::BuildShort(frame::kReplyStart, req[1], static_cast<std::uint8_t>(req[3] + 1), req[4], Bytes{1});
       },
       CodeNumber(ErrorCode::WrongReply), 1},
      {"another command",
       [](std::span<const std::uint8_t> req) {
         return frame::BuildShort(frame::kReplyStart, req[1], req[3], static_cast<std::uint8_t>(req[4] ^ 1), Bytes{1});
       },
       CodeNumber(ErrorCode::WrongReply), 1},
      {"silence", [](std::span<const std::uint8_t>) { return Bytes{}; }, CodeNumber(ErrorCode::Timeout), 0},
      {"cut short",
       [](std::span<const std::uint8_t> req) {
         Bytes r = ShortReplyTo(req, Pattern(16));
         r.resize(12);
         return r;
       },
       CodeNumber(ErrorCode::Timeout), 0},
      {"length announcing more than arrives",
       [](std::span<const std::uint8_t> req) {
         Bytes r{0xAA, req[1], static_cast<std::uint8_t>(~req[1]), req[3], req[4], 200};
         const Bytes more = Pattern(10);
         r.insert(r.end(), more.begin(), more.end());
         return r;
       },
       CodeNumber(ErrorCode::Timeout), 0},
  };
  for (const auto& c : cases) {
    for (std::uint32_t retries : {1u, 3u}) {
      SCOPED_TRACE(std::string(c.name) + " retries " + std::to_string(retries));
      Wired w([&](std::span<const std::uint8_t> req) { return ScriptedReply{c.reply(req)}; });
      w.Timing(10, 10, retries);
      Bytes out(16, 0xEE);
      EXPECT_FALSE(w.link.Read(frame::Op::ReadBlock16, 1, 0x20, 16, out));
      EXPECT_EQ(w.link.LastError(), c.code);
      EXPECT_EQ(out, Bytes(16, 0xEE));  // left as it was
      EXPECT_EQ(w.link.SentCount(), retries);
      EXPECT_EQ(w.link.ErrorCount(), retries);
      EXPECT_EQ(w.link.ReplyCount(), c.replyCount * retries);
      EXPECT_EQ(w.link.ErrorText(), LinkCodeText(c.code));
    }
  }
}

TEST(Tmod07Reply, LongFormChecksGroupAndCommandToo) {
  Wired w([](std::span<const std::uint8_t> req) {
    const std::uint32_t a = req[1] | req[2] << 8 | req[3] << 16 | static_cast<std::uint32_t>(req[4]) << 24;
    return ScriptedReply{frame::BuildLong(frame::kReplyStart, a, 0, 0, Bytes{'i', 'd'})};
  });
  w.Timing(10, 10, 2);
  Bytes out(32, 0xEE);
  EXPECT_FALSE(w.link.Read(frame::Op::ReadBlock16Long, 9, 0, 32, out));
  EXPECT_EQ(w.link.LastError(), CodeNumber(ErrorCode::WrongReply));
  EXPECT_EQ(out, Bytes(32, 0xEE));
  EXPECT_EQ(w.link.SentCount(), 2u);
}

TEST(Tmod07Reply, LongFormAcceptsAnyAddressBytes) {
  Wired w([](std::span<const std::uint8_t> req) {
    return ScriptedReply{frame::BuildLong(frame::kReplyStart, 0xFFFFFFFF, req[5], req[6], Bytes{1, 2, 3, 4})};
  });
  Bytes out(4);
  ASSERT_TRUE(w.link.Read(frame::Op::ReadParams16Long, 3, 180, 4, out));
  EXPECT_EQ(out, (Bytes{1, 2, 3, 4}));
}

// --- sending ---

TEST(Tmod07Send, ShortWriteAndMissingCarrier) {
  for (bool tcp : {false, true}) {
    SCOPED_TRACE(tcp ? "tcp" : "serial");
    Wired w(Answering(frame::Form::Short, Bytes{1}), {}, tcp ? LineTarget(TcpLine{}) : LineTarget(SerialLine{}));
    w.channel->SetSocket(tcp);
    w.Timing(10, 10, 2);
    w.channel->SetWriteLimit(3);
    EXPECT_FALSE(w.link.Exchange(1, 0, 0, {}));
    EXPECT_EQ(w.link.LastError(), CodeNumber(ErrorCode::SendFailed));
    EXPECT_EQ(w.link.SentCount(), tcp ? 0u : 2u);  // a short serial write is still counted
    EXPECT_EQ(tcp ? w.channel->DropInputs() : w.channel->Purges(), 2u);

    w.link.CloseLink();
    EXPECT_FALSE(w.link.PortOpen());
    EXPECT_FALSE(w.link.Exchange(1, 0, 0, {}));
    EXPECT_EQ(w.link.LastError(), tcp ? CodeNumber(ErrorCode::InvalidSocket) : CodeNumber(ErrorCode::SendFailed));
  }
}

TEST(Tmod07Send, ClosedCarrierEndsAtOnce) {
  Wired w(Answering(frame::Form::Short, Bytes{1}), {}, TcpLine{});
  w.channel->SetSocket(true);
  w.Timing(10000, 10000, 10);  // ten attempts of 10 s each, were they made
  w.channel->SetOpen(false);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(w.link.Exchange(1, 0, 0, {}));
  EXPECT_EQ(w.link.LastError(), CodeNumber(ErrorCode::InvalidSocket));
  EXPECT_LT(MsSince(t0), 30000.0);
  EXPECT_TRUE(w.channel->Written().empty());
}

// --- timing: budgets, retries, pauses ---

TEST(Tmod07Timing, SilenceEndsWithinItsBudget) {
  // ReplyTimeout 1000 on a carrier without its own wait: 51 attempts x 20 ms.
  Wired w;
  w.Timing(60, 1000, 1);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(w.link.Exchange(1, 0, 0, {}));
  const double ms = MsSince(t0);
  EXPECT_EQ(w.link.LastError(), CodeNumber(ErrorCode::Timeout));
  EXPECT_GE(ms, 1019.0);
  EXPECT_LT(ms, 5000.0);
}

TEST(Tmod07Timing, CarrierWaitCountsInTheBudget) {
  MemoryChannel::Options o;
  o.carrierWaitMs = 25;
  Wired w({}, o);
  w.Timing(60, 100, 1);  // 6 x (20 + 25) = 270 ms
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(w.link.Exchange(1, 0, 0, {}));
  const double ms = MsSince(t0);
  EXPECT_GE(ms, 269.0);
  EXPECT_LT(ms, 5000.0);
}

TEST(Tmod07Timing, ByteTimeoutAppliesAfterTheFirstByte) {
  // The reply starts at once, but its bytes come 60 ms apart: with ByteTimeout
  // 20 (2 attempts, 40 ms) the reception times out; with 100 (120 ms) it passes.
  for (std::uint32_t byteMs : {20u, 100u}) {
    Wired w([](std::span<const std::uint8_t> req) { return ScriptedReply{ShortReplyTo(req, Bytes{1}), 0us, 60ms}; });
    w.Timing(byteMs, 100, 1);
    const bool ok = w.link.Exchange(1, 0, 0, {});
    EXPECT_EQ(ok, byteMs == 100u);
    EXPECT_EQ(w.link.LastError(), byteMs == 100u ? 0u : CodeNumber(ErrorCode::Timeout));
  }
}

TEST(Tmod07Timing, RetriesAndPauseShortForm) {
  // ReplyTimeout 40: a 60 ms reception budget, then a pause of 40/20+1 = 3 x 20 ms.
  Wired w;
  w.Timing(10, 40, 3);
  EXPECT_FALSE(w.link.Exchange(1, 0, 0, {}));
  EXPECT_EQ(w.link.SentCount(), 3u);
  EXPECT_EQ(w.link.ErrorCount(), 3u);
  EXPECT_EQ(w.link.LastError(), CodeNumber(ErrorCode::Timeout));
  const auto times = w.channel->WriteTimes();
  ASSERT_EQ(times.size(), 3u);
  for (std::size_t i = 1; i < times.size(); ++i) {
    const double gap = std::chrono::duration<double, std::milli>(times[i] - times[i - 1]).count();
    EXPECT_GE(gap, 119.0);
    EXPECT_LT(gap, 5000.0);
  }
}

TEST(Tmod07Timing, LongFormReplyStartingAfter80msStillCounts) {
  // ReplyTimeout 40 gives the first byte 60 ms; the long form adds 50 ms, so
  // a reply starting 80 ms after the request is received on the first attempt.
  Wired w(Answering(frame::Form::Long, Bytes{7}, 80ms));
  w.Timing(10, 40, 1);
  Bytes out(1);
  EXPECT_TRUE(w.link.Read(frame::Op::ReadParams16Long, 1, 0, 1, out));
  EXPECT_EQ(out, Bytes{7});
  EXPECT_EQ(w.link.SentCount(), 1u);
}

TEST(Tmod07Timing, PauseStepsAndLongFormWaitCountedExactly) {
  // ReplyTimeout/20 + 1 steps of 20 ms between short attempts; 50 ms (in
  // 20 ms slices) after every long-form send and no pause.
  for (std::uint32_t reply : {0u, 19u, 20u, 45u}) {
    for (frame::Form form : {frame::Form::Short, frame::Form::Long}) {
      std::vector<std::uint32_t> waits;
      Wired w;
      w.Timing(0, reply, 3);
      w.link.SetWaitFunction([&](std::uint32_t ms) { waits.push_back(ms); });
      EXPECT_FALSE(form == frame::Form::Short ? w.link.Exchange(1, 0, 0, {}) : w.link.ExchangeLong(1, 0, 0, {}));
      std::vector<std::uint32_t> expected;
      if (form == frame::Form::Short) expected.assign(2 * (reply / 20 + 1), 20u);
      else
        for (int i = 0; i < 3; ++i) expected.insert(expected.end(), {20u, 20u, 10u});
      EXPECT_EQ(waits, expected) << "ReplyTimeout " << reply;
    }
  }
}

TEST(Tmod07Timing, ZeroRetriesStillMakesOneAttempt) {
  Wired w(Answering(frame::Form::Short, Bytes{1}));
  w.link.SetTiming({w.link.ByteTimeout(), w.link.ReplyTimeout(), 0});
  EXPECT_TRUE(w.link.Exchange(1, 0, 0, {}));
  EXPECT_EQ(w.link.SentCount(), 1u);
}

// --- abort ---

// A stop while the first byte of a reply is awaited (a minute, on either
// form; the link's own flag or one set from outside) ends the reception with
// the stop code, nothing copied, nothing sent again.
TEST(Tmod07Abort, EndsAReceptionWithTheStopCode) {
  for (const bool longForm : {false, true}) {
    SCOPED_TRACE(longForm ? "the long form, a flag from outside" : "the short form, the link's flag");
    Wired w;
    w.Timing(60, 60000, 3);
    std::atomic<bool> external{false};
    if (longForm) w.link.SetAbortFlag(&external);
    std::thread stopper([&] {
      WaitUntil([&] { return w.channel->Reads() > 0; });  // the stop comes during the reception
      (longForm ? external : w.link.AbortFlag()) = true;
    });
    Bytes out(16, 0xEE);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(w.link.Read(longForm ? frame::Op::ReadArchive32Long : frame::Op::ReadBlock16, 1, 0, 16, out));
    const double ms = MsSince(t0);
    stopper.join();
    EXPECT_EQ(w.link.LastError(), CodeNumber(ErrorCode::Stopped));
    EXPECT_EQ(w.link.ErrorText(), "Прервано пользователем [10]");
    EXPECT_EQ(out, Bytes(16, 0xEE));
    EXPECT_EQ(w.link.SentCount(), 1u);
    EXPECT_LT(ms, 30000.0) << "the wait went on after the abort";
  }
}

TEST(Tmod07Abort, EndsThePauseWithTheStopCode) {
  // A bad checksum at once, then a pause of 5000/20+1 steps; the abort ends it.
  Wired w([](std::span<const std::uint8_t> req) {
    Bytes r = ShortReplyTo(req, Bytes{1});
    r.back() ^= 1;
    return ScriptedReply{r};
  });
  w.Timing(60, 60000, 5);  // pauses of a minute
  std::atomic<bool> external{false};
  w.link.SetAbortFlag(&external);
  std::thread stopper([&] {
    // The stop comes between attempts: the bad reply has been read.
    WaitUntil([&] { return w.channel->Reads() > 0 && w.channel->Pending() == 0; });
    external = true;
  });
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(w.link.Exchange(1, 0, 0, {}));
  const double ms = MsSince(t0);
  stopper.join();
  EXPECT_EQ(w.link.LastError(), CodeNumber(ErrorCode::Stopped));
  EXPECT_EQ(w.link.SentCount(), 1u);
  EXPECT_EQ(w.link.ErrorCount(), 1u);
  EXPECT_LT(ms, 30000.0);
}

TEST(Tmod07Abort, EndsTheLongFormWaitAndARaisedFlagSendsNothing) {
  Wired w(Answering(frame::Form::Long, Bytes{1}));
  w.link.AbortFlag() = true;
  EXPECT_FALSE(w.link.ExchangeLong(1, 0, 0, {}));
  EXPECT_FALSE(w.link.Exchange(1, 0, 0, {}));
  EXPECT_EQ(w.link.LastError(), CodeNumber(ErrorCode::Stopped));
  EXPECT_TRUE(w.channel->Written().empty());
  w.link.AbortFlag() = false;
  EXPECT_TRUE(w.link.ExchangeLong(1, 0, 0, {}));
}

// --- trace ---

TEST(Tmod07Trace, SentReceivedAndLateBytes) {
  struct Entry {
    FrameTrace::Direction dir;
    Bytes bytes;
    std::uint32_t result;
  };
  std::vector<Entry> log;
  int calls = 0;
  Wired w([&](std::span<const std::uint8_t> req) {
    ++calls;
    Bytes r = ShortReplyTo(req, Bytes{7});
    if (calls == 1) r.back() ^= 1;  // the first reply has a bad checksum
    r.insert(r.begin(), 0x11);      // and every reply leading garbage
    return ScriptedReply{r};
  });
  w.Timing(10, 10, 3);
  w.link.SetTrace([&](const FrameTrace& t) {
    log.push_back({t.direction, Bytes(t.bytes.begin(), t.bytes.end()), t.result});
  });
  const Bytes late{0xAA, 0x01};
  w.channel->Inject(late);
  ASSERT_TRUE(w.link.Exchange(1, 0, 0, {}));

  const Bytes request = WithChecksum({0x55, 0x01, 0xFE, 0, 0, 0});
  const Bytes good = [&] {
    Bytes r = ShortReplyTo(request, Bytes{7});
    r.insert(r.begin(), 0x11);
    return r;
  }();
  Bytes bad = good;
  bad.back() ^= 1;
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[0].dir, FrameTrace::Direction::Late);
  EXPECT_EQ(log[0].bytes, late);
  EXPECT_EQ(log[1].dir, FrameTrace::Direction::Sent);
  EXPECT_EQ(log[1].bytes, request);
  EXPECT_EQ(log[2].dir, FrameTrace::Direction::Received);
  EXPECT_EQ(log[2].bytes, bad);
  EXPECT_EQ(log[2].result, CodeNumber(ErrorCode::BadChecksum));
  EXPECT_EQ(log[3].dir, FrameTrace::Direction::Sent);
  EXPECT_EQ(log[4].dir, FrameTrace::Direction::Received);
  EXPECT_EQ(log[4].bytes, good);
  EXPECT_EQ(log[4].result, 0u);
}

TEST(Tmod07Trace, TimeoutShowsThePartialBytes) {
  std::vector<std::pair<Bytes, std::uint32_t>> received;
  Wired w([](std::span<const std::uint8_t> req) {
    Bytes r = ShortReplyTo(req, Pattern(8));
    r.resize(5);
    return ScriptedReply{r};
  });
  w.Timing(10, 10, 1);
  w.link.SetTrace([&](const FrameTrace& t) {
    if (t.direction == FrameTrace::Direction::Received)
      received.emplace_back(Bytes(t.bytes.begin(), t.bytes.end()), t.result);
  });
  EXPECT_FALSE(w.link.Exchange(1, 15, 1, Bytes{0, 0, 8}));
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].first.size(), 5u);
  EXPECT_EQ(received[0].second, CodeNumber(ErrorCode::Timeout));
}

// --- errors, setters, carrier ---

TEST(LinkError, Texts) {
  const std::vector<std::pair<std::uint32_t, std::string>> cases{
      {0, ""},
      {1, "Ошибка посылки пакета [1]"},
      {2, "Тайм-аут [2]"},
      {3, "Неверный размер пакета [3]"},
      {4, "Неверная контрольная сумма пакета [4]"},
      {5, "Неверный адрес [5]"},
      {6, "Неверный ответ прибора [6]"},
      {7, "Неизвестная ошибка [7]"},
      {10, "Прервано пользователем [10]"},
      {100, "Ошибка инициализации порта [100]"},
      {101, "Ошибка INVALID_SOCKET операции чтения/записи [101]"},
      {102, "Ошибка инициализации WinSock [102]"},
      {105, "Ошибка соединения WinSock [105]"},
      {111, "Неверный формат IP-адреса [111]"},
      {4000000000u, "Неизвестная ошибка [4000000000]"},
  };
  for (const auto& [code, text] : cases) {
    EXPECT_EQ(LinkCodeText(code), text);
    Tmod07 link;
    link.SetFailure(MakeError(static_cast<ErrorCode>(code), {}));
    EXPECT_EQ(link.ErrorText(), text);
  }
}

TEST(Tmod07Setters, AddressesNeedADot) {
  // A host text without a dot is no address: the settings keep none.
  ConnectionSettings s;
  s.connectMode = ConnectMode::Tcp;
  s.sockIp = "10.0.0.7";
  s.dynDnsName = "meter.example.org";
  EXPECT_EQ(std::get<TcpLine>(LineTargetOf(s)).host, "10.0.0.7");
  EXPECT_EQ(std::get<TcpLine>(LineTargetOf(s)).dynDnsName, "meter.example.org");
  s.sockIp = "localhost";
  s.dynDnsName = "meter";
  EXPECT_EQ(std::get<TcpLine>(LineTargetOf(s)).host, "");
  EXPECT_EQ(std::get<TcpLine>(LineTargetOf(s)).dynDnsName, "");
}

TEST(Tmod07Carrier, AttachReplacesAndCloseDrops) {
  Wired w(Answering(frame::Form::Short, Bytes{1}));
  EXPECT_TRUE(w.link.PortOpen());
  auto second = std::make_unique<MemoryChannel>(Answering(frame::Form::Short, Bytes{2}));
  auto* ch2 = second.get();
  w.link.AttachChannel(std::move(second));
  EXPECT_EQ(w.link.Channel(), ch2);
  Bytes out(1);
  ASSERT_TRUE(w.link.Read(frame::Op::ReadBlock8, 1, 0, 1, out));
  EXPECT_EQ(out[0], 2);
  w.link.CloseLink();
  EXPECT_FALSE(w.link.PortOpen());
  w.link.CloseLink();  // closing a closed link does nothing
  EXPECT_EQ(w.link.Channel(), nullptr);
}

}  // namespace
}  // namespace statvtk::link_test
