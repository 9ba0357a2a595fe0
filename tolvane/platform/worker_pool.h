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

  // Owned by the pool, under its lock once the job is queued.
  bool pooled = false;
  std::size_t next = 0;     // the first index no thread has claimed yet
  std::size_t running = 0;  // indices claimed by workers and not yet finished
  SliceJob* queue_next = nullptr;
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
// Submit and Finish come in pairs on the same thread; use PooledJob to pair them. The cipher
// code is handed a pool (most callers hand it Shared()), so that it never owns threads itself.
class WorkerPool {
 public:
  WorkerPool();
  // Lets the workers empty the queue, then joins them.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // The process's pool, shared by every caller; started on first use.
  static WorkerPool& Shared() noexcept;

  // Queues `job` for up to `workers` threads besides the caller; with none, or one slice, the
  // job is simply left for Finish to run.
  void Submit(SliceJob& job, std::size_t workers) noexcept;
  void Finish(SliceJob& job) noexcept;

 private:
  struct State;
  State* state_;
};

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
