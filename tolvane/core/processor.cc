#include "tolvane/core/processor.h"

#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define TOLVANE_X86_CPUID 1
#endif

namespace tolvane {
namespace {

#if TOLVANE_X86_CPUID
struct Registers {
  unsigned a = 0, b = 0, c = 0, d = 0;
};

// Leaf `leaf`, or zeros where the processor has no such leaf.
Registers Cpuid(unsigned leaf) noexcept {
  Registers r;
  if (__get_cpuid(leaf, &r.a, &r.b, &r.c, &r.d) == 0) r = {};
  return r;
}
#endif

}  // namespace

Processor ProcessorOf(std::string_view vendor, unsigned signature) noexcept {
  Processor cpu;
  if (vendor == "GenuineIntel") cpu.vendor = ProcessorVendor::kIntel;
  if (vendor == "AuthenticAMD") cpu.vendor = ProcessorVendor::kAmd;
  const unsigned base_family = (signature >> 8) & 0xF;
  const unsigned base_model = (signature >> 4) & 0xF;
  // The extended fields count only where the manuals say they do.
  cpu.family = base_family == 0xF ? base_family + ((signature >> 20) & 0xFF) : base_family;
  cpu.model = base_family == 0xF || base_family == 6 ? base_model + (((signature >> 16) & 0xF) << 4)
                                                     : base_model;
  return cpu;
}

Processor ThisProcessor() noexcept {
#if TOLVANE_X86_CPUID
  const Registers vendor = Cpuid(0);
  char name[12];
  std::memcpy(name, &vendor.b, 4);
  std::memcpy(name + 4, &vendor.d, 4);
  std::memcpy(name + 8, &vendor.c, 4);
  return ProcessorOf(std::string_view(name, sizeof name), Cpuid(1).a);
#else
  return {};
#endif
}

CoreDesign DesignOf(const Processor& cpu) noexcept {
  if (cpu.vendor == ProcessorVendor::kAmd) {
    if (cpu.family == 0x17) return CoreDesign::kZen;
    if (cpu.family == 0x19) return CoreDesign::kZen3;
    if (cpu.family == 0x1A) return CoreDesign::kZen5;
  }
  if (cpu.vendor == ProcessorVendor::kIntel && cpu.family == 6) {
    // Display models, from the vendor's list of processor signatures.
    static constexpr unsigned kSkylakeModels[] = {0x4E, 0x5E, 0x55, 0x8E, 0x9E, 0xA5, 0xA6,
                                                  0x6A, 0x6C, 0x7D, 0x7E, 0x8C, 0x8D};
    static constexpr unsigned kGoldenCoveModels[] = {0x97, 0x9A, 0xB7, 0xBA, 0xBF, 0x8F,
                                                     0xCF, 0xAA, 0xAC, 0xAD, 0xAE};
    for (const unsigned model : kSkylakeModels) {
      if (cpu.model == model) return CoreDesign::kSkylake;
    }
    for (const unsigned model : kGoldenCoveModels) {
      if (cpu.model == model) return CoreDesign::kGoldenCove;
    }
  }
  return CoreDesign::kUnknown;
}

}  // namespace tolvane
