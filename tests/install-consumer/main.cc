#include <tolvane/cipher/blowfish.h>
#include <tolvane/support/registry.h>
#include <tolvane/tolvane.hpp>

#include <algorithm>
#include <array>
#include <cstdio>

// Enciphers the published all-zero vector with the legacy face and the C++ face; prints the
// cipher block in hexadecimal when both agree. Given an argument, it also reads that setting,
// which makes it link the settings store.
int main(int argc, char** argv) {
  if (argc > 1) std::printf("%s\n", tolvane::ReadRegValue(argv[1]) ? "set" : "unset");
  tolvane::Blowfish bf;
  bf.sInitBF(tolvane::ByteArray(8));
  tolvane::ByteArray out(8);
  bf.sEncrypt(tolvane::ByteArray(8), out);

  const std::array<std::uint8_t, 8> zero{};
  std::array<std::uint8_t, 8> block{};
  tolvane::Cipher(zero).Encrypt(zero, block);
  if (!std::equal(block.begin(), block.end(), out.begin())) return 1;
  for (std::uint8_t b : out) std::printf("%02X", b);
  std::printf("\n");
  return 0;
}
