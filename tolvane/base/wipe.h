#ifndef TOLVANE_BASE_WIPE_H_
#define TOLVANE_BASE_WIPE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "tolvane/base/export.h"

namespace tolvane {

// Overwrites memory with zeros in a way the optimiser may not remove, for key material and
// plaintext that must not outlive its use.
TOLVANE_API void SecureWipe(void* data, std::size_t size) noexcept;

// An allocator that wipes every block before handing it back, so that containers holding
// secrets leave nothing behind when they grow, shrink or die.
template <typename T>
struct WipingAllocator {
  using value_type = T;

  WipingAllocator() noexcept = default;
  template <typename U>
  WipingAllocator(const WipingAllocator<U>&) noexcept {}  // NOLINT(google-explicit-constructor)

  T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
  void deallocate(T* p, std::size_t n) noexcept {
    SecureWipe(p, n * sizeof(T));
    std::allocator<T>().deallocate(p, n);
  }

  template <typename U>
  bool operator==(const WipingAllocator<U>&) const noexcept {
    return true;
  }
};

// A byte buffer that is wiped when it is freed.
using SecureBytes = std::vector<std::uint8_t, WipingAllocator<std::uint8_t>>;

}  // namespace tolvane

#endif  // TOLVANE_BASE_WIPE_H_
