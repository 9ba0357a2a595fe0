#include <windows.h>

#include <atomic>
#include <cstring>

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

// The handler runs on a thread of its own while the tool goes on: everything it reads is set
// up before the flag that guards it, and it allocates nothing.
wchar_t g_temporary_file[MAX_PATH];
wchar_t g_temporary_folder[MAX_PATH];
std::atomic<int> g_temporary_set{0};

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
  if (g_temporary_set.load() != 0) {
    DeleteFileW(g_temporary_file);
    RemoveDirectoryW(g_temporary_folder);
  }
  // As _exit on POSIX: no cleanup that could wait for a lock the interrupted work holds. The
  // spooled input goes with its handle (delete-on-close).
  TerminateProcess(GetCurrentProcess(), code);
  return TRUE;
}

bool CopyPath(wchar_t* to, const std::filesystem::path& from) {
  const std::wstring& text = from.native();
  if (text.size() >= MAX_PATH) return false;
  std::memcpy(to, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  return true;
}

}  // namespace

void InstallInterruptHandlers() { SetConsoleCtrlHandler(OnControl, TRUE); }

void RememberTemporaryFile(const std::filesystem::path& file, const std::filesystem::path& folder) {
  g_temporary_set.store(0);
  if (CopyPath(g_temporary_file, file) && CopyPath(g_temporary_folder, folder)) {
    g_temporary_set.store(1);
  }
}

void ForgetTemporaryFile() noexcept { g_temporary_set.store(0); }

}  // namespace tolvane::crypt
