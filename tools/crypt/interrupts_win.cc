#include <windows.h>

#include "tolvane/platform/file_system.h"
#include "tools/crypt/interrupts.h"
#include "tools/crypt/terminal.h"

namespace tolvane::crypt {
namespace {

// Exit codes as a POSIX shell reports a program ended by the matching signal: SIGINT for
// Ctrl-C, the C runtime's SIGBREAK for Ctrl-Break, SIGHUP for a closed console and SIGTERM
// for logoff and shutdown.
constexpr UINT kExitCtrlC = 128 + 2;
constexpr UINT kExitCtrlBreak = 128 + 21;
constexpr UINT kExitClose = 128 + 1;
constexpr UINT kExitTerminate = 128 + 15;

// The handler runs on a thread of its own while the tool goes on, and allocates nothing.
BOOL WINAPI OnControl(DWORD event) {
  UINT code = kExitTerminate;
  switch (event) {
    case CTRL_C_EVENT:
      code = kExitCtrlC;
      break;
    case CTRL_BREAK_EVENT:
      code = kExitCtrlBreak;
      break;
    case CTRL_CLOSE_EVENT:
      code = kExitClose;
      break;
    default:
      break;
  }
  RestoreTerminalOnInterrupt();
  DiscardPendingTemporaryFiles();
  // As _exit on POSIX: no cleanup that could wait for a lock the interrupted work holds. The
  // spooled input goes with its handle (delete-on-close).
  TerminateProcess(GetCurrentProcess(), code);
  return TRUE;
}

}  // namespace

void InstallInterruptHandlers() { SetConsoleCtrlHandler(OnControl, TRUE); }

}  // namespace tolvane::crypt
