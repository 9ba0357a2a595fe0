#include <windows.h>

#include <atomic>

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

// Where the work stands, for the handler's thread.
enum Phase : int { kWorking, kCommitting, kDone };
std::atomic<int> g_phase{kWorking};
std::atomic<DWORD> g_deferred{0};  // an event that came while committing, plus one

// The handler runs on a thread of its own while the tool goes on, and allocates nothing.
BOOL WINAPI OnControl(DWORD event) {
  if (g_phase == kCommitting) {
    g_deferred = event + 1;
    return TRUE;
  }
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
  if (g_phase == kDone) TerminateProcess(GetCurrentProcess(), 0);
  DiscardPendingTemporaryFiles();
  // As _exit on POSIX: no cleanup that could wait for a lock the interrupted work holds. The
  // spooled input goes with its handle (delete-on-close).
  TerminateProcess(GetCurrentProcess(), code);
  return TRUE;
}

}  // namespace

void InstallInterruptHandlers() { SetConsoleCtrlHandler(OnControl, TRUE); }

void CommitUninterrupted(const std::function<void()>& commit) {
  g_phase = kCommitting;
  try {
    commit();
  } catch (...) {
    g_phase = kWorking;
    if (const DWORD deferred = g_deferred.exchange(0); deferred != 0) OnControl(deferred - 1);
    throw;
  }
  g_phase = kDone;
}

}  // namespace tolvane::crypt
