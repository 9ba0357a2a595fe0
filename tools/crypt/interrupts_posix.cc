#include "tools/crypt/interrupts.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "tolvane/platform/file_system.h"

namespace tolvane::crypt {
namespace {

// Everything the handler reads is set up before the flag that guards it, and the handler only
// makes async-signal-safe calls.
termios g_terminal_state{};
int g_terminal_fd = -1;
volatile sig_atomic_t g_terminal_saved = 0;

char g_temporary_file[PATH_MAX];
char g_temporary_folder[PATH_MAX];
volatile sig_atomic_t g_temporary_set = 0;

void OnInterrupt(int signal_number) {
  if (g_terminal_saved != 0) {
    tcsetattr(g_terminal_fd, TCSAFLUSH, &g_terminal_state);
    (void)!write(STDERR_FILENO, "\n", 1);  // the prompt's line was left open
  }
  DiscardPendingTemporaryFiles();
  if (g_temporary_set != 0) {
    unlink(g_temporary_file);
    rmdir(g_temporary_folder);
  }
  _exit(128 + signal_number);
}

bool CopyPath(char* to, const std::filesystem::path& from) {
  const std::string& text = from.native();
  if (text.size() >= PATH_MAX) return false;
  std::memcpy(to, text.c_str(), text.size() + 1);
  return true;
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

void RememberTerminalState(int fd, const termios& state) noexcept {
  g_terminal_saved = 0;
  g_terminal_state = state;
  g_terminal_fd = fd;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_terminal_saved = 1;
}

void ForgetTerminalState() noexcept { g_terminal_saved = 0; }

void RememberTemporaryFile(const std::filesystem::path& file, const std::filesystem::path& folder) {
  g_temporary_set = 0;
  if (CopyPath(g_temporary_file, file) && CopyPath(g_temporary_folder, folder)) {
    std::atomic_signal_fence(std::memory_order_seq_cst);
    g_temporary_set = 1;
  }
}

void ForgetTemporaryFile() noexcept { g_temporary_set = 0; }

}  // namespace tolvane::crypt
