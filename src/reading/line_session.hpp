// A line session: one link to one carrier (serial port, TCP, or a modem with
// its dial and hang-up), opened once, kept across the instruments read on it
// and closed once.
#pragma once

#include <string>

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

  // Opens the carrier ("OpenPort: ..." in the log) and, on a modem line,
  // dials. The failure carries the link's code (Stopped for a stop) and, for
  // an opening, the words of the log's message.
  enum class Stage { Open, Dial };
  struct OpenFailure {
    Stage stage;
    Error error;
  };
  std::optional<OpenFailure> Open();
  // A modem line is hung up while the port is still open; then the port closes.
  void Close();
  bool IsOpen() const { return link_.PortOpen(); }

  Tmod07& Link() { return link_; }
  const Tmod07& Link() const { return link_; }
  const LineSpec& Spec() const { return spec_; }
  // "COM1, 9600 bps", "Модем, COM1" or "host:port".
  std::string Description() const;
  std::string PortText() const { return link_.SerialPath(); }
  // The link's code of the failure just seen; WrongReply when it has none.
  ErrorCode FailureCode() const;

 private:
  void HangUp();

  LineSpec spec_;
  RunContext& ctx_;
  Tmod07 link_;
};

}  // namespace statvtk
