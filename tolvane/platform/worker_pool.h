#ifndef TOLVANE_PLATFORM_WORKER_POOL_H_
#define TOLVANE_PLATFORM_WORKER_POOL_H_

#include <cstddef>

namespace tolvane {

// Work cut into `slices` independent pieces, run by `run(context, index)` for each index
// from 0 to slices - 1. Lives on the submitting caller's stack; the pool never allocates.
//
// `run` must not throw and must not fail: by the time a job is submitted, every check has
// been made. Each index is run exactly once, by the caller or by one worker.
struct SliceJob {
  void (*run)(const void* context, std::size_t index) noexcept = nullptr;
  const void* context = nullptr;
  std::size_t slices = 0;

  // Owned by the pool from Submit to Finish.
  bool pooled = false;
  std::size_t next = 0;     // the first index no thread has claimed yet
  std::size_t running = 0;  // indices claimed by workers and not yet finished
  SliceJob* queue_next = nullptr;
  void* work = nullptr;  // the system's work object that runs the job, where there is one
};

// A set of threads that run sliced jobs: started on first use, as many as the largest
// `workers` asked for, and kept for later jobs. A caller submits a job, may do other work
// meanwhile, and then finishes it: it runs every slice no worker has claimed yet and waits for
// the rest. A job therefore completes even when every worker is busy elsewhere (or none could
// be started), and jobs from several callers at once simply queue.
//
// Starting a thread can fail (the system is out of threads or memory); the pool then keeps
// the workers it has and the callers do the remaining work themselves. Nothing here throws.
//
// Submit and Finish come in pairs on the same thread; use PooledJob to pair them. Once Finish
// returns, no worker runs anything of the job. The cipher code is handed a pool (most callers
// hand it Shared()), so that it never owns threads itself.
//
// On POSIX the workers are the pool's own threads. On Windows they come from a private pool
// of the system's thread pool, whose threads are the system's: no code of this library waits
// for them to end, so that a DLL built from it can be unloaded and its process can exit while
// the system holds the loader lock.
class WorkerPool {
 public:
  WorkerPool();
  // POSIX: lets the workers empty the queue, then joins them. Windows: hands the threads back
  // to the system without waiting.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // The process's pool, shared by every caller; started on first use. On Windows it is never
  // destroyed: the DLL closes it when unloaded (worker_pool_win.h).
  static WorkerPool& Shared() noexcept;

  // Queues `job` for up to `workers` threads besides the caller; with none, or one slice, the
  // job is simply left for Finish to run.
  void Submit(SliceJob& job, std::size_t workers) noexcept;
  void Finish(SliceJob& job) noexcept;

 private:
  struct State;
  State* state_;
};

#ifndef _WIN32
// How often a pool of this process has started afresh in a forked child; for tests.
unsigned WorkerPoolFreshStarts() noexcept;
#endif

// Submits on construction and finishes on destruction, so that a job is never left running
// on buffers that are about to go away, exceptions included.
class PooledJob {
 public:
  PooledJob(WorkerPool& pool, SliceJob& job, std::size_t workers) noexcept
      : pool_(pool), job_(job) {
    pool_.Submit(job_, workers);
  }
  ~PooledJob() { pool_.Finish(job_); }
  PooledJob(const PooledJob&) = delete;
  PooledJob& operator=(const PooledJob&) = delete;

 private:
  WorkerPool& pool_;
  SliceJob& job_;
};

}  // namespace tolvane

#endif  // TOLVANE_PLATFORM_WORKER_POOL_H_
