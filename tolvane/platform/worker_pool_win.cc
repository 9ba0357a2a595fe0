#include "tolvane/platform/worker_pool.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "tolvane/platform/worker_pool_win.h"

namespace tolvane {
namespace {

// Runs the slices of `job` that no thread has claimed yet. The caller and the pool's callbacks
// claim through the one counter, so each index runs once, whoever gets to it.
void RunUnclaimed(SliceJob& job) noexcept {
  std::atomic_ref<std::size_t> next(job.next);
  for (std::size_t index; (index = next.fetch_add(1, std::memory_order_relaxed)) < job.slices;) {
    job.run(job.context, index);
  }
}

void CALLBACK RunSlices(PTP_CALLBACK_INSTANCE, void* job, PTP_WORK) noexcept {
  RunUnclaimed(*static_cast<SliceJob*>(job));
}

// The shared pool, once started; see CloseSharedWorkerPool.
WorkerPool* shared_pool = nullptr;

}  // namespace

// A private pool of the system's thread pool, made on first use, whose thread maximum is the
// largest number of workers asked for. Each job is one work object bound to it, submitted once
// per worker.
struct WorkerPool::State {
  ~State() {
    if (pool == nullptr) return;
    // Threads still idle in the pool are the system's to end; nothing waits for them.
    DestroyThreadpoolEnvironment(&environment);
    CloseThreadpool(pool);
  }

  // A work object for `job` on the pool, which may run `workers` threads at once; nullptr
  // when the system cannot make the pool or the object.
  PTP_WORK NewWork(SliceJob& job, std::size_t workers) noexcept {
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(workers, MAXDWORD));
    AcquireSRWLockExclusive(&lock);
    if (pool == nullptr && (pool = CreateThreadpool(nullptr)) != nullptr) {
      InitializeThreadpoolEnvironment(&environment);
      SetThreadpoolCallbackPool(&environment, pool);
    }
    if (pool != nullptr && maximum < wanted) {
      SetThreadpoolThreadMaximum(pool, wanted);
      maximum = wanted;
    }
    PTP_WORK work =
        pool == nullptr ? nullptr : CreateThreadpoolWork(&RunSlices, &job, &environment);
    ReleaseSRWLockExclusive(&lock);
    return work;
  }

  SRWLOCK lock = SRWLOCK_INIT;
  PTP_POOL pool = nullptr;
  DWORD maximum = 0;
  TP_CALLBACK_ENVIRON environment{};
};

WorkerPool::WorkerPool() : state_(new State) {}

WorkerPool::~WorkerPool() { delete state_; }

WorkerPool& WorkerPool::Shared() noexcept {
  // Never destroyed by a static destructor: that would run at process exit too, after the
  // system has ended the pool's threads, perhaps inside the pool's own locks.
  static WorkerPool* const pool = shared_pool = new WorkerPool;
  return *pool;
}

void CloseSharedWorkerPool() noexcept {
  delete shared_pool;
  shared_pool = nullptr;
}

void WorkerPool::Submit(SliceJob& job, std::size_t workers) noexcept {
  job.next = 0;
  job.pooled = false;
  job.work = nullptr;
  if (workers == 0 || job.slices < 2) return;
  // The caller takes a slice itself; more callbacks than the other slices would find nothing.
  const std::size_t callbacks = std::min(workers, job.slices - 1);
  PTP_WORK work = state_->NewWork(job, workers);
  if (work == nullptr) return;  // the caller does it all
  job.work = work;
  job.pooled = true;
  for (std::size_t i = 0; i < callbacks; ++i) SubmitThreadpoolWork(work);
}

void WorkerPool::Finish(SliceJob& job) noexcept {
  RunUnclaimed(job);
  if (!job.pooled) return;
  // Every slice is claimed: callbacks not started yet would find nothing and are cancelled;
  // those running are waited for. After this, nothing of the job runs on a pool thread.
  auto* work = static_cast<PTP_WORK>(job.work);
  WaitForThreadpoolWorkCallbacks(work, TRUE);
  CloseThreadpoolWork(work);
  job.work = nullptr;
  job.pooled = false;
}

}  // namespace tolvane
