#include "tools/crypt/key_source.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "tolvane/errors/error.h"
#include "tolvane/platform/code_page.h"
#include "tolvane/support/utf8.h"

namespace tolvane::crypt {
namespace {

SecureBytes ReadKeyFile(const std::string& path) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    throw Error(kErrFileNotFound,
                "File not found: key file \"" + path + "\": " + std::strerror(errno));
  }
  SecureBytes key;
  int c;
  while ((c = std::fgetc(in)) != EOF) key.push_back(static_cast<std::uint8_t>(c));
  const bool failed = std::ferror(in) != 0;
  std::fclose(in);
  if (failed) throw Error(kErrPathAccess, "cannot read key file \"" + path + "\"");
  return key;
}

// Reads one line from the terminal with echo switched off.
SecureBytes PromptForKey() {
  termios saved{};
  const bool have_terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (have_terminal) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  // Only now, with echo off and earlier typing flushed: a key typed as soon as the prompt
  // shows must neither be echoed nor thrown away by the flush.
  std::fputs("Key: ", stderr);
  std::fflush(stderr);
  SecureBytes line;
  char c;
  while (read(STDIN_FILENO, &c, 1) == 1 && c != '\n') line.push_back(static_cast<std::uint8_t>(c));
  if (have_terminal) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  std::fputc('\n', stderr);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// UTF-8 text to its bytes in the active ANSI code page; the intermediate copies are wiped.
SecureBytes TextKeyToAnsi(std::string_view utf8) {
  std::u16string text = Utf8ToUtf16(utf8);
  SecureBytes key(text.size());
  TextToAnsi(text, key);
  SecureWipe(text.data(), text.size() * sizeof(char16_t));
  return key;
}

}  // namespace

SecureBytes ReadKey(const KeyOptions& options) {
  SecureBytes key;
  if (!options.file.empty()) {
    key = ReadKeyFile(options.file);
  } else if (!options.env.empty()) {
    const char* value = std::getenv(options.env.c_str());
    if (value == nullptr) throw UsageError("environment variable " + options.env + " is not set");
    key = TextKeyToAnsi(value);
  } else if (isatty(STDIN_FILENO)) {
    const SecureBytes typed = PromptForKey();
    key =
        TextKeyToAnsi(std::string_view(reinterpret_cast<const char*>(typed.data()), typed.size()));
  } else {
    throw UsageError("no key given: use --key-file PATH or --key-env NAME");
  }
  if (key.empty()) throw UsageError("the key is empty");
  return key;
}

}  // namespace tolvane::crypt
