// The systemd journal as the collector's log sees it: a line's words with
// its fields (STATVTK_LINE=, STATVTK_INSTRUMENT=, STATVTK_SERIAL=,
// STATVTK_ORIGIN=, STATVTK_EVENT=, MESSAGE=, PRIORITY=), so that
// `journalctl -u statvtk-collect STATVTK_LINE=L1` finds a line's story.
#pragma once

#include <memory>
#include <string>

#include "collect/fleet/log_fields.hpp"

namespace statvtk::collect {

// Where the collector's lines go instead of stderr (a test gives its own).
class JournalSink {
 public:
  virtual ~JournalSink() = default;
  // False: not taken (the line then goes to stderr).
  virtual bool Send(LogPriority priority, const std::string& message, const LogFields& fields) = 0;
};

// True when `fd` is the stream systemd connected to the journal: the
// device and inode `journalStream` names ("DEV:INODE", JOURNAL_STREAM=).
bool StreamIsJournal(int fd, const char* journalStream);

// The journal, when this program's stderr goes to it and the build has
// libsystemd; else null (the lines go to stderr as they are).
std::unique_ptr<JournalSink> SystemJournal();

}  // namespace statvtk::collect
