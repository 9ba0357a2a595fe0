#ifndef TOLVANE_PLATFORM_PENDING_PATHS_H_
#define TOLVANE_PLATFORM_PENDING_PATHS_H_

#include <atomic>
#include <cstddef>
#include <cstring>
#include <string>

namespace tolvane {

// The paths of the named temporary files this process holds, for DiscardPendingTemporaryFiles.
// A signal handler (or a console control handler) walks the table, so it is fixed in size and
// guarded by lock-free atomics only: no locks, no allocation. `Char` is the platform's path
// character, `kMaxPath` its longest path in characters, terminator included.
template <typename Char, std::size_t kMaxPath>
class PendingPaths {
 public:
  // Claims a slot and copies `path` into it; -1 when the table is full or the path too long
  // (the file then simply goes uncovered).
  int Claim(const std::basic_string<Char>& path) noexcept {
    if (path.size() >= kMaxPath) return -1;
    for (std::size_t i = 0; i < kSlots; ++i) {
      int expected = kFree;
      if (slots_[i].state.compare_exchange_strong(expected, kFilling, std::memory_order_acquire)) {
        std::memcpy(slots_[i].path, path.c_str(), (path.size() + 1) * sizeof(Char));
        return static_cast<int>(i);
      }
    }
    return -1;
  }

  // Marks the file as existing: only from now on may a handler remove it. Called after the
  // exclusive create succeeded, so that a handler never removes a file someone else made.
  void Hold(int slot) noexcept {
    if (slot >= 0) slots_[slot].state.store(kHeld, std::memory_order_release);
  }

  void Release(int slot) noexcept {
    if (slot >= 0) slots_[slot].state.store(kFree, std::memory_order_release);
  }

  // Calls `remove(path)` for every held path; async-signal-safe as long as `remove` is.
  template <typename Remove>
  void ForEachHeld(Remove remove) noexcept {
    for (Slot& slot : slots_) {
      if (slot.state.load(std::memory_order_acquire) == kHeld) remove(slot.path);
    }
  }

 private:
  enum State : int { kFree, kFilling, kHeld };
  struct Slot {
    std::atomic<int> state{kFree};
    Char path[kMaxPath];
  };
  static_assert(std::atomic<int>::is_always_lock_free);
  static constexpr std::size_t kSlots = 64;

  Slot slots_[kSlots];
};

}  // namespace tolvane

#endif  // TOLVANE_PLATFORM_PENDING_PATHS_H_
