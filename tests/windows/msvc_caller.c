/* A C caller as MSVC compiles it (clang in MSVC mode, linked by lld-link against tolvane.lib),
 * freestanding: its own entry point and kernel32 through an import library, since no MSVC C
 * run-time is at hand. With the key "msvc key" it encrypts plain.txt into msvc.enc, with a
 * progress callback, decrypts that into msvc.dec, and prints the hexadecimal code of the
 * cipher text of "Grüße aus Wine" and the total its callback saw. Exits with the first error
 * number, after printing its message; ends through ExitProcess with the library's threads
 * started (16 MiB encrypted on four). */
#include <tolvane/tolvane.h>

typedef void* HANDLE;
__declspec(dllimport) HANDLE __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(HANDLE file, const void* data, unsigned long size,
                                              unsigned long* written, void* overlapped);
__declspec(dllimport) void __stdcall ExitProcess(unsigned int code);

#define STD_OUTPUT_HANDLE ((unsigned long)-11)

static void Print(const char* text, size_t size) {
  unsigned long written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, (unsigned long)size, &written, 0);
}

static size_t Length(const char* text) {
  size_t size = 0;
  while (text[size] != 0) ++size;
  return size;
}

static void Check(int32_t status) {
  if (status == 0) return;
  const char* message = tolvane_last_error_message();
  Print("error: ", 7);
  Print(message, Length(message));
  Print("\n", 1);
  ExitProcess((unsigned int)status);
}

static int32_t TOLVANE_CALL Progress(void* context, uint64_t done, uint64_t total) {
  (void)done;
  *(uint64_t*)context = total;
  return 0;
}

static uint8_t bulk[16 << 20];

void start(void) {
  static const uint8_t key[] = {'m', 's', 'v', 'c', ' ', 'k', 'e', 'y'};
  static const uint16_t text[] = {'G', 'r', 0xFC, 0xDF, 'e', ' ', 'a',
                                  'u', 's', ' ',  'W',  'i', 'n', 'e'};
  tolvane_cipher* cipher = 0;
  uint64_t total = 0;
  uint32_t shown;
  uint16_t* sealed = 0;
  uint16_t* code = 0;
  size_t sealed_units = 0, code_units = 0, i;
  char line[80];
  if (tolvane_abi_version() != TOLVANE_ABI_VERSION) ExitProcess(2);
  Check(tolvane_cipher_create(&cipher));
  Check(tolvane_cipher_set_key(cipher, key, sizeof key));
  Check(tolvane_encrypt_file(cipher, "plain.txt", "msvc.enc", Progress, &total));
  Check(tolvane_decrypt_file(cipher, "msvc.enc", "msvc.dec", 0, 0));
  Check(tolvane_encrypt_text16(cipher, text, sizeof text / sizeof text[0], &sealed, &sealed_units));
  Check(tolvane_hex_code16(sealed, sealed_units, &code, &code_units));
  Check(tolvane_cipher_set_threads(cipher, 4));
  Check(tolvane_encrypt(cipher, bulk, bulk, sizeof bulk));
  for (i = 0; i < code_units && i < sizeof line; ++i) line[i] = (char)code[i];
  Print(line, i);
  Print("\n", 1);
  tolvane_free(code);
  tolvane_free(sealed);
  tolvane_cipher_destroy(cipher);
  /* Printed as 32 bits: a freestanding 32-bit program has no helper for 64-bit division. */
  if (total > 0xFFFFFFFFu) ExitProcess(3);
  for (shown = (uint32_t)total, i = 0; shown > 0 && i < 20; ++i, shown /= 10) {
    line[19 - i] = (char)('0' + shown % 10);
  }
  Print(line + 20 - i, i);
  Print("\n", 1);
  ExitProcess(0);
}
