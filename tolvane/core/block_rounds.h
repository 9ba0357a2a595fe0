#ifndef TOLVANE_CORE_BLOCK_ROUNDS_H_
#define TOLVANE_CORE_BLOCK_ROUNDS_H_

// The Blowfish rounds on one block and on several blocks side by side, inline, for the key
// schedule and the bulk kernels. Tables: P(1) to P(18) at p[0] to p[17]; the four S-boxes in one
// table, entry e of box b at s[b * 256 + e].

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Unrolls the loop that follows where the compiler takes GCC's pragma (GCC and clang); others
// warn about pragmas they do not know, so they get none.
#if defined(__GNUC__)
#define TOLVANE_UNROLL_8 _Pragma("GCC unroll 8")
#else
#define TOLVANE_UNROLL_8
#endif

namespace tolvane::rounds {

// A block's halves are big-endian words: bytes 0-3 the left half, 4-7 the right. Read and
// written as whole words, byte-swapped on little-endian processors: the compilers do not
// always merge four byte accesses into one, and eight lanes of byte stores cost the kernels
// measurably.
inline std::uint32_t ByteSwapOnLittleEndian(std::uint32_t v) noexcept {
  if constexpr (std::endian::native == std::endian::little) {
#if defined(__GNUC__)
    return __builtin_bswap32(v);
#else
    return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
#endif
  } else {
    return v;
  }
}

inline std::uint32_t LoadBigEndian(const std::uint8_t* p) noexcept {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return ByteSwapOnLittleEndian(v);
}

inline void StoreBigEndian(std::uint8_t* p, std::uint32_t v) noexcept {
  v = ByteSwapOnLittleEndian(v);
  std::memcpy(p, &v, sizeof v);
}

// The F function. Indices are pointer-sized so that the box offsets fold into the addressing,
// and box 2 gets a pointer of its own so that its offset folds too (GCC otherwise adds it
// separately for the second-lowest byte); no addition then sits on the chain of dependent
// rounds.
inline std::uint32_t F(const std::uint32_t* s, std::uint32_t x) noexcept {
  const std::size_t a = x >> 24;
  const std::size_t b = (x >> 16) & 0xFF;
  const std::size_t c = (x >> 8) & 0xFF;
  const std::size_t d = x & 0xFF;
  const std::uint32_t* s2 = s + 512;
  return ((s[a] + s[256 + b]) ^ s2[c]) + s[768 + d];
}

// One block, fully unrolled: keying chains 521 encipherments, each waiting for the one before,
// and a single block is all a short input has; loop overhead would sit on that chain.
template <bool kDecrypt>
inline void CipherBlock(const std::uint32_t* p, const std::uint32_t* s, std::uint32_t& xl,
                        std::uint32_t& xr) noexcept {
  const auto P = [p](std::size_t i) { return p[kDecrypt ? 17 - i : i]; };
  std::uint32_t l = xl ^ P(0);
  std::uint32_t r = xr;
  TOLVANE_UNROLL_8
  for (std::size_t i = 1; i <= 15; i += 2) {
    r ^= P(i) ^ F(s, l);
    l ^= P(i + 1) ^ F(s, r);
  }
  // The halves leave exchanged.
  xl = r ^ P(17);
  xr = l;
}

// `blocks` blocks one at a time, in their byte layout.
template <bool kDecrypt>
inline void CipherBlocks(const std::uint32_t* p, const std::uint32_t* s, const std::uint8_t* in,
                         std::uint8_t* out, std::size_t blocks) noexcept {
  for (std::size_t i = 0; i < blocks; ++i, in += 8, out += 8) {
    std::uint32_t left = LoadBigEndian(in);
    std::uint32_t right = LoadBigEndian(in + 4);
    CipherBlock<kDecrypt>(p, s, left, right);
    StoreBigEndian(out, left);
    StoreBigEndian(out + 4, right);
  }
}

// kLanes consecutive blocks side by side, round by round. One block's sixteen rounds are a
// chain of dependent table look-ups that leaves most of the processor idle; independent
// chains interleaved let their look-ups overlap. All are read before any is written, so `in`
// and `out` may be the same buffer.
template <bool kDecrypt, std::size_t kLanes>
inline void CipherLanes(const std::uint32_t* p, const std::uint32_t* s, const std::uint8_t* in,
                        std::uint8_t* out) noexcept {
  const auto P = [p](std::size_t i) { return p[kDecrypt ? 17 - i : i]; };
  std::uint32_t l[kLanes];
  std::uint32_t r[kLanes];
  for (std::size_t k = 0; k < kLanes; ++k) {
    l[k] = LoadBigEndian(in + 8 * k) ^ P(0);
    r[k] = LoadBigEndian(in + 8 * k + 4);
  }
  TOLVANE_UNROLL_8
  for (std::size_t i = 1; i <= 15; i += 2) {
    const std::uint32_t p1 = P(i);
    const std::uint32_t p2 = P(i + 1);
    for (std::size_t k = 0; k < kLanes; ++k) r[k] ^= p1 ^ F(s, l[k]);
    for (std::size_t k = 0; k < kLanes; ++k) l[k] ^= p2 ^ F(s, r[k]);
  }
  for (std::size_t k = 0; k < kLanes; ++k) {
    StoreBigEndian(out + 8 * k, r[k] ^ P(17));
    StoreBigEndian(out + 8 * k + 4, l[k]);
  }
}

}  // namespace tolvane::rounds

#endif  // TOLVANE_CORE_BLOCK_ROUNDS_H_
