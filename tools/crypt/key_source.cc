#include "tools/crypt/key_source.h"

#include <string_view>

#include "tolvane/base/error.h"
#include "tolvane/base/utf8.h"
#include "tolvane/core/text_cipher.h"
#include "tolvane/platform/code_page.h"
#include "tools/crypt/exact_text.h"
#include "tools/crypt/io.h"
#include "tools/crypt/terminal.h"

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

// Reads one line from the terminal with echo switched off.
SecureBytes PromptOnce(const char* prompt) {
  SecureBytes line = ReadLineWithoutEcho(prompt, kMaxKeyBytes);
  if (line.size() > kMaxKeyBytes) throw UsageError("the key typed is longer than 32767 bytes");
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// UTF-8 text to its bytes in the run's code page, refused unless every character comes back
// as itself; the intermediate copies are wiped.
SecureBytes TextKeyToAnsi(std::string_view utf8, const ResolvedCodePage& page,
                          const std::string& source) {
  std::u16string text;
  try {
    text = Utf8ToUtf16(utf8);
  } catch (const Error& e) {
    throw UsageError("the key " + source + " is not valid UTF-8 text");
  }
  const std::optional<InexactCharacter> inexact = FindInexactCharacter(page.Get(), text);
  SecureBytes key;
  if (!inexact) key = AnsiBytes(page.Get(), text);
  SecureWipe(text.data(), text.size() * sizeof(char16_t));
  if (inexact) {
    throw UsageError("the key " + source + " holds the character " +
                     DescribeCharacter(inexact->character) + ", which code page " +
                     std::to_string(page.Get().number()) +
                     " cannot hold exactly; choose one that can with --code-page N, or give "
                     "the key's bytes with --key-file PATH");
  }
  if (key.size() > kMaxKeyBytes) {
    throw UsageError("the key " + source + " is longer than the cipher's limit of 32767 bytes");
  }
  return key;
}

SecureBytes PromptForKey(const ResolvedCodePage& page, bool confirm) {
  const SecureBytes typed = PromptOnce("Key: ");
  if (confirm && PromptOnce("Key again: ") != typed) {
    throw UsageError("the two keys typed differ; nothing was done");
  }
  return TextKeyToAnsi(std::string_view(reinterpret_cast<const char*>(typed.data()), typed.size()),
                       page, "typed");
}

}  // namespace

SecureBytes ReadKey(const KeyOptions& options, const ResolvedCodePage& page, bool confirm) {
  if (!options.file.empty()) return ReadKeyFile(options.file);
  SecureBytes key;
  if (!options.env.empty()) {
    const std::optional<SecureBytes> value = EnvironmentVariable(options.env);
    if (!value) throw UsageError("environment variable " + options.env + " is not set");
    key =
        TextKeyToAnsi(std::string_view(reinterpret_cast<const char*>(value->data()), value->size()),
                      page, "in " + options.env);
  } else if (StdinIsTerminal()) {
    key = PromptForKey(page, confirm);
  } else {
    throw UsageError("no key given: use --key-file PATH or --key-env NAME");
  }
  if (key.empty()) throw UsageError("the key is empty");
  return key;
}

}  // namespace tolvane::crypt
