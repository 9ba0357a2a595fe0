#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/crypt/terminal.h"

namespace tolvane::crypt {
namespace {

// Set up before the flag that guards them, for the signal handlers.
termios g_saved_state{};
termios g_quiet_state{};
const char* g_prompt = "";
volatile sig_atomic_t g_state_changed = 0;

bool g_closed_at_start[2] = {false, false};

void WriteText(const char* text) noexcept { (void)!write(STDERR_FILENO, text, std::strlen(text)); }

}  // namespace

void PrepareStandardStreams() {
  // Lowest first: open gives the lowest free descriptor, so each lands where it is missing.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd < 2) g_closed_at_start[fd] = true;
    const int null_fd = open("/dev/null", O_RDWR);
    if (null_fd != fd) {
      // Nothing else can be open yet; without /dev/null the tool cannot run safely.
      _exit(1);
    }
  }
  signal(SIGPIPE, SIG_IGN);
}

bool StandardStreamWasClosed(int stream) noexcept {
  return stream >= 0 && stream < 2 && g_closed_at_start[stream];
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return {argv, argv + argc}; }

std::optional<SecureBytes> EnvironmentVariable(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return SecureBytes(value, value + std::strlen(value));
}

bool StdinIsTerminal() { return isatty(STDIN_FILENO) != 0; }
bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

SecureBytes ReadLineWithoutEcho(const char* prompt, std::size_t limit) {
  termios saved{};
  const bool have_terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (have_terminal) {
    g_state_changed = 0;
    g_saved_state = saved;
    g_quiet_state = saved;
    g_quiet_state.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    g_prompt = prompt;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    g_state_changed = 1;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_quiet_state);
  }
  // Only now, with echo off and earlier typing flushed: a key typed as soon as the prompt
  // shows must neither be echoed nor thrown away by the flush.
  std::fputs(prompt, stderr);
  std::fflush(stderr);
  SecureBytes line;
  char c;
  for (;;) {
    const ssize_t n = read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n != 1 || c == '\n') break;
    if (line.size() <= limit) line.push_back(static_cast<std::uint8_t>(c));
  }
  c = 0;
  // A continue between the two steps would switch echo off again for good.
  sigset_t stops, before;
  sigemptyset(&stops);
  sigaddset(&stops, SIGTSTP);
  sigaddset(&stops, SIGCONT);
  sigprocmask(SIG_BLOCK, &stops, &before);
  if (have_terminal) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  g_state_changed = 0;
  sigprocmask(SIG_SETMASK, &before, nullptr);
  std::fputc('\n', stderr);
  return line;
}

void RestoreTerminalOnInterrupt() noexcept {
  if (g_state_changed == 0) return;
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved_state);
  WriteText("\n");  // the prompt's line was left open
}

void RestoreTerminalOnStop() noexcept {
  if (g_state_changed == 0) return;
  const int saved_errno = errno;
  tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_state);
  WriteText("\n");
  errno = saved_errno;
}

void QuietTerminalOnContinue() noexcept {
  if (g_state_changed == 0) return;
  const int saved_errno = errno;
  tcsetattr(STDIN_FILENO, TCSANOW, &g_quiet_state);
  WriteText(g_prompt);
  errno = saved_errno;
}

}  // namespace tolvane::crypt
