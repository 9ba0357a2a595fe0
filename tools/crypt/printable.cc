#include "tools/crypt/printable.h"

#include <cstdint>
#include <cstdio>

#include "tolvane/base/utf8.h"

namespace tolvane::crypt {
namespace {

// Whether the character is a control character: U+0000-001F, U+007F-009F.
bool IsControl(char32_t character) {
  return character < 0x20 || (character >= 0x7F && character < 0xA0);
}

void AppendEscaped(std::string& out, std::string_view bytes) {
  for (const char c : bytes) {
    switch (c) {
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default: {
        char code[8];
        std::snprintf(code, sizeof code, "\\x%02X",
                      static_cast<unsigned>(static_cast<std::uint8_t>(c)));
        out += code;
      }
    }
  }
}

// Printable's work; with `quoting`, also " and \ escaped. Tells whether anything was.
bool Escape(std::string_view text, bool quoting, std::string& out) {
  bool escaped = false;
  while (!text.empty()) {
    const Utf8Sequence sequence = DecodeUtf8(text);
    const std::size_t length = sequence.length;
    if (length == 0 || IsControl(sequence.code_point)) {
      AppendEscaped(out, text.substr(0, length == 0 ? 1 : length));
      escaped = true;
    } else if (quoting && (text[0] == '"' || text[0] == '\\')) {
      out += '\\';
      out += text[0];
    } else {
      out.append(text.substr(0, length));
    }
    text.remove_prefix(length == 0 ? 1 : length);
  }
  return escaped;
}

}  // namespace

std::string Printable(std::string_view text) {
  std::string out;
  Escape(text, false, out);
  return out;
}

std::string ListedName(std::string_view name) {
  std::string plain;
  if (!Escape(name, false, plain) && (name.empty() || name[0] != '"')) return plain;
  std::string quoted = "\"";
  Escape(name, true, quoted);
  return quoted + "\"";
}

}  // namespace tolvane::crypt
