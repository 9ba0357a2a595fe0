#include "tolvane/platform/worker_pool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include <unistd.h>

namespace tolvane {
namespace {
std::atomic<unsigned> g_fresh_starts{0};
}  // namespace

unsigned WorkerPoolFreshStarts() noexcept { return g_fresh_starts; }

// One lock guards the queue and every job's counters. Slices are large (a lock per slice
// costs nothing next to them), and one lock keeps the hand-over between threads easy to
// check: a job is only touched under the lock, and its caller returns only once the lock
// has shown that no worker holds any of its slices.
struct WorkerPool::State {
  ~State() {
    // A forked child that exits normally must not wait for workers it does not have.
    if (Forked()) StartAfresh();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    work_ready_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

  // Queues the job; false when there is no worker to take it.
  bool Submit(SliceJob& job, std::size_t workers) noexcept {
    std::size_t wake = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      StartWorkers(workers);
      if (threads_.empty()) return false;
      if (tail_ != nullptr) {
        tail_->queue_next = &job;
      } else {
        head_ = &job;
      }
      tail_ = &job;
      // The caller takes one slice itself.
      wake = std::min(job.slices - 1, threads_.size());
    }
    for (std::size_t i = 0; i < wake; ++i) work_ready_.notify_one();
    return true;
  }

  void Finish(SliceJob& job) noexcept {
    std::unique_lock<std::mutex> lock(mutex_);
    while (job.next < job.slices) {
      const std::size_t index = Claim(job);
      lock.unlock();
      job.run(job.context, index);
      lock.lock();
    }
    slice_done_.wait(lock, [&] { return job.running == 0; });
  }

  // Whether this process is a child forked since the pool last started afresh. Read before
  // the lock is taken: in such a child the lock may be held for ever by a thread that stayed
  // with the parent.
  bool Forked() const noexcept { return owner_ != getpid(); }

  // A forked child has only the thread that forked. The workers stayed with the parent, and
  // the lock and the conditions are in whatever state the parent's threads left them: made
  // anew here, without being destroyed, and the next job starts workers of its own. The
  // thread objects name threads this process does not have; they are let go (detached)
  // rather than joined, which would wait for ever. Queued jobs belong to threads that are gone.
  void StartAfresh() noexcept {
    new (&mutex_) std::mutex;
    new (&work_ready_) std::condition_variable;
    new (&slice_done_) std::condition_variable;
    for (std::thread& t : threads_) t.detach();
    threads_.clear();
    head_ = tail_ = nullptr;
    stopping_ = false;
    owner_ = getpid();
    ++g_fresh_starts;
  }

  // Grows the pool to `count` threads. A thread that cannot be started is not an error: the
  // work is shared among the threads there are.
  void StartWorkers(std::size_t count) noexcept {
    try {
      if (threads_.size() < count) threads_.reserve(count);
      while (threads_.size() < count) threads_.emplace_back([this] { WorkerLoop(); });
    } catch (...) {
    }
  }

  // Takes the next index of a job that has one left; a job whose last index is taken leaves
  // the queue. Called under the lock.
  std::size_t Claim(SliceJob& job) noexcept {
    const std::size_t index = job.next++;
    if (job.next == job.slices) Unqueue(job);
    return index;
  }

  void Unqueue(SliceJob& job) noexcept {
    SliceJob* previous = nullptr;
    for (SliceJob* j = head_; j != nullptr; previous = j, j = j->queue_next) {
      if (j != &job) continue;
      (previous != nullptr ? previous->queue_next : head_) = j->queue_next;
      if (tail_ == j) tail_ = previous;
      j->queue_next = nullptr;
      return;
    }
  }

  void WorkerLoop() noexcept {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      work_ready_.wait(lock, [this] { return stopping_ || head_ != nullptr; });
      if (head_ == nullptr) return;
      SliceJob& job = *head_;
      const std::size_t index = Claim(job);
      ++job.running;
      lock.unlock();
      job.run(job.context, index);
      lock.lock();
      // Under the lock, so the caller cannot see the count reach zero and drop the job
      // before this thread is done with it.
      if (--job.running == 0) slice_done_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable slice_done_;
  SliceJob* head_ = nullptr;
  SliceJob* tail_ = nullptr;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
  pid_t owner_ = getpid();
};

WorkerPool::WorkerPool() : state_(new State) {}

WorkerPool::~WorkerPool() { delete state_; }

WorkerPool& WorkerPool::Shared() noexcept {
  static WorkerPool pool;
  return pool;
}

void WorkerPool::Submit(SliceJob& job, std::size_t workers) noexcept {
  if (state_->Forked()) state_->StartAfresh();
  job.next = 0;
  job.running = 0;
  job.queue_next = nullptr;
  job.pooled = workers != 0 && job.slices > 1 && state_->Submit(job, workers);
}

void WorkerPool::Finish(SliceJob& job) noexcept {
  if (job.pooled) {
    state_->Finish(job);
    return;
  }
  for (; job.next < job.slices; ++job.next) job.run(job.context, job.next);
}

}  // namespace tolvane
