#ifndef TOLVANE_CORE_PROCESSOR_H_
#define TOLVANE_CORE_PROCESSOR_H_

#include <string_view>

namespace tolvane {

enum class ProcessorVendor { kOther, kIntel, kAmd };

// The processor this process runs on, as far as the bulk kernel's choice needs it: on x86 its
// vendor and display family and model (the numbers vendors' manuals list models by); elsewhere
// kOther and zeros.
struct Processor {
  ProcessorVendor vendor = ProcessorVendor::kOther;
  unsigned family = 0;
  unsigned model = 0;
};

Processor ThisProcessor() noexcept;

// The processor that x86's CPUID names by `vendor` (leaf 0, "GenuineIntel" or "AuthenticAMD")
// and `signature` (leaf 1, EAX).
Processor ProcessorOf(std::string_view vendor, unsigned signature) noexcept;

// The core designs the bulk kernels were chosen for (docs/performance.md lists their ports).
enum class CoreDesign {
  kUnknown,
  kZen,         // AMD Zen and Zen 2
  kZen3,        // AMD Zen 3 and Zen 4
  kZen5,        // AMD Zen 5
  kSkylake,     // Intel Skylake to Ice Lake and Tiger Lake
  kGoldenCove,  // Intel Alder Lake, Sapphire Rapids and later
};

CoreDesign DesignOf(const Processor& cpu) noexcept;

}  // namespace tolvane

#endif  // TOLVANE_CORE_PROCESSOR_H_
