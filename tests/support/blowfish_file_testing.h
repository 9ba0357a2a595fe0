#ifndef TOLVANE_TESTS_SUPPORT_BLOWFISH_FILE_TESTING_H_
#define TOLVANE_TESTS_SUPPORT_BLOWFISH_FILE_TESTING_H_

// What the file method tests share: the messages, the format's pieces and a fixture with a
// keyed instance, a fresh folder and captured messages.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tests/support/file_system_testing.h"
#include "tests/support/message_capture_testing.h"
#include "tolvane/cipher/blowfish.h"

namespace tolvane::file_testing {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::MessageCapture;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

inline const std::string kEncLabel = "Blowfish, sFileEncrypt";
inline const std::string kDecLabel = "Blowfish, sFileDecrypt";
inline const std::string kNotKeyed = "(-2147218103 - Call sInitBF before calling this sub)";
inline const std::string kNotFound = "(-2147218102 - Source file is not found)";
inline const std::string kSubscript = "(9 - Subscript out of range)";
inline const std::string kOverflow = "(6 - Overflow)";

inline Blowfish Keyed(const ByteArray& key) {
  Blowfish bf;
  bf.sInitBF(key);
  return bf;
}

inline Bytes RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  Bytes bytes(n);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(gen());
  return bytes;
}

inline Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline Bytes LengthHeader(std::int32_t length) {
  const auto v = static_cast<std::uint32_t>(length);
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
          static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

// The cipher data the format prescribes: the plaintext zero-padded, through sEncrypt.
inline Bytes CipherOf(Blowfish& bf, Bytes plain) {
  plain.resize((plain.size() + 7) / 8 * 8);
  if (plain.empty()) return {};
  ByteArray out(plain.size());
  bf.sEncrypt(plain, out);
  return out.ToVector();
}

class BlowfishFileTest : public ::testing::Test {
 protected:
  Blowfish bf_ = Keyed({'s', 'e', 'c', 'r', 'e', 't'});
  TempFolder dir_;
  MessageCapture capture_;
};

}  // namespace tolvane::file_testing

#endif  // TOLVANE_TESTS_SUPPORT_BLOWFISH_FILE_TESTING_H_
