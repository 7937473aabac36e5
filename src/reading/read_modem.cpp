// The job's modem steps: dialing after the port is open, hanging up before
// it is closed. Nothing happens on the serial and TCP transports.
#include "reading/modem_dialer.hpp"
#include "reading/read_thread.hpp"

namespace statvtk {

namespace {
ModemDialJob DialJobOf(const ReadJob& j) {
  ModemDialJob d;
  d.phoneNo = j.phoneNo;
  d.pulse = j.pulseDial;
  d.attempts = j.reconnects;
  d.connectWaitS = j.connectWaitS;
  d.initString = j.initString;
  d.modem = j.connectMode == ConnectMode::Modem;
  return d;
}
}  // namespace

bool TReadThread::ModemDial() {
  if (job_.connectMode != ConnectMode::Modem) return true;
  ModemDialer dialer(link_, obs_, link_.AbortFlag(), DialJobOf(job_), modemStep_);
  // The dialer's attempt count (0 after an abort) lives for this run only:
  // the next run dials with the job's own count again.
  return dialer.ModemConnect();
}

void TReadThread::ModemHangUpIfModem() {
  if (job_.connectMode != ConnectMode::Modem) return;
  ModemDialer dialer(link_, obs_, link_.AbortFlag(), DialJobOf(job_), modemStep_);
  dialer.ModemHangUp();
}

}  // namespace statvtk
