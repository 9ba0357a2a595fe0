#include "tools/crypt/printable.h"

#include <cstdint>
#include <cstdio>

namespace tolvane::crypt {
namespace {

// The length of the valid UTF-8 sequence at the start of `s`, or 0 when there is none.
std::size_t SequenceLength(std::string_view s) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
  const std::uint8_t lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  std::uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
  } else {
    return 0;
  }
  if (s.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

bool IsControl(std::string_view sequence) {
  const auto lead = static_cast<std::uint8_t>(sequence[0]);
  if (sequence.size() == 1) return lead < 0x20 || lead == 0x7F;
  // U+0080-009F, the C1 controls, are C2 80 to C2 9F.
  return lead == 0xC2 && static_cast<std::uint8_t>(sequence[1]) < 0xA0;
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
    const std::size_t length = SequenceLength(text);
    if (length == 0 || IsControl(text.substr(0, length))) {
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
