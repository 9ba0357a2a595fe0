#include "tolvane/core/bulk_kernel.h"

#include "tolvane/core/block_rounds.h"

namespace tolvane {
namespace {

template <std::size_t kLanes, bool kDecrypt>
void Blocks(const std::uint32_t* p, const std::uint32_t* s, const std::uint8_t* in,
            std::uint8_t* out, std::size_t blocks) noexcept {
  for (; blocks >= kLanes; blocks -= kLanes, in += 8 * kLanes, out += 8 * kLanes) {
    rounds::CipherLanes<kDecrypt, kLanes>(p, s, in, out);
  }
  rounds::CipherBlocks<kDecrypt>(p, s, in, out, blocks);
}

template <std::size_t kLanes>
constexpr BulkKernel Lanes(const char* name) {
  return {name, kLanes, &Blocks<kLanes, false>, &Blocks<kLanes, true>};
}

// Four lanes hold their eight halves, the tables' address and the look-up temporaries in
// registers; six and eight spill some halves to the stack but overlap more look-ups, which
// pays where loads and arithmetic units are plentiful.
constexpr BulkKernel kKernels[] = {Lanes<4>("4 lanes"), Lanes<6>("6 lanes"), Lanes<8>("8 lanes")};
constexpr const BulkKernel& kFour = kKernels[0];
constexpr const BulkKernel& kSix = kKernels[1];
constexpr const BulkKernel& kEight = kKernels[2];

}  // namespace

std::span<const BulkKernel> BulkKernels() noexcept { return kKernels; }

const BulkKernel& ChooseBulkKernel(const Processor& cpu) noexcept {
#if defined(__i386__) || defined(_M_IX86)
  // Seven general registers: every kernel spills, and the fewest lanes spill least.
  static_cast<void>(cpu);
  return kFour;
#elif defined(__x86_64__) || defined(_M_X64)
  switch (DesignOf(cpu)) {
    case CoreDesign::kZen3:
    case CoreDesign::kZen5:
      // Three or four load ports and four to six arithmetic units keep eight lanes busy,
      // stack traffic and all (measured on Zen 5).
      return kEight;
    case CoreDesign::kSkylake:
      // Two load ports are nearly saturated by the look-ups alone: eight lanes' spills cost
      // more than their overlap gains, and four lanes measured best on Ice Lake.
      return kFour;
    case CoreDesign::kZen:
    case CoreDesign::kGoldenCove:
    case CoreDesign::kUnknown:
      break;
  }
  // Unmeasured, or between the two: six lanes are the middle way.
  return kSix;
#else
  // Other architectures (ARM64 among them) have 31 or more general registers: eight lanes
  // fit without spilling.
  static_cast<void>(cpu);
  return kEight;
#endif
}

const BulkKernel& ChosenBulkKernel() noexcept {
  static const BulkKernel& chosen = ChooseBulkKernel(ThisProcessor());
  return chosen;
}

}  // namespace tolvane
