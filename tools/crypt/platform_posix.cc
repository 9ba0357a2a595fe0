#include <termios.h>
#include <unistd.h>

#include <cstdlib>

#include "tools/crypt/platform.h"

namespace tolvane::crypt {

void PrepareStandardStreams() {}

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return {argv, argv + argc}; }

std::optional<std::string> EnvironmentVariable(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

bool StandardInputIsTerminal() { return isatty(STDIN_FILENO) != 0; }

SecureBytes ReadLineWithoutEcho(std::string_view prompt) {
  termios saved{};
  const bool have_terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (have_terminal) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  // Only now, with echo off and earlier typing flushed: a key typed as soon as the prompt
  // shows must neither be echoed nor thrown away by the flush.
  std::fwrite(prompt.data(), 1, prompt.size(), stderr);
  std::fflush(stderr);
  SecureBytes line;
  char c;
  while (read(STDIN_FILENO, &c, 1) == 1 && c != '\n') line.push_back(static_cast<std::uint8_t>(c));
  if (have_terminal) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  std::fputc('\n', stderr);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

}  // namespace tolvane::crypt
