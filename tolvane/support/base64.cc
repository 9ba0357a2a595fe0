#include "tolvane/support/base64.h"

#include <array>
#include <cstdio>
#include <string>
#include <type_traits>

#include "tolvane/base/error.h"
#include "tolvane/base/wipe.h"

namespace tolvane {
namespace {

// What each code unit below 256 means to the decoder: its 6-bit value, or one of these.
constexpr std::uint8_t kBad = 0xFF;
constexpr std::uint8_t kSpace = 0xFE;
constexpr std::uint8_t kPad = 0xFD;

constexpr std::array<std::uint8_t, 256> MakeTable() {
  constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::array<std::uint8_t, 256> table{};
  table.fill(kBad);
  for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
    table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
  }
  for (const char c : {' ', '\t', '\r', '\n'}) table[static_cast<unsigned char>(c)] = kSpace;
  table['='] = kPad;
  return table;
}

constexpr std::array<std::uint8_t, 256> kTable = MakeTable();

// Names a code unit readably: 'x' when printable ASCII, else its number.
std::string Describe(std::uint32_t unit, bool utf16) {
  char buffer[32];
  if (unit >= 0x21 && unit <= 0x7E) {
    std::snprintf(buffer, sizeof buffer, "character '%c'", static_cast<char>(unit));
  } else if (utf16) {
    std::snprintf(buffer, sizeof buffer, "character U+%04X", static_cast<unsigned>(unit));
  } else {
    std::snprintf(buffer, sizeof buffer, "byte 0x%02X", static_cast<unsigned>(unit));
  }
  return buffer;
}

// Wipes what was decoded so far (it may be key material) and throws.
[[noreturn]] void Fail(std::vector<std::uint8_t>& out, const std::string& what) {
  SecureWipe(out.data(), out.size());
  throw Error(kErrInvalidCall, "Invalid Base64 text: " + what);
}

std::string MisplacedPad(std::size_t offset) {
  return "misplaced '=' at offset " + std::to_string(offset) +
         " (padding may only close the last group)";
}

template <typename Char>
std::vector<std::uint8_t> Decode(std::basic_string_view<Char> text) {
  using Unit = std::make_unsigned_t<Char>;
  // Sized for the most the text can hold, so the buffer never moves and leaves no copy
  // behind; cut to what was decoded at the end.
  std::vector<std::uint8_t> out(text.size() / 4 * 3);
  std::size_t size = 0;

  std::uint32_t bits = 0;    // the current group's 6-bit values, oldest first
  int filled = 0;            // data characters in the current group
  int pads = 0;              // "=" characters in the current group
  bool closed = false;       // a padded group has ended the data
  std::size_t group_at = 0;  // offset of the current group's first character
  std::size_t pad_at = 0;    // offset of the current group's first "="

  const auto lookup = [&text](std::size_t i) -> std::uint8_t {
    const Unit unit = static_cast<Unit>(text[i]);
    return unit < kTable.size() ? kTable[unit] : kBad;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    // Fast path: four data characters in a row form a whole group. Every value that is not
    // data has its top bit set, so one test over the four tells.
    if (filled == 0 && pads == 0 && text.size() - i >= 4) {
      const std::uint32_t a = lookup(i), b = lookup(i + 1), c = lookup(i + 2), d = lookup(i + 3);
      if (((a | b | c | d) & 0xC0) == 0) {
        const std::uint32_t group = a << 18 | b << 12 | c << 6 | d;
        out[size++] = static_cast<std::uint8_t>(group >> 16);
        out[size++] = static_cast<std::uint8_t>(group >> 8);
        out[size++] = static_cast<std::uint8_t>(group);
        i += 3;
        continue;
      }
    }
    const std::uint8_t value = lookup(i);
    if (value < 64) {
      if (pads != 0) Fail(out, MisplacedPad(pad_at));
      if (filled == 0) group_at = i;
      bits = bits << 6 | value;
      if (++filled == 4) {
        out[size++] = static_cast<std::uint8_t>(bits >> 16);
        out[size++] = static_cast<std::uint8_t>(bits >> 8);
        out[size++] = static_cast<std::uint8_t>(bits);
        bits = 0;
        filled = 0;
      }
    } else if (value == kPad) {
      if (closed || filled == 0) Fail(out, MisplacedPad(i));
      if (filled == 1) {
        Fail(out, "the group at offset " + std::to_string(group_at) +
                      " has a single character, which encodes no whole byte");
      }
      if (pads++ == 0) pad_at = i;
      if (filled + pads == 4) {
        // Two characters carry one byte (12 bits), three carry two (18 bits); the bits
        // left over are ignored.
        if (filled == 2) {
          out[size++] = static_cast<std::uint8_t>(bits >> 4);
        } else {
          out[size++] = static_cast<std::uint8_t>(bits >> 10);
          out[size++] = static_cast<std::uint8_t>(bits >> 2);
        }
        closed = true;
        filled = 0;
      }
    } else if (value != kSpace) {
      Fail(out, Describe(static_cast<Unit>(text[i]), sizeof(Char) > 1) + " at offset " +
                    std::to_string(i) + " is not in the Base64 alphabet");
    }
  }
  if (filled == 1 && pads == 0) {
    Fail(out, "the group at offset " + std::to_string(group_at) +
                  " has a single character, which encodes no whole byte");
  }
  if (!closed && filled + pads != 0) {
    Fail(out, "the text ends inside the group at offset " + std::to_string(group_at) + " (" +
                  std::to_string(filled + pads) + " of 4 characters)");
  }
  out.resize(size);
  return out;
}

}  // namespace

std::vector<std::uint8_t> Base64Decode(std::string_view text) { return Decode(text); }

std::vector<std::uint8_t> Base64Decode(std::u16string_view text) { return Decode(text); }

}  // namespace tolvane
