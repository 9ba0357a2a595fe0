#include "tools/crypt/interrupts.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "tolvane/platform/file_system.h"
#include "tools/crypt/terminal.h"

namespace tolvane::crypt {
namespace {

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

// Where the work stands, for a handler on any thread (the cipher's workers get signals too,
// so blocking them in one thread would not do).
enum Phase : int { kWorking, kCommitting, kDone };
std::atomic<int> g_phase{kWorking};
std::atomic<int> g_deferred{0};  // a signal that came while committing
static_assert(std::atomic<int>::is_always_lock_free);

// The handlers only make async-signal-safe calls.
void OnInterrupt(int signal_number) {
  if (g_phase == kCommitting) {
    g_deferred = signal_number;
    return;
  }
  RestoreTerminalOnInterrupt();
  if (g_phase == kDone) _exit(0);
  DiscardPendingTemporaryFiles();
  _exit(128 + signal_number);
}

// Echo back on, then stop as the signal would have stopped the tool without a handler; once
// the tool continues (or was not stopped: an orphaned process group ignores stops), the
// handler is put back and a waiting prompt gets echo off again.
void OnStop(int signal_number) {
  RestoreTerminalOnStop();
  struct sigaction stop {};
  stop.sa_handler = SIG_DFL;
  sigemptyset(&stop.sa_mask);
  struct sigaction handler {};
  sigaction(signal_number, &stop, &handler);
  raise(signal_number);  // pending until unblocked: the tool stops here
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal_number);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  sigaction(signal_number, &handler, nullptr);
  QuietTerminalOnContinue();
}

sigset_t InterruptSet() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal_number : kInterrupts) sigaddset(&set, signal_number);
  return set;
}

// Installs `handler` for `signal_number` unless the tool was started with it ignored.
void Handle(int signal_number, void (*handler)(int), const sigset_t& mask) {
  struct sigaction before {};
  if (sigaction(signal_number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_mask = mask;
  sigaction(signal_number, &action, nullptr);
}

}  // namespace

void InstallInterruptHandlers() {
  // One cleanup at a time: a second signal waits until the first one's handler has exited.
  const sigset_t interrupts = InterruptSet();
  for (const int signal_number : kInterrupts) Handle(signal_number, OnInterrupt, interrupts);
  sigset_t none;
  sigemptyset(&none);
  Handle(SIGTSTP, OnStop, none);
}

void CommitUninterrupted(const std::function<void()>& commit) {
  g_phase = kCommitting;
  try {
    commit();
  } catch (...) {
    g_phase = kWorking;
    if (const int deferred = g_deferred.exchange(0); deferred != 0) OnInterrupt(deferred);
    throw;
  }
  g_phase = kDone;
}

}  // namespace tolvane::crypt
