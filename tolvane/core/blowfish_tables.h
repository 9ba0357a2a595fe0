#ifndef TOLVANE_CORE_BLOWFISH_TABLES_H_
#define TOLVANE_CORE_BLOWFISH_TABLES_H_

#include <array>
#include <cstdint>

namespace tolvane::blowfish_tables {

// The standard initial P-array and the four S-boxes (box 0 first, 256 words each),
// generated from the digits of pi by tools/gen_pi_tables.py.
extern const std::array<std::uint32_t, 18> kInitialP;
extern const std::array<std::uint32_t, 4 * 256> kInitialS;

}  // namespace tolvane::blowfish_tables

#endif  // TOLVANE_CORE_BLOWFISH_TABLES_H_
