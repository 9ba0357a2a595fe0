#include "tolvane/cipher/blowfish.h"

#include <algorithm>
#include <thread>
#include <utility>

#include "tolvane/core/blowfish_tables.h"
#include "tolvane/base/error.h"
#include "tolvane/errors/reported_call.h"
#include "tolvane/base/wipe.h"
#include "tolvane/platform/worker_pool.h"

namespace tolvane {
namespace {

constexpr std::int32_t kMaxKeyBytes = 32767;

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

// f for the bulk path, on the one contiguous S table (box b entry e at b * 256 + e).
// Indices are pointer-sized so that the box offsets fold into the addressing.
inline std::uint32_t F(const std::uint32_t* s, std::uint32_t x) noexcept {
  const std::size_t a = x >> 24;
  const std::size_t b = (x >> 16) & 0xFF;
  const std::size_t c = (x >> 8) & 0xFF;
  const std::size_t d = x & 0xFF;
  // Through a pointer of its own, box 2 gets a folded offset too (GCC otherwise adds it
  // separately for the second-lowest byte).
  const std::uint32_t* s2 = s + 512;
  return ((s[a] + s[256 + b]) ^ s2[c]) + s[768 + d];
}

// Blocks enciphered or deciphered side by side on the bulk path. One block's sixteen rounds
// are a chain of dependent table look-ups that leaves most of the processor idle; several
// independent chains interleaved round by round let their look-ups overlap. Eight measured
// best on the development machine (see docs/performance.md): about 39 cycles a block against
// 45 for five; fewer leave the processor idle, ten and more spill too many registers. An
// AVX2 gather path measured slower than this and was left out.
constexpr std::size_t kLanes = 8;

// Transforms kLanes consecutive blocks with the same steps as BFEncipher (or BFDecipher,
// which runs the P-array backwards). All blocks are read before any is written, so `in`
// and `out` may be the same buffer.
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
#pragma GCC unroll 8
  for (std::size_t i = 1; i <= 15; i += 2) {
    const std::uint32_t p1 = P(i);
    const std::uint32_t p2 = P(i + 1);
    for (std::size_t k = 0; k < kLanes; ++k) r[k] ^= p1 ^ F(s, l[k]);
    for (std::size_t k = 0; k < kLanes; ++k) l[k] ^= p2 ^ F(s, r[k]);
  }
  // The halves leave exchanged, as at the end of BFEncipher.
  for (std::size_t k = 0; k < kLanes; ++k) {
    StoreBigEndian(out + 8 * k, r[k] ^ P(17));
    StoreBigEndian(out + 8 * k + 4, l[k]);
  }
}

constexpr unsigned kMaxThreads = 64;

// Both byte-array methods share these argument checks once their own first checks passed.
void CheckSizesAndKey(const ByteArray& in, const ByteArray& out, bool keyed) {
  if (in.UBound() != out.UBound()) {
    throw Error(kErrSizeMismatch, "Need to pass two byte arrays the same size");
  }
  if (in.size() % 8 != 0) throw NotMultipleOf8Error();
  if (!keyed) throw NotKeyedError();
}

}  // namespace

Blowfish::Blowfish(Blowfish&& other) noexcept
    : blnInit(other.blnInit),
      lngP(other.lngP),
      lngS(other.lngS),
      intThreads(other.intThreads),
      progress_(std::move(other.progress_)) {
  other.Wipe();
}

Blowfish& Blowfish::operator=(Blowfish&& other) noexcept {
  if (this != &other) {
    blnInit = other.blnInit;
    lngP = other.lngP;
    lngS = other.lngS;
    intThreads = other.intThreads;
    progress_ = std::move(other.progress_);
    other.Wipe();
  }
  return *this;
}

Blowfish::~Blowfish() { Wipe(); }

void Blowfish::Wipe() noexcept {
  SecureWipe(lngP.data(), sizeof lngP);
  SecureWipe(lngS.data(), sizeof lngS);
  blnInit = false;
}

void Blowfish::sInitPSBox() noexcept {
  lngP = blowfish_tables::kInitialP;
  lngS = blowfish_tables::kInitialS;
}

// Indexed as in F above, so that no addition sits on the chain of dependent rounds.
inline std::uint32_t Blowfish::f(std::uint32_t x) const noexcept {
  const std::size_t a = x >> 24;
  const std::size_t b = (x >> 16) & 0xFF;
  const std::size_t c = (x >> 8) & 0xFF;
  const std::size_t d = x & 0xFF;
  const std::uint32_t* s = lngS.data();
  const std::uint32_t* s2 = s + 512;
  return fAddLongs(fAddLongs(s[a], s[256 + b]) ^ s2[c], s[768 + d]);
}

inline void Blowfish::Round(std::uint32_t& a, std::uint32_t b, std::int16_t n) const noexcept {
  a = (a ^ lngP[static_cast<std::size_t>(n - 1)]) ^ f(b);
}

// Fully unrolled: sInitBF chains 521 encipherments, each waiting for the one before, and a
// single block is all a short input has; loop overhead would sit on that chain.
inline void Blowfish::BFEncipher(std::uint32_t& xL, std::uint32_t& xR) const noexcept {
  xL ^= lngP[0];
#pragma GCC unroll 8
  for (std::int16_t i = 2; i <= 16; i += 2) {
    Round(xR, xL, i);
    Round(xL, xR, static_cast<std::int16_t>(i + 1));
  }
  xR ^= lngP[17];
  std::swap(xL, xR);
}

inline void Blowfish::BFDecipher(std::uint32_t& xL, std::uint32_t& xR) const noexcept {
  xL ^= lngP[17];
#pragma GCC unroll 8
  for (std::int16_t i = 17; i >= 3; i -= 2) {
    Round(xR, xL, i);
    Round(xL, xR, static_cast<std::int16_t>(i - 1));
  }
  xR ^= lngP[0];
  std::swap(xL, xR);
}

void Blowfish::SetThreads(unsigned count) {
  // Resolved here, once: asking the system for its processor count on every call would cost
  // short inputs more than their whole cipher work.
  if (count == 0) count = std::max(1u, std::thread::hardware_concurrency());
  intThreads = std::min(count, kMaxThreads);
}

template <bool kDecrypt>
void Blowfish::CipherBlocksHere(const std::uint8_t* in, std::uint8_t* out,
                                std::size_t blocks) const noexcept {
  for (; blocks >= kLanes; blocks -= kLanes, in += 8 * kLanes, out += 8 * kLanes) {
    CipherLanes<kDecrypt>(lngP.data(), lngS.data(), in, out);
  }
  // The remaining blocks, and every input shorter than kLanes blocks, one at a time.
  for (std::size_t i = 0; i < blocks; ++i, in += 8, out += 8) {
    std::uint32_t left = LoadBigEndian(in);
    std::uint32_t right = LoadBigEndian(in + 4);
    if constexpr (kDecrypt) {
      BFDecipher(left, right);
    } else {
      BFEncipher(left, right);
    }
    StoreBigEndian(out, left);
    StoreBigEndian(out + 4, right);
  }
}

struct Blowfish::Slices {
  const Blowfish* cipher = nullptr;
  const std::uint8_t* in = nullptr;
  std::uint8_t* out = nullptr;
  std::size_t blocks = 0;
  SliceJob job;
};

template <bool kDecrypt>
void Blowfish::CipherSlice(const void* context, std::size_t index) noexcept {
  const Slices& work = *static_cast<const Slices*>(context);
  const std::size_t first = index * kSliceBlocks;
  const std::size_t count = std::min(kSliceBlocks, work.blocks - first);
  work.cipher->CipherBlocksHere<kDecrypt>(work.in + 8 * first, work.out + 8 * first, count);
}

template <bool kDecrypt>
void Blowfish::CipherBlocks(const std::uint8_t* in, std::uint8_t* out,
                            std::size_t blocks) const noexcept {
  // Slice edges fall on whole groups of kLanes blocks, so that only the last slice has a tail
  // for the single-block path, and on 64-byte lines, so that no two threads write one line.
  static_assert(kSliceBlocks % kLanes == 0 && kSliceBlocks % 8 == 0);
  const std::size_t threads = std::min<std::size_t>(intThreads, blocks / kSliceBlocks);
  if (threads < 2) {
    CipherBlocksHere<kDecrypt>(in, out, blocks);
    return;
  }
  Slices slices;
  PrepareSlices(kDecrypt, in, out, blocks, slices);
  const PooledJob running(slices.job, threads - 1);
}

void Blowfish::PrepareSlices(bool decrypt, const std::uint8_t* in, std::uint8_t* out,
                             std::size_t blocks, Slices& slices) const noexcept {
  // Slices never overlap, so in place works as on one thread: each reads its own blocks
  // before it writes them.
  slices.cipher = this;
  slices.in = in;
  slices.out = out;
  slices.blocks = blocks;
  slices.job.run = decrypt ? &CipherSlice<true> : &CipherSlice<false>;
  slices.job.context = &slices;
  slices.job.slices = (blocks + kSliceBlocks - 1) / kSliceBlocks;
}

void Blowfish::TransformDuring(bool decrypt, std::uint8_t* data, std::size_t blocks,
                               void (*body)(void* context), void* context) const {
  Slices slices;
  PrepareSlices(decrypt, data, data, blocks, slices);
  // Finished on the way out, thrown through or not: the buffer must outlive the workers' use.
  const PooledJob running(slices.job, intThreads - 1);
  body(context);
}

void Blowfish::EncryptBlocks(const std::uint8_t* in, std::uint8_t* out,
                             std::size_t blocks) const noexcept {
  CipherBlocks<false>(in, out, blocks);
}

void Blowfish::DecryptBlocks(const std::uint8_t* in, std::uint8_t* out,
                             std::size_t blocks) const noexcept {
  CipherBlocks<true>(in, out, blocks);
}

void Blowfish::sInitBF(const ByteArray& ByteKey) {
  // Every check comes before the first change, so a refused key leaves the instance as it
  // was: a keyed instance must never fall back to the publicly known initial tables.
  const std::int32_t upper = ByteKey.UBound();  // 9 when never sized
  if (upper >= kMaxKeyBytes) throw OverflowError();
  if (upper < 0) throw SubscriptError();
  const std::size_t n = static_cast<std::size_t>(upper) + 1;
  const std::uint8_t* key = ByteKey.data();

  sInitPSBox();
  // The key bytes are used cyclically as one endless stream; only the first 72 are ever read.
  std::size_t j = 0;
  for (std::uint32_t& p : lngP) {
    std::uint32_t word = 0;
    for (int k = 0; k < 4; ++k) {
      word = (word << 8) | key[j];
      j = (j + 1 == n) ? 0 : j + 1;
    }
    p ^= word;
  }

  std::uint32_t left = 0;
  std::uint32_t right = 0;
  for (std::size_t i = 0; i < lngP.size(); i += 2) {
    BFEncipher(left, right);
    lngP[i] = left;
    lngP[i + 1] = right;
  }
  for (std::size_t i = 0; i < lngS.size(); i += 2) {
    BFEncipher(left, right);
    lngS[i] = left;
    lngS[i + 1] = right;
  }
  blnInit = true;
}

void Blowfish::sEncrypt(const ByteArray& bytToEncrypt, ByteArray& bytEncrypted) {
  EncryptArray(bytToEncrypt, bytEncrypted);
}

void Blowfish::sDecrypt(const ByteArray& bytToDecrypt, ByteArray& bytUnencrypted) {
  DecryptArray(bytToDecrypt, bytUnencrypted);
}

bool Blowfish::EncryptArray(const ByteArray& bytToEncrypt, ByteArray& bytEncrypted) noexcept {
  return RunReported("Blowfish, sEncrypt", [&] {
    // Both arrays must hold an element at index 0 before anything else is looked at.
    if (!bytToEncrypt.IsSized() || bytToEncrypt.empty()) throw SubscriptError();
    if (!bytEncrypted.IsSized() || bytEncrypted.empty()) throw SubscriptError();
    CheckSizesAndKey(bytToEncrypt, bytEncrypted, blnInit);
    EncryptBlocks(bytToEncrypt.data(), bytEncrypted.data(), bytToEncrypt.size() / 8);
  });
}

bool Blowfish::DecryptArray(const ByteArray& bytToDecrypt, ByteArray& bytUnencrypted) noexcept {
  return RunReported("Blowfish, sDecrypt", [&] {
    CheckSizesAndKey(bytToDecrypt, bytUnencrypted, blnInit);
    DecryptBlocks(bytToDecrypt.data(), bytUnencrypted.data(), bytToDecrypt.size() / 8);
  });
}

}  // namespace tolvane
