// The worker pool on its own: workers take part in a job, and every caller waiting for its
// job's last slices is woken, however many wait at once.

#include "tolvane/platform/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace tolvane {
namespace {

// Each slice records its thread, then waits (a while at most) until two threads have run
// slices: the caller alone would wait out every slice.
struct Recorder {
  std::atomic<int> seen{0};
  std::thread::id first;
  std::atomic<bool> other{false};

  static void Run(const void* context, std::size_t) noexcept {
    auto& r = *static_cast<Recorder*>(const_cast<void*>(context));
    if (r.seen++ == 0) r.first = std::this_thread::get_id();
    // (first is written before seen reaches 1 for every other thread that reads it below)
    if (r.seen > 1 && std::this_thread::get_id() != r.first) r.other = true;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!r.other && std::chrono::steady_clock::now() < until) std::this_thread::yield();
  }
};

TEST(WorkerPool, WorkersTakePartInAJob) {
  WorkerPool pool;
  Recorder recorder;
  SliceJob job;
  job.run = &Recorder::Run;
  job.context = &recorder;
  job.slices = 4;
  const auto start = std::chrono::steady_clock::now();
  { const PooledJob running(pool, job, 2); }
  EXPECT_TRUE(recorder.other) << "every slice ran on one thread";
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

#ifndef _WIN32
// A job of two slices whose caller waits until a worker holds the other one, which the worker
// keeps until the test releases it: the caller is then waiting for the worker.
struct GatedJob {
  SliceJob job;
  std::thread::id caller;
  std::atomic<bool> worker_in{false};
  std::atomic<bool> release{false};
  std::atomic<bool> done{false};

  static bool WaitFor(const std::atomic<bool>& flag, std::chrono::seconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!flag && std::chrono::steady_clock::now() < until) std::this_thread::yield();
    return flag;
  }
  static void Run(const void* context, std::size_t) noexcept {
    auto& g = *static_cast<GatedJob*>(const_cast<void*>(context));
    if (std::this_thread::get_id() == g.caller) {
      WaitFor(g.worker_in, std::chrono::seconds(5));
    } else {
      g.worker_in = true;
      WaitFor(g.release, std::chrono::seconds(10));
    }
  }
  void Call(WorkerPool& pool) {
    caller = std::this_thread::get_id();
    job.run = &Run;
    job.context = this;
    job.slices = 2;
    { const PooledJob running(pool, job, 4); }
    done = true;
  }
};

// Two callers wait for slices the workers hold; the one that waited first is not the one whose
// job ends first. A wake-up that reaches one waiting caller only wakes the wrong one, and the
// other waits for ever. Run in a child, so that a hang fails the test instead of stopping it.
TEST(WorkerPool, EveryWaitingCallerIsWoken) {
  const pid_t child = fork();
  if (child == 0) {
    alarm(30);
    WorkerPool pool;
    SliceJob warm_up;
    warm_up.run = [](const void*, std::size_t) noexcept {};
    warm_up.slices = 8;
    { const PooledJob running(pool, warm_up, 4); }  // four workers from here on
    GatedJob first, second;
    std::thread first_caller([&] { first.Call(pool); });
    GatedJob::WaitFor(first.worker_in, std::chrono::seconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // waiting by now
    std::thread second_caller([&] { second.Call(pool); });
    GatedJob::WaitFor(second.worker_in, std::chrono::seconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    second.release = true;
    const bool second_woken = GatedJob::WaitFor(second.done, std::chrono::seconds(3));
    first.release = true;
    const bool first_woken = GatedJob::WaitFor(first.done, std::chrono::seconds(3));
    if (!second_woken || !first_woken) _exit(second_woken ? 2 : 1);
    first_caller.join();
    second_caller.join();
    _exit(0);
  }
  ASSERT_GT(child, 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

// A child forked from a process whose pool has workers starts workers of its own once and keeps
// them: both of its jobs are shared with a worker. Run in a child, as the other test.
TEST(WorkerPool, AForkedChildStartsItsOwnWorkersOnce) {
#if defined(__SANITIZE_ADDRESS__)
  // GCC 12's AddressSanitizer does not hold its allocator's lock across fork: a parent thread
  // may own it at that moment, and the child's new workers then wait for it for ever (seen in
  // about one run in fifteen). Glibc's allocator, which every other build uses, is fork-safe.
  GTEST_SKIP() << "AddressSanitizer's allocator is not fork-safe with threads";
#endif
  WorkerPool pool;
  const auto share = [&pool] {
    Recorder recorder;
    SliceJob job;
    job.run = &Recorder::Run;
    job.context = &recorder;
    job.slices = 4;
    { const PooledJob running(pool, job, 2); }
    return recorder.other && recorder.seen == 4;  // shared, and each slice run once
  };
  ASSERT_TRUE(share());
  const pid_t child = fork();
  if (child == 0) {
    alarm(30);
    const unsigned before = WorkerPoolFreshStarts();
    const bool first = share(), second = share();
    _exit(first && second && WorkerPoolFreshStarts() == before + 1 ? 0 : 1);
  }
  ASSERT_GT(child, 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}
#endif

}  // namespace
}  // namespace tolvane
