#ifndef TOLVANE_PLATFORM_WORKER_POOL_WIN_H_
#define TOLVANE_PLATFORM_WORKER_POOL_WIN_H_

// What the entry point of the Windows DLL needs of the worker pool.

namespace tolvane {

// Closes the shared pool, when it was started, without waiting for its threads: the system
// ends them once they are idle. For the DLL's entry point when FreeLibrary unloads it, never at
// process exit; no call into the library may be running then.
void CloseSharedWorkerPool() noexcept;

}  // namespace tolvane

#endif  // TOLVANE_PLATFORM_WORKER_POOL_WIN_H_
