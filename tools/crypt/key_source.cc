#include "tools/crypt/key_source.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "tolvane/errors/error.h"
#include "tolvane/platform/code_page.h"
#include "tolvane/support/utf8.h"
#include "tools/crypt/exact_text.h"
#include "tools/crypt/interrupts.h"
#include "tools/crypt/io.h"

namespace tolvane::crypt {
namespace {

SecureBytes ReadKeyFile(const std::string& path) {
  SecureBytes key;
  try {
    key = ReadAll(path, kMaxKeyBytes);
  } catch (const Error& e) {
    if (e.number() != kErrOverflow) throw;
    throw Error(kErrOverflow, "the key file is longer than the cipher's limit of 32767 bytes");
  }
  if (key.empty()) throw Error(kErrInvalidCall, "the key file is empty");
  return key;
}

// Reads one line from the terminal with echo switched off. An interrupt meanwhile puts echo
// back before the tool exits.
SecureBytes PromptOnce(const char* prompt) {
  termios saved{};
  const bool have_terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (have_terminal) {
    RememberTerminalState(STDIN_FILENO, saved);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  // Only now, with echo off and earlier typing flushed: a key typed as soon as the prompt
  // shows must neither be echoed nor thrown away by the flush.
  std::fputs(prompt, stderr);
  std::fflush(stderr);
  SecureBytes line;
  bool too_long = false;
  char c;
  for (;;) {
    const ssize_t n = read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n != 1 || c == '\n') break;
    // Keep reading to the end of the line, so that the rest is not taken as a command.
    if (line.size() <= kMaxKeyBytes) line.push_back(static_cast<std::uint8_t>(c));
    too_long = line.size() > kMaxKeyBytes;
  }
  if (have_terminal) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  ForgetTerminalState();
  std::fputc('\n', stderr);
  if (too_long) throw UsageError("the key typed is longer than 32767 bytes");
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// UTF-8 text to its bytes in the active ANSI code page, refused unless every character comes
// back as itself; the intermediate copies are wiped.
SecureBytes TextKeyToAnsi(std::string_view utf8, const std::string& source) {
  std::u16string text;
  try {
    text = Utf8ToUtf16(utf8);
  } catch (const Error& e) {
    throw UsageError("the key " + source + " is not valid UTF-8 text");
  }
  const std::optional<InexactCharacter> inexact = FindInexactCharacter(text);
  SecureBytes key(text.size());
  if (!inexact) TextToAnsi(text, key);
  SecureWipe(text.data(), text.size() * sizeof(char16_t));
  if (inexact) {
    throw UsageError("the key " + source + " holds the character " +
                     DescribeCharacter(inexact->character) + ", which code page " +
                     std::to_string(AnsiCodePage()) +
                     " cannot hold exactly; choose one that can with --code-page N, or give "
                     "the key's bytes with --key-file PATH");
  }
  if (key.size() > kMaxKeyBytes) {
    throw UsageError("the key " + source + " is longer than the cipher's limit of 32767 bytes");
  }
  return key;
}

SecureBytes PromptForKey(bool confirm) {
  const SecureBytes typed = PromptOnce("Key: ");
  if (confirm && PromptOnce("Key again: ") != typed) {
    throw UsageError("the two keys typed differ; nothing was done");
  }
  return TextKeyToAnsi(std::string_view(reinterpret_cast<const char*>(typed.data()), typed.size()),
                       "typed");
}

}  // namespace

SecureBytes ReadKey(const KeyOptions& options, bool confirm) {
  if (!options.file.empty()) return ReadKeyFile(options.file);
  SecureBytes key;
  if (!options.env.empty()) {
    const char* value = std::getenv(options.env.c_str());
    if (value == nullptr) throw UsageError("environment variable " + options.env + " is not set");
    key = TextKeyToAnsi(value, "in " + options.env);
  } else if (isatty(STDIN_FILENO)) {
    key = PromptForKey(confirm);
  } else {
    throw UsageError("no key given: use --key-file PATH or --key-env NAME");
  }
  if (key.empty()) throw UsageError("the key is empty");
  return key;
}

}  // namespace tolvane::crypt
