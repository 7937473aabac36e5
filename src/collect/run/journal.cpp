#include "collect/run/journal.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <vector>

#ifdef STATVTK_HAVE_SYSTEMD
#include <sys/uio.h>
#include <systemd/sd-journal.h>
#endif

#include "base/printable_text.hpp"

namespace statvtk::collect {

bool StreamIsJournal(int fd, const char* journalStream) {
  if (!journalStream) return false;
  std::uintmax_t dev = 0, ino = 0;
  if (std::sscanf(journalStream, "%ju:%ju", &dev, &ino) != 2) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  return static_cast<std::uintmax_t>(st.st_dev) == dev && static_cast<std::uintmax_t>(st.st_ino) == ino;
}

#ifdef STATVTK_HAVE_SYSTEMD

namespace {

class SystemdJournal final : public JournalSink {
 public:
  bool Send(LogPriority priority, const std::string& message, const LogFields& fields) override {
    std::vector<std::string> items{"MESSAGE=" + PrintableText(message),
                                   "PRIORITY=" + std::to_string(static_cast<int>(priority)),
                                   "SYSLOG_IDENTIFIER=statvtk-collect"};
    const auto add = [&items](const char* key, const std::string& value) {
      if (!value.empty()) items.push_back(std::string(key) + "=" + PrintableText(value));
    };
    add("STATVTK_LINE", fields.line);
    add("STATVTK_INSTRUMENT", fields.instrument);
    add("STATVTK_SERIAL", fields.serial);
    add("STATVTK_ORIGIN", fields.origin);
    add("STATVTK_EVENT", std::string(EventWord(fields.event)));
    std::vector<iovec> io;
    for (auto& i : items) io.push_back({i.data(), i.size()});
    return sd_journal_sendv(io.data(), static_cast<int>(io.size())) >= 0;
  }
};

}  // namespace

std::unique_ptr<JournalSink> SystemJournal() {
  if (!StreamIsJournal(STDERR_FILENO, std::getenv("JOURNAL_STREAM"))) return nullptr;
  return std::make_unique<SystemdJournal>();
}

#else

std::unique_ptr<JournalSink> SystemJournal() { return nullptr; }

#endif

}  // namespace statvtk::collect
