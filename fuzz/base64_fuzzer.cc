// Base64Decode on arbitrary text: it returns bytes or throws tolvane::Error, nothing else;
// the narrow and the UTF-16 forms agree; a result has three bytes for every four alphabet
// characters; and the standard encoding of any buffer, with or without line breaks, decodes
// back to that buffer.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tolvane/base/error.h"
#include "tolvane/support/base64.h"

namespace tolvane::fuzz {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// RFC 4648 section 4, with a line break after every `line` characters when `line` is not 0.
std::string Encode(const std::vector<std::uint8_t>& bytes, std::size_t line) {
  std::string out;
  const auto put = [&](char c) {
    if (line != 0 && !out.empty() && (out.size() + 1) % (line + 1) == 0) out.push_back('\n');
    out.push_back(c);
  };
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = std::uint32_t{bytes[i]} << 16;
    if (n > 1) group |= std::uint32_t{bytes[i + 1]} << 8;
    if (n > 2) group |= bytes[i + 2];
    put(kAlphabet[group >> 18]);
    put(kAlphabet[(group >> 12) & 63]);
    put(n > 1 ? kAlphabet[(group >> 6) & 63] : '=');
    put(n > 2 ? kAlphabet[group & 63] : '=');
  }
  return out;
}

template <typename Text>
std::optional<std::vector<std::uint8_t>> Decode(const Text& text) {
  try {
    return Base64Decode(text);
  } catch (const Error& e) {
    FUZZ_CHECK(e.number() == kErrInvalidCall);
    return std::nullopt;
  } catch (...) {
    FUZZ_CHECK(!"Base64Decode threw something other than tolvane::Error");
  }
  return std::nullopt;
}

std::size_t AlphabetCharacters(std::string_view text) {
  std::size_t n = 0;
  for (const char c : text) n += std::string_view(kAlphabet).find(c) != std::string_view::npos;
  return n;
}

}  // namespace
}  // namespace tolvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tolvane::fuzz;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto narrow = Decode(text);
  const std::u16string wide(text.begin(), text.end());  // each byte one code unit
  FUZZ_CHECK(Decode(std::u16string_view(wide)) == narrow);
  if (narrow) FUZZ_CHECK(narrow->size() == AlphabetCharacters(text) * 3 / 4);

  // Any code unit outside the alphabet's byte range (a byte pair read as UTF-16) is refused.
  std::u16string units;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    units.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  }
  const auto from_units = Decode(std::u16string_view(units));
  for (const char16_t c : units) {
    if (c > 0xFF) FUZZ_CHECK(!from_units);
  }

  const std::vector<std::uint8_t> bytes(data, data + size);
  for (const std::size_t line : {std::size_t{0}, std::size_t{76}, std::size_t{1 + size % 7}}) {
    const auto back = Decode(Encode(bytes, line));
    FUZZ_CHECK(back && *back == bytes);
  }
  return 0;
}
