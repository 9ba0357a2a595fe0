#include "tools/crypt/interrupts.h"

#include <signal.h>
#include <unistd.h>

#include "tolvane/platform/file_system.h"
#include "tools/crypt/terminal.h"

namespace tolvane::crypt {
namespace {

// The handler only makes async-signal-safe calls.
void OnInterrupt(int signal_number) {
  RestoreTerminalOnInterrupt();
  DiscardPendingTemporaryFiles();
  _exit(128 + signal_number);
}

}  // namespace

void InstallInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // One cleanup at a time: a second signal waits until the first one's handler has exited.
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    sigaddset(&action.sa_mask, signal_number);
  }
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    sigaction(signal_number, &action, nullptr);
  }
}

}  // namespace tolvane::crypt
