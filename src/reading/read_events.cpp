#include "reading/read_events.hpp"

namespace statvtk {

bool IsBlockRead(FailedAt at) {
  switch (at) {
    case FailedAt::Rtc:
    case FailedAt::Ram:
    case FailedAt::Config:
    case FailedAt::DataEeprom:
    case FailedAt::Archive:
    case FailedAt::Events:
    case FailedAt::HourlyLast:
    case FailedAt::DailyLast:
    case FailedAt::ArchiveMemory: return true;
    default: return false;
  }
}

}  // namespace statvtk
