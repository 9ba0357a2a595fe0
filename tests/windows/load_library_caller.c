/* Finds every function of the C interface in tolvane.dll with LoadLibraryW and
 * GetProcAddress, as a host that binds at run time does: the names are the C lines of the
 * exported list given as the argument. Then calls three of them through their addresses.
 * Prints what it found; exits 1 if any name is missing. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

typedef int32_t (*CipherCreate)(void** cipher);
typedef int32_t (*HexCode8)(const char* text, size_t size, char** result, size_t* result_size);
typedef int32_t (*CipherDestroy)(void* cipher);
typedef void (*Free)(void* block);

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  HMODULE library = LoadLibraryW(L"tolvane.dll");
  if (library == NULL) {
    fprintf(stderr, "LoadLibraryW failed: %lu\n", GetLastError());
    return 1;
  }
  FILE* list = fopen(argv[1], "r");
  if (list == NULL) return 2;
  char line[256];
  int found = 0, missing = 0;
  while (fgets(line, sizeof line, list) != NULL) {
    line[strcspn(line, " \r\n#")] = 0;
    if (line[0] == 0 || strstr(line, "::") != NULL) continue;
    if (GetProcAddress(library, line) != NULL) {
      ++found;
    } else {
      fprintf(stderr, "not found: %s\n", line);
      ++missing;
    }
  }
  fclose(list);
  void* cipher = NULL;
  char* code = NULL;
  size_t size = 0;
  CipherCreate create = (CipherCreate)(void*)GetProcAddress(library, "tolvane_cipher_create");
  HexCode8 hex = (HexCode8)(void*)GetProcAddress(library, "tolvane_hex_code8");
  CipherDestroy destroy = (CipherDestroy)(void*)GetProcAddress(library, "tolvane_cipher_destroy");
  Free release = (Free)(void*)GetProcAddress(library, "tolvane_free");
  if (missing || create(&cipher) != 0 || hex("A", 1, &code, &size) != 0) return 1;
  printf("%d functions found; hex code of A: %s\n", found, code);
  release(code);
  destroy(cipher);
  return 0;
}
