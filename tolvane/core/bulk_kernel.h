#ifndef TOLVANE_CORE_BULK_KERNEL_H_
#define TOLVANE_CORE_BULK_KERNEL_H_

#include <cstddef>
#include <cstdint>
#include <span>

#include "tolvane/core/processor.h"

namespace tolvane {

// `blocks` 8-byte blocks from `in` to `out` in electronic-codebook mode on the tables of one
// key schedule (P(1) to P(18) at p[0] to p[17]; S-box b entry e at s[b * 256 + e]). `in` and
// `out` may be the same buffer.
using BlocksFunction = void (*)(const std::uint32_t* p, const std::uint32_t* s,
                                const std::uint8_t* in, std::uint8_t* out,
                                std::size_t blocks) noexcept;

// One way of running many blocks: `lanes` blocks side by side, round by round, the rest one
// at a time. Every kernel gives the same bytes; they differ in speed from processor to
// processor, with the number of registers, load ports and arithmetic units.
struct BulkKernel {
  const char* name;
  std::size_t lanes;
  BlocksFunction encrypt;
  BlocksFunction decrypt;
};

// Every kernel this build has, each runnable on any processor of its architecture.
std::span<const BulkKernel> BulkKernels() noexcept;

// The kernel for `cpu`, from what is known of its kind (see docs/performance.md).
const BulkKernel& ChooseBulkKernel(const Processor& cpu) noexcept;

// The kernel for the processor this process runs on, chosen on first use and kept.
const BulkKernel& ChosenBulkKernel() noexcept;

}  // namespace tolvane

#endif  // TOLVANE_CORE_BULK_KERNEL_H_
