// The program's way of showing a read: each event of the reading engine
// becomes the texts the program has always shown, on a ReadObserver, in the
// order they have always come; after an instrument's statistics read its
// file is written (the step after the read). The desktop, the command line
// and the collector each show a read through one of these, in their style.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "front/download_file.hpp"
#include "front/part_texts.hpp"
#include "front/read_observer.hpp"
#include "reading/read_events.hpp"
#include "reading/read_result.hpp"

namespace statvtk {

struct PartStyle {
  LinkWording wording = LinkWording::System;
  // Each event on one line: "message: cause", no line breaks (a log file, the journal).
  bool oneLine = false;
  // No stop sentence and no line naming each address of several (the collector).
  bool quiet = false;
  // No stage texts (a poll of an open window).
  bool quietStages = false;
  // Each step of a modem's dialling as the stage text ("Набор ..., попытка 2 из 3: занято").
  bool dialStages = false;
  // No statistics file after a read: the front end writes its own (the collector, after storing).
  bool noFile = false;
};

// What a front end keeps of one instrument's read.
struct ReadReport {
  ReadResult result;           // the engine's, with the data
  DownloadFile file;           // the step after it (path empty: none was taken)
  bool delivered = false;      // statistics or current values were handed over
  std::optional<Stage> stage;  // the stage the read was in when it ended (none before the identification)
};

class PartSink : public ReadEvents {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  PartSink(ReadObserver& obs, std::filesystem::path home, PartStyle style = {});

  void On(const ReadEvent& e) override;

  void SetHome(std::filesystem::path home) { home_ = std::move(home); }
  void SetStyle(const PartStyle& style) { style_ = style; }
  // The clock the files are named by (tests); empty: the PC's.
  void SetClock(Clock clock) { clock_ = std::move(clock); }
  // Each instrument's read of the last run, in the order they ended.
  const std::vector<ReadReport>& Reports() const { return reports_; }
  const LineSpec& Line() const { return line_; }

 private:
  struct Handler;
  void Log(const std::string& text);
  void Status(const std::string& text);
  void StopExit();
  // "message\r\nДополнительная информация: cause", or on one line "message: cause".
  std::string WithCause(const std::string& message, const std::string& cause) const;
  void End(const ReadResult& r, PlanKind plan);
  void EndFailed(const ReadResult& r, ReadReport& report);
  void EndDone(const ReadResult& r, PlanKind plan, ReadReport& report);
  void FinishStatistics(const ReadResult& r, bool stopped, ReadReport& report);
  DownloadFile WriteFile(const StatData& data);
  void SearchEnded(const LineResult& r);

  ReadObserver& obs_;
  std::filesystem::path home_;
  PartStyle style_;
  Clock clock_;
  LineSpec line_;
  std::size_t count_ = 0;
  std::optional<Stage> stage_;  // of the instrument being read
  bool search_ = false;
  std::size_t probe_ = 0, probes_ = 0;
  std::vector<ReadReport> reports_;
};

}  // namespace statvtk
