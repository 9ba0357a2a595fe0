// The entry point of tolvane.dll, built into the DLL alone: a program that links the library
// statically keeps its own.

#include <windows.h>

#include "tolvane/platform/worker_pool_win.h"

// The system calls this holding the loader lock, so nothing here waits for a thread. Unloaded
// by FreeLibrary (reserved is NULL), the DLL closes the shared pool, whose idle threads the
// system then ends. At process exit (reserved is not NULL) the system has already ended every
// other thread, perhaps inside the pool's locks: nothing is touched.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) tolvane::CloseSharedWorkerPool();
  return TRUE;
}
