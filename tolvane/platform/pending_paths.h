#ifndef TOLVANE_PLATFORM_PENDING_PATHS_H_
#define TOLVANE_PLATFORM_PENDING_PATHS_H_

#include <atomic>
#include <cstddef>
#include <cstring>
#include <new>
#include <string>

namespace tolvane {

// The paths of the named temporary files this process holds, for DiscardPendingTemporaryFiles.
// A signal handler (or a console control handler) walks the table, so the walk takes no lock
// and allocates nothing: it reads lock-free atomics and memory that Claim allocated beforehand,
// on the writer's thread. The table grows by blocks of slots, and a slot's buffer grows to the
// longest path it has held, so any number of writers and any path length are covered. `Char`
// is the platform's path character.
template <typename Char>
class PendingPaths {
 public:
  constexpr PendingPaths() = default;
  PendingPaths(const PendingPaths&) = delete;
  PendingPaths& operator=(const PendingPaths&) = delete;
  // For a table no handler can reach any more; the process's own table is never destroyed.
  ~PendingPaths() {
    for (Block* block = &first_; block != nullptr;) {
      for (Slot& slot : block->slots) delete[] slot.path.load(std::memory_order_relaxed);
      Block* next = block->next.load(std::memory_order_relaxed);
      if (block != &first_) delete block;
      block = next;
    }
  }

  // Claims a slot and copies `path` into it; -1 only when memory runs out (the file then goes
  // uncovered, and is removed by its writer alone).
  int Claim(const std::basic_string<Char>& path) noexcept {
    int index = 0;
    for (Block* block = &first_; block != nullptr; block = NextBlock(*block)) {
      for (Slot& slot : block->slots) {
        int expected = kFree;
        if (slot.state.compare_exchange_strong(expected, kFilling)) {
          if (!Fill(slot, path)) {
            slot.state.store(kFree, std::memory_order_release);
            return -1;
          }
          return index;
        }
        ++index;
      }
    }
    return -1;
  }

  // Marks the file as existing: only from now on may a handler remove it. Called after the
  // exclusive create succeeded, so that a handler never removes a file someone else made.
  void Hold(int slot) noexcept {
    if (Slot* s = Find(slot)) s->state.store(kHeld, std::memory_order_release);
  }

  // Frees the slot; its buffer stays for the next path, as a handler may still be reading it.
  void Release(int slot) noexcept {
    if (Slot* s = Find(slot)) s->state.store(kFree, std::memory_order_release);
  }

  // Calls `remove(path)` for every held path; async-signal-safe as long as `remove` is.
  template <typename Remove>
  void ForEachHeld(Remove remove) noexcept {
    walkers_.fetch_add(1);
    for (Block* block = &first_; block != nullptr;
         block = block->next.load(std::memory_order_acquire)) {
      for (Slot& slot : block->slots) {
        if (slot.state.load() == kHeld) remove(slot.path.load(std::memory_order_acquire));
      }
    }
    walkers_.fetch_sub(1);
  }

 private:
  enum State : int { kFree, kFilling, kHeld };
  struct Slot {
    std::atomic<int> state{kFree};
    std::atomic<Char*> path{nullptr};
    std::size_t capacity = 0;  // touched only by the thread that has the slot claimed
  };
  static constexpr std::size_t kSlotsPerBlock = 64;
  struct Block {
    Slot slots[kSlotsPerBlock];
    std::atomic<Block*> next{nullptr};
  };
  static_assert(std::atomic<int>::is_always_lock_free);
  static_assert(std::atomic<Char*>::is_always_lock_free);

  // The block after `block`, added when there is none; nullptr when memory runs out.
  static Block* NextBlock(Block& block) noexcept {
    Block* next = block.next.load(std::memory_order_acquire);
    if (next != nullptr) return next;
    Block* added = new (std::nothrow) Block;
    if (added == nullptr) return nullptr;
    if (block.next.compare_exchange_strong(next, added, std::memory_order_acq_rel)) return added;
    delete added;  // another thread added one first
    return next;
  }

  Slot* Find(int slot) noexcept {
    if (slot < 0) return nullptr;
    Block* block = &first_;
    for (std::size_t i = static_cast<std::size_t>(slot) / kSlotsPerBlock; i > 0; --i) {
      block = block->next.load(std::memory_order_acquire);
    }
    return &block->slots[static_cast<std::size_t>(slot) % kSlotsPerBlock];
  }

  bool Fill(Slot& slot, const std::basic_string<Char>& path) noexcept {
    const std::size_t needed = path.size() + 1;
    Char* buffer = slot.path.load(std::memory_order_relaxed);
    if (slot.capacity < needed) {
      Char* grown = new (std::nothrow) Char[needed];
      if (grown == nullptr) return false;
      slot.path.store(grown, std::memory_order_release);
      slot.capacity = needed;
      // A walk that saw this slot held before it was released may still read the old buffer;
      // one that starts from now on sees the slot being filled and skips it (both orders are
      // sequentially consistent). While a walk runs, the old buffer is left to the process's
      // end, which the walk's handler brings about.
      if (walkers_.load() == 0) delete[] buffer;
      buffer = grown;
    }
    std::memcpy(buffer, path.c_str(), needed * sizeof(Char));
    return true;
  }

  Block first_;
  std::atomic<int> walkers_{0};
};

}  // namespace tolvane

#endif  // TOLVANE_PLATFORM_PENDING_PATHS_H_
