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

// Set up before the flag that guards it, for the interrupt handler.
termios g_saved_state{};
volatile sig_atomic_t g_state_changed = 0;

}  // namespace

void PrepareStandardStreams() {}

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
    std::atomic_signal_fence(std::memory_order_seq_cst);
    g_state_changed = 1;
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
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
  if (have_terminal) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  g_state_changed = 0;
  std::fputc('\n', stderr);
  return line;
}

void RestoreTerminalOnInterrupt() noexcept {
  if (g_state_changed == 0) return;
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved_state);
  (void)!write(STDERR_FILENO, "\n", 1);  // the prompt's line was left open
}

}  // namespace tolvane::crypt
