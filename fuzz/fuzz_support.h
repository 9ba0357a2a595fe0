#ifndef TOLVANE_FUZZ_FUZZ_SUPPORT_H_
#define TOLVANE_FUZZ_FUZZ_SUPPORT_H_

// What every fuzz target shares: a hard stop on a broken property, a count of the messages a
// call showed, and a cursor over the fuzzer's bytes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/message_capture_testing.h"

// Stops the run with a line saying which property broke; libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                               \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
      __builtin_trap();                                                                     \
    }                                                                                       \
  } while (false)

namespace tolvane::fuzz {

// The messages shown since the last call, in place of the message box. One per process:
// every target installs it before its first call.
inline std::vector<std::string> TakeMessages() {
  static testing::MessageCapture capture;
  return capture.Take();
}

// Reads the fuzzer's bytes front to back; past the end everything is zero or empty.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::uint16_t Word() {
    const std::uint16_t low = Byte();
    return static_cast<std::uint16_t>(low | (Byte() << 8));
  }
  std::vector<std::uint8_t> Bytes(std::size_t count) {
    count = std::min(count, size_ - pos_);
    std::vector<std::uint8_t> bytes(data_ + pos_, data_ + pos_ + count);
    pos_ += count;
    return bytes;
  }
  std::vector<std::uint8_t> Rest() { return Bytes(size_ - pos_); }
  // The rest as UTF-16 code units, two bytes each, low byte first; an odd last byte is dropped.
  std::u16string RestAsText() {
    std::u16string text;
    while (size_ - pos_ >= 2) text.push_back(static_cast<char16_t>(Word()));
    pos_ = size_;
    return text;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

}  // namespace tolvane::fuzz

#endif  // TOLVANE_FUZZ_FUZZ_SUPPORT_H_
