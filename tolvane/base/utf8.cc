#include "tolvane/base/utf8.h"

#include <cstdint>

#include "tolvane/base/error.h"

namespace tolvane {
namespace {

constexpr std::int32_t kErrInvalidArgument = 5;

[[noreturn]] void ThrowMalformed(std::size_t offset) {
  throw Error(kErrInvalidArgument,
              "Invalid procedure call or argument: text is not valid UTF-8 at byte " +
                  std::to_string(offset));
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const Utf8Sequence sequence = DecodeUtf8(utf8.substr(i));
    if (sequence.length == 0) ThrowMalformed(i + sequence.fault);
    const char32_t c = sequence.code_point;
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += sequence.length;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size();) {
    const Utf16Character character = DecodeUtf16(utf16, i);
    AppendUtf8(out, IsSurrogate(character.code_point) ? U'\uFFFD' : character.code_point);
    i += character.length;
  }
  return out;
}

}  // namespace tolvane
