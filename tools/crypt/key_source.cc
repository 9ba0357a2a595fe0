#include "tools/crypt/key_source.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

#include "tolvane/errors/error.h"
#include "tolvane/platform/code_page.h"
#include "tolvane/support/utf8.h"
#include "tools/crypt/platform.h"

namespace tolvane::crypt {
namespace {

SecureBytes ReadKeyFile(const std::string& path) {
  std::FILE* in = OpenFile(path, "rb");
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
    std::optional<std::string> value = EnvironmentVariable(options.env);
    if (!value) throw UsageError("environment variable " + options.env + " is not set");
    key = TextKeyToAnsi(*value);
    SecureWipe(value->data(), value->size());
  } else if (StandardInputIsTerminal()) {
    const SecureBytes typed = ReadLineWithoutEcho("Key: ");
    key =
        TextKeyToAnsi(std::string_view(reinterpret_cast<const char*>(typed.data()), typed.size()));
  } else {
    throw UsageError("no key given: use --key-file PATH or --key-env NAME");
  }
  if (key.empty()) throw UsageError("the key is empty");
  return key;
}

}  // namespace tolvane::crypt
