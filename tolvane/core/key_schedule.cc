#include "tolvane/core/key_schedule.h"

#include <utility>

#include "tolvane/base/error.h"
#include "tolvane/base/wipe.h"
#include "tolvane/core/blowfish_tables.h"

// Unrolls the loop that follows where the compiler takes GCC's pragma (GCC and clang); others
// warn about pragmas they do not know, so they get none.
#if defined(__GNUC__)
#define TOLVANE_UNROLL_8 _Pragma("GCC unroll 8")
#else
#define TOLVANE_UNROLL_8
#endif

namespace tolvane {
namespace {

// A block's halves are big-endian words: bytes 0-3 the left half, 4-7 the right.
inline std::uint32_t LoadBigEndian(const std::uint8_t* p) noexcept {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

inline void StoreBigEndian(std::uint8_t* p, std::uint32_t v) noexcept {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

// The Blowfish F function on the one contiguous S table (box b entry e at b * 256 + e).
// Indices are pointer-sized so that the box offsets fold into the addressing, and box 2 gets
// a pointer of its own so that its offset folds too (GCC otherwise adds it separately for the
// second-lowest byte); no addition then sits on the chain of dependent rounds.
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

// Blocks enciphered or deciphered side by side. One block's sixteen rounds are a chain of
// dependent table look-ups that leaves most of the processor idle; several independent chains
// interleaved round by round let their look-ups overlap. Eight measured best on the
// development machine (see docs/performance.md): about 39 cycles a block against 45 for five;
// fewer leave the processor idle, ten and more spill too many registers. An AVX2 gather path
// measured slower than this and was left out.
constexpr std::size_t kLanes = 8;

// kLanes consecutive blocks, all read before any is written, so `in` and `out` may be the
// same buffer.
template <bool kDecrypt>
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

}  // namespace

KeySchedule::KeySchedule(std::span<const std::uint8_t> key)
    : p_(blowfish_tables::kInitialP), s_(blowfish_tables::kInitialS) {
  if (key.size() > kMaxKeyBytes) throw OverflowError();
  if (key.empty()) throw SubscriptError();
  const std::size_t n = key.size();
  // The key bytes are used cyclically as one endless stream; only the first 72 are ever read.
  std::size_t j = 0;
  for (std::uint32_t& p : p_) {
    std::uint32_t word = 0;
    for (int k = 0; k < 4; ++k) {
      word = (word << 8) | key[j];
      j = (j + 1 == n) ? 0 : j + 1;
    }
    p ^= word;
  }
  // Each encipherment starts from the halves the one before left and uses the tables as
  // updated so far.
  std::uint32_t left = 0;
  std::uint32_t right = 0;
  for (std::size_t i = 0; i < p_.size(); i += 2) {
    EncryptBlock(left, right);
    p_[i] = left;
    p_[i + 1] = right;
  }
  for (std::size_t i = 0; i < s_.size(); i += 2) {
    EncryptBlock(left, right);
    s_[i] = left;
    s_[i + 1] = right;
  }
  SecureWipe(&left, sizeof left);
  SecureWipe(&right, sizeof right);
}

KeySchedule::~KeySchedule() {
  SecureWipe(p_.data(), sizeof p_);
  SecureWipe(s_.data(), sizeof s_);
}

void KeySchedule::EncryptBlock(std::uint32_t& left, std::uint32_t& right) const noexcept {
  CipherBlock<false>(p_.data(), s_.data(), left, right);
}

void KeySchedule::DecryptBlock(std::uint32_t& left, std::uint32_t& right) const noexcept {
  CipherBlock<true>(p_.data(), s_.data(), left, right);
}

template <bool kDecrypt>
void KeySchedule::Blocks(const std::uint8_t* in, std::uint8_t* out,
                         std::size_t blocks) const noexcept {
  for (; blocks >= kLanes; blocks -= kLanes, in += 8 * kLanes, out += 8 * kLanes) {
    CipherLanes<kDecrypt>(p_.data(), s_.data(), in, out);
  }
  // The remaining blocks, and every input shorter than kLanes blocks, one at a time.
  for (std::size_t i = 0; i < blocks; ++i, in += 8, out += 8) {
    std::uint32_t left = LoadBigEndian(in);
    std::uint32_t right = LoadBigEndian(in + 4);
    CipherBlock<kDecrypt>(p_.data(), s_.data(), left, right);
    StoreBigEndian(out, left);
    StoreBigEndian(out + 4, right);
  }
}

void KeySchedule::EncryptBlocks(const std::uint8_t* in, std::uint8_t* out,
                                std::size_t blocks) const noexcept {
  Blocks<false>(in, out, blocks);
}

void KeySchedule::DecryptBlocks(const std::uint8_t* in, std::uint8_t* out,
                                std::size_t blocks) const noexcept {
  Blocks<true>(in, out, blocks);
}

}  // namespace tolvane
