#include <tolvane/cipher/blowfish.h>

#include <cstdio>

// Enciphers the published all-zero vector; prints the cipher block in hexadecimal.
int main() {
  tolvane::Blowfish bf;
  bf.sInitBF(tolvane::ByteArray(8));
  tolvane::ByteArray out(8);
  bf.sEncrypt(tolvane::ByteArray(8), out);
  for (std::uint8_t b : out) std::printf("%02X", b);
  std::printf("\n");
  return 0;
}
