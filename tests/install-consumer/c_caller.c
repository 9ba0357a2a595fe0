/* A C99 program on the C interface alone: keys a cipher with the published all-zero key,
 * encrypts the all-zero block in place and prints it in hexadecimal; then the hexadecimal code
 * of "A", which the library allocates and tolvane_free releases. */
#include <stdio.h>
#include <tolvane/tolvane.h>

int main(void) {
  if (tolvane_abi_version() != TOLVANE_ABI_VERSION) return 2;
  tolvane_cipher* cipher = NULL;
  uint8_t block[8] = {0};
  int32_t status = tolvane_cipher_create(&cipher);
  if (status == 0) status = tolvane_cipher_set_key(cipher, block, sizeof block);
  if (status == 0) status = tolvane_encrypt(cipher, block, block, sizeof block);
  tolvane_cipher_destroy(cipher);
  char* code = NULL;
  size_t size = 0;
  if (status == 0) status = tolvane_hex_code8("A", 1, &code, &size);
  if (status != 0) {
    fprintf(stderr, "error %ld: %s\n", (long)status, tolvane_last_error_message());
    return 1;
  }
  for (size_t i = 0; i < sizeof block; ++i) printf("%02X", block[i]);
  printf(" %s\n", code);
  tolvane_free(code);
  return 0;
}
