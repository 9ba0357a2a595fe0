#ifndef TOLVANE_BASE_UTF8_H_
#define TOLVANE_BASE_UTF8_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tolvane {

// In the public C++ API, for the core's text and for tolvane-crypt. The pieces below the two
// conversions are inline: the tool uses them one character at a time, where text must
// be looked at or written without a copy (escaping, wiped buffers), and a shared library
// need not export them.

// Decodes UTF-8 into UTF-16 code units. Throws tolvane::Error 5 with the byte offset for
// anything that is not well-formed UTF-8 (overlong forms, surrogates, truncated sequences):
// the offset of Utf8Sequence::fault.
std::u16string Utf8ToUtf16(std::string_view utf8);

// Encodes UTF-16 as UTF-8. A lone surrogate, which has no UTF-8 form, becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// The sequence at the start of some UTF-8 text, as DecodeUtf8 finds it.
struct Utf8Sequence {
  char32_t code_point = 0;
  // Its bytes; 0 when the text does not start with a well-formed sequence.
  std::size_t length = 0;
  // For one that is not well-formed, the offset of the byte to blame: a byte that should
  // continue the sequence and does not, else 0, the lead byte (one that leads nothing, a
  // sequence cut short by the end of the text, or an overlong form, a surrogate or a value
  // beyond U+10FFFF).
  std::size_t fault = 0;
};

// The character at the start of `utf8`, which must not be empty.
constexpr Utf8Sequence DecodeUtf8(std::string_view utf8) noexcept {
  const auto byte = [utf8](std::size_t i) { return static_cast<std::uint8_t>(utf8[i]); };
  const std::uint8_t lead = byte(0);
  if (lead < 0x80) return {lead, 1, 0};
  std::size_t extra = 0;
  char32_t c = 0;
  char32_t min = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, c = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, c = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, c = lead & 0x07, min = 0x10000;
  } else {
    return {};
  }
  if (utf8.size() <= extra) return {};
  for (std::size_t k = 1; k <= extra; ++k) {
    if ((byte(k) & 0xC0) != 0x80) return {0, 0, k};
    c = (c << 6) | (byte(k) & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return {};
  return {c, extra + 1, 0};
}

// Appends the UTF-8 form of `code_point` (U+0000 to U+10FFFF, no surrogate) to `out`, a
// string or a container of bytes: the caller picks one that wipes when the text is secret.
template <typename Bytes>
void AppendUtf8(Bytes& out, char32_t code_point) {
  using Unit = typename Bytes::value_type;
  const auto put = [&out](char32_t bits) { out.push_back(static_cast<Unit>(bits)); };
  if (code_point < 0x80) {
    put(code_point);
  } else if (code_point < 0x800) {
    put(0xC0 | (code_point >> 6));
    put(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    put(0xE0 | (code_point >> 12));
    put(0x80 | ((code_point >> 6) & 0x3F));
    put(0x80 | (code_point & 0x3F));
  } else {
    put(0xF0 | (code_point >> 18));
    put(0x80 | ((code_point >> 12) & 0x3F));
    put(0x80 | ((code_point >> 6) & 0x3F));
    put(0x80 | (code_point & 0x3F));
  }
}

constexpr bool IsHighSurrogate(char32_t unit) noexcept { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool IsLowSurrogate(char32_t unit) noexcept { return unit >= 0xDC00 && unit <= 0xDFFF; }
constexpr bool IsSurrogate(char32_t unit) noexcept { return unit >= 0xD800 && unit <= 0xDFFF; }
// The character a surrogate pair stands for.
constexpr char32_t CombineSurrogates(char32_t high, char32_t low) noexcept {
  return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

// One character of UTF-16 text, as DecodeUtf16 finds it.
struct Utf16Character {
  char32_t code_point = 0;
  std::size_t length = 0;  // code units: 2 for a surrogate pair, else 1
};

// The character at index `at` of `utf16` (at < size): the character a surrogate pair stands
// for, else the code unit itself, a lone surrogate included (IsSurrogate tells it apart).
// Counting the calls from the start counts characters.
constexpr Utf16Character DecodeUtf16(std::u16string_view utf16, std::size_t at) noexcept {
  const char32_t unit = utf16[at];
  if (IsHighSurrogate(unit) && at + 1 < utf16.size() && IsLowSurrogate(utf16[at + 1])) {
    return {CombineSurrogates(unit, utf16[at + 1]), 2};
  }
  return {unit, 1};
}

}  // namespace tolvane

#endif  // TOLVANE_BASE_UTF8_H_
