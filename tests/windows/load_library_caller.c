/* Finds every function of the C interface in tolvane.dll with LoadLibraryW and
 * GetProcAddress, as a host that binds at run time does: the names are the C lines of the
 * exported list given as the argument. Then calls three of them through their addresses.
 * Then three rounds of: load, encrypt 16 MiB on four threads, free, and within 3 seconds the
 * process has the threads it had at start again. Last it ends through exit() with the library
 * loaded and its threads started. Prints what it found; exits 1 if anything fails. The
 * functions are WINAPI (__stdcall) on 32-bit Windows, as the library's header declares. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <tlhelp32.h> /* after windows.h, which it needs */

typedef int32_t(WINAPI* CipherCreate)(void** cipher);
typedef int32_t(WINAPI* HexCode8)(const char* text, size_t size, char** result,
                                  size_t* result_size);
typedef int32_t(WINAPI* CipherDestroy)(void* cipher);
typedef void(WINAPI* Free)(void* block);
typedef int32_t(WINAPI* SetKey)(void* cipher, const uint8_t* key, size_t size);
typedef int32_t(WINAPI* SetThreads)(void* cipher, uint32_t threads);
typedef int32_t(WINAPI* Encrypt)(const void* cipher, const uint8_t* in, uint8_t* out, size_t size);

static uint8_t bulk[16 << 20];

static int ThreadCount(void) {
  THREADENTRY32 entry = {sizeof entry, 0, 0, 0, 0, 0, 0};
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  int count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    count += entry.th32OwnerProcessID == GetCurrentProcessId();
  CloseHandle(snapshot);
  return count;
}

/* Loads the library and encrypts `bulk` on four threads; NULL on failure. */
static HMODULE LoadAndRun(void) {
  HMODULE library = LoadLibraryW(L"tolvane.dll");
  void* cipher = NULL;
  if (library == NULL) return NULL;
  CipherCreate create = (CipherCreate)(void*)GetProcAddress(library, "tolvane_cipher_create");
  SetKey key = (SetKey)(void*)GetProcAddress(library, "tolvane_cipher_set_key");
  SetThreads threads = (SetThreads)(void*)GetProcAddress(library, "tolvane_cipher_set_threads");
  Encrypt encrypt = (Encrypt)(void*)GetProcAddress(library, "tolvane_encrypt");
  CipherDestroy destroy = (CipherDestroy)(void*)GetProcAddress(library, "tolvane_cipher_destroy");
  const int failed = create(&cipher) || key(cipher, bulk, 8) || threads(cipher, 4) ||
                     encrypt(cipher, bulk, bulk, sizeof bulk);
  destroy(cipher);
  return failed ? NULL : library;
}

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const int before = ThreadCount();
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
  FreeLibrary(library);
  for (int round = 0; round < 3; ++round) {
    int running = (library = LoadAndRun()) != NULL ? ThreadCount() : 0, after = 0;
    FreeLibrary(library);
    /* Closed, the pool's threads end at once; left open, they would idle for seconds. */
    for (int wait = 0; wait < 30 && (after = ThreadCount()) > before; ++wait) Sleep(100);
    if (running <= before || after > before) {
      fprintf(stderr, "round %d: threads %d, %d running, %d after\n", round, before, running,
              after);
      return 1;
    }
  }
  if (LoadAndRun() == NULL) return 1;
  exit(0);
}
