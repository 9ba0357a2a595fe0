#ifndef TOLVANE_CORE_PROCESSOR_H_
#define TOLVANE_CORE_PROCESSOR_H_

#include <string>
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

// The core designs whose load ports and arithmetic units the bulk kernels were chosen for.
enum class CoreDesign {
  kUnknown,
  kZen,         // AMD Zen and Zen 2: 2 load ports, 4 arithmetic units
  kZen3,        // AMD Zen 3 and Zen 4: 3 load ports, 4 arithmetic units
  kZen5,        // AMD Zen 5: 4 load ports, 6 arithmetic units
  kSkylake,     // Intel Skylake to Ice Lake and Tiger Lake: 2 load ports, 4 arithmetic units
  kGoldenCove,  // Intel Alder Lake, Sapphire Rapids and later: 3 load ports, 5 arithmetic units
};

CoreDesign DesignOf(const Processor& cpu) noexcept;

// The processor's own name (the x86 brand string, or the system's "model name"), or "unknown".
std::string ProcessorName();

}  // namespace tolvane

#endif  // TOLVANE_CORE_PROCESSOR_H_
