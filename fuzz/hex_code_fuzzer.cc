// fHexCodeToString on arbitrary text: nothing escapes, the result is either empty with exactly
// one message or the decoded text with none; fStringToHexCode's output always decodes back.
//
// Input: one byte of options, then the text. Options: bit 0 takes each further byte as one
// code unit (so that digits are common) instead of two bytes a unit; bit 1 stretches the text
// by repetition to the limits of 8192 code units and 32768 digits, give or take a few.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz/fuzz_support.h"
#include "tolvane/cipher/blowfish.h"

namespace tolvane::fuzz {
namespace {

constexpr std::size_t kMaxDigits = 32768;
constexpr std::size_t kMaxTextUnits = 8192;

std::optional<unsigned> DigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return std::nullopt;
}

// The documented decoding, written out step by step: pairs of digits are bytes, two bytes a
// code unit with the low byte first. Of an odd count 2k + 1 the last digit is a byte alone
// when k is even and is not read when k is odd; an odd last byte is a code unit of its own.
// Nothing when a digit that is read is not hexadecimal.
std::optional<std::u16string> Decode(const std::u16string& hex) {
  std::u16string bytes;  // one element per decoded byte
  const std::size_t n = hex.size();
  const std::size_t pairs = n / 2;
  for (std::size_t i = 0; i < pairs; ++i) {
    const auto high = DigitValue(hex[2 * i]);
    const auto low = DigitValue(hex[2 * i + 1]);
    if (!high || !low) return std::nullopt;
    bytes.push_back(static_cast<char16_t>(*high * 16 + *low));
  }
  if (n % 2 == 1 && pairs % 2 == 0) {
    const auto last = DigitValue(hex[n - 1]);
    if (!last) return std::nullopt;
    bytes.push_back(static_cast<char16_t>(*last));
  }
  std::u16string text;
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    const char16_t high = i + 1 < bytes.size() ? bytes[i + 1] : 0;
    text.push_back(static_cast<char16_t>(bytes[i] | (high << 8)));
  }
  return text;
}

std::u16string Stretch(const std::u16string& text, std::size_t length) {
  if (text.empty()) return text;
  std::u16string out;
  out.reserve(length);
  while (out.size() < length) out.push_back(text[out.size() % text.size()]);
  return out;
}

bool Contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

void CheckDecoding(Blowfish& bf, const std::u16string& hex) {
  std::u16string result;
  try {
    result = bf.fHexCodeToString(hex);
  } catch (...) {
    FUZZ_CHECK(!"fHexCodeToString let an exception escape");
  }
  const auto messages = TakeMessages();
  FUZZ_CHECK(messages.size() <= 1);
  if (hex.size() > kMaxDigits) {
    FUZZ_CHECK(result.empty() && messages.size() == 1);
    FUZZ_CHECK(messages[0] == "Blowfish, fHexCodeToString(6 - Overflow)");
    return;
  }
  const auto expected = Decode(hex);
  if (!expected) {
    FUZZ_CHECK(result.empty() && messages.size() == 1);
    FUZZ_CHECK(messages[0] == "Blowfish, fHexCodeToString(13 - Type mismatch)");
    return;
  }
  FUZZ_CHECK(messages.empty());
  FUZZ_CHECK(result == *expected);
}

void CheckEncoding(Blowfish& bf, const std::u16string& text) {
  const std::u16string hex = bf.fStringToHexCode(text);
  const auto messages = TakeMessages();
  if (text.size() > kMaxTextUnits) {
    FUZZ_CHECK(hex.empty() && messages.size() == 1);
    FUZZ_CHECK(Contains(messages[0], "(6 - Overflow)"));
    return;
  }
  FUZZ_CHECK(messages.empty());
  FUZZ_CHECK(hex.size() == 4 * text.size());
  for (const char16_t c : hex) FUZZ_CHECK((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'));
  FUZZ_CHECK(bf.fHexCodeToString(hex) == text);
  FUZZ_CHECK(TakeMessages().empty());
}

}  // namespace
}  // namespace tolvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tolvane::fuzz;
  TakeMessages();
  Input input(data, size);
  const std::uint8_t options = input.Byte();
  std::u16string text;
  if (options & 1) {
    for (const std::uint8_t b : input.Rest()) text.push_back(b);
  } else {
    text = input.RestAsText();
  }
  // An unkeyed instance: the hexadecimal code needs no key.
  tolvane::Blowfish bf;
  if (options & 2) {
    const std::size_t delta = options >> 4;  // 0 to 15
    CheckDecoding(bf, Stretch(text, kMaxDigits - 8 + delta));
    CheckEncoding(bf, Stretch(text, kMaxTextUnits - 8 + delta));
  } else {
    CheckDecoding(bf, text);
    CheckEncoding(bf, text);
  }
  return 0;
}
