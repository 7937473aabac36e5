// A line session: one link to one carrier (serial port, TCP, or a modem with
// its dial and hang-up), opened once, kept across the instruments read on it
// and closed once.
#pragma once

#include <vector>

#include "base/error.hpp"
#include "link/tmod07.hpp"
#include "reading/read_job.hpp"
#include "reading/run_context.hpp"

namespace statvtk {

class LineSession {
 public:
  LineSession(LineSpec spec, RunContext& ctx);
  ~LineSession();  // hangs up and closes a line still open
  LineSession(const LineSession&) = delete;
  LineSession& operator=(const LineSession&) = delete;

  // Opens the carrier. The failure is the link's cause (Stopped for a stop).
  Result<void> Open();
  // On a modem line, dials (the dialogue's steps are events); at once elsewhere.
  Result<void> Dial();
  // A modem line is hung up while the port is still open; then the port closes.
  void Close();
  bool IsOpen() const { return link_.PortOpen(); }

  Tmod07& Link() { return link_; }
  const LineSpec& Spec() const { return spec_; }
  // How the modem answered each dial.
  const std::vector<DialOutcome>& Dials() const { return dials_; }

 private:
  void HangUp();

  LineSpec spec_;
  RunContext& ctx_;
  Tmod07 link_;
  std::vector<DialOutcome> dials_;
};

}  // namespace statvtk
