#include "tolvane/core/ecb.h"

#include <algorithm>
#include <cstdint>
#include <thread>

#include "tolvane/base/error.h"
#include "tolvane/platform/worker_pool.h"

namespace tolvane {
namespace {

// Large inputs are cut into slices of this many blocks (128 KiB), taken in order by whichever
// thread is free. Below two slices (256 KiB), waking a worker and waiting for it costs more
// than it saves (see docs/performance.md). Small slices keep a busy machine from stalling a
// call: a worker the scheduler starves holds it up by one slice, not by its whole share; and
// in the file streaming they let the caller join in once its reading and writing are done.
constexpr std::size_t kSliceBlocks = 128 * 1024 / 8;
// Slice edges fall on whole groups of the interleaved blocks, so that only the last slice has
// a tail for the single-block path, and on 64-byte lines, so that no two threads write one.
static_assert(kSliceBlocks % 8 == 0);

// One run of the block loop cut into slices for a pool. Slices never overlap, so in place
// works as on one thread: each reads its own blocks before it writes them.
struct Slices {
  Slices(const KeySchedule& key, bool decrypt, const std::uint8_t* in, std::uint8_t* out,
         std::size_t blocks) noexcept
      : key(key), in(in), out(out), blocks(blocks) {
    job.run = decrypt ? &Run<true> : &Run<false>;
    job.context = this;
    job.slices = (blocks + kSliceBlocks - 1) / kSliceBlocks;
  }

  template <bool kDecrypt>
  static void Run(const void* context, std::size_t index) noexcept {
    const Slices& work = *static_cast<const Slices*>(context);
    const std::size_t first = index * kSliceBlocks;
    const std::size_t count = std::min(kSliceBlocks, work.blocks - first);
    if constexpr (kDecrypt) {
      work.key.DecryptBlocks(work.in + 8 * first, work.out + 8 * first, count);
    } else {
      work.key.EncryptBlocks(work.in + 8 * first, work.out + 8 * first, count);
    }
  }

  const KeySchedule& key;
  const std::uint8_t* in;
  std::uint8_t* out;
  std::size_t blocks;
  SliceJob job;
};

void Transform(const KeySchedule& key, bool decrypt, const std::uint8_t* in, std::uint8_t* out,
               std::size_t blocks, const CipherThreads& threads) noexcept {
  const std::size_t count = std::min<std::size_t>(threads.count, blocks / kSliceBlocks);
  if (threads.pool == nullptr || count < 2) {
    if (decrypt) {
      key.DecryptBlocks(in, out, blocks);
    } else {
      key.EncryptBlocks(in, out, blocks);
    }
    return;
  }
  Slices slices(key, decrypt, in, out, blocks);
  const PooledJob running(*threads.pool, slices.job, count - 1);
}

void Check(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  if (in.size() != out.size()) throw SizeMismatchError();
  if (in.size() % 8 != 0) throw NotMultipleOf8Error();
}

}  // namespace

unsigned ResolveThreadCount(unsigned requested) noexcept {
  // Resolved once, by the caller: asking the system for its processor count on every call
  // would cost short inputs more than their whole cipher work.
  if (requested == 0) requested = std::max(1u, std::thread::hardware_concurrency());
  return std::min(requested, kMaxCipherThreads);
}

CipherThreads OnSharedPool(unsigned count) noexcept {
  return {count > 1 ? &WorkerPool::Shared() : nullptr, count};
}

void RequireInPlaceOrApart(std::span<const std::uint8_t> in, std::span<const std::uint8_t> out) {
  const auto first_in = reinterpret_cast<std::uintptr_t>(in.data());
  const auto first_out = reinterpret_cast<std::uintptr_t>(out.data());
  if (first_in != first_out && !in.empty() && !out.empty() && first_in < first_out + out.size() &&
      first_out < first_in + in.size()) {
    throw Error(kErrInvalidCall,
                "Invalid procedure call or argument: the input and output overlap");
  }
}

void EcbEncrypt(const KeySchedule& key, std::span<const std::uint8_t> in,
                std::span<std::uint8_t> out, const CipherThreads& threads) {
  Check(in, out);
  Transform(key, false, in.data(), out.data(), in.size() / 8, threads);
}

void EcbDecrypt(const KeySchedule& key, std::span<const std::uint8_t> in,
                std::span<std::uint8_t> out, const CipherThreads& threads) {
  Check(in, out);
  Transform(key, true, in.data(), out.data(), in.size() / 8, threads);
}

void EcbTransformDuring(const KeySchedule& key, bool decrypt, std::uint8_t* data,
                        std::size_t blocks, const CipherThreads& threads,
                        void (*body)(void* context), void* context) {
  if (threads.pool == nullptr) {
    body(context);
    Transform(key, decrypt, data, data, blocks, threads);
    return;
  }
  Slices slices(key, decrypt, data, data, blocks);
  // Finished on the way out, thrown through or not: the buffer must outlive the workers' use.
  const PooledJob running(*threads.pool, slices.job, threads.count - 1);
  body(context);
}

}  // namespace tolvane
