#ifndef TOLVANE_CORE_ECB_H_
#define TOLVANE_CORE_ECB_H_

#include <cstddef>
#include <cstdint>
#include <span>

#include "tolvane/core/key_schedule.h"

namespace tolvane {

class WorkerPool;

// The most threads one call may use.
inline constexpr unsigned kMaxCipherThreads = 64;

// How many threads one call may use, and the pool whose workers help the calling thread.
// With `count` 1, or no pool, everything runs on the calling thread.
struct CipherThreads {
  WorkerPool* pool = nullptr;
  unsigned count = 1;
};

// `count` threads (already resolved) on the process's shared pool; a count of 1 never touches
// the pool, nor starts it.
CipherThreads OnSharedPool(unsigned count) noexcept;

// A requested thread count made usable: 0 becomes the number of hardware threads, and
// anything above kMaxCipherThreads is capped.
unsigned ResolveThreadCount(unsigned requested) noexcept;

// `in` into `out` in electronic-codebook mode: each 8-byte block by itself. Inputs of at least
// 256 KiB are cut into slices that the calling thread and the pool's workers transform at the
// same time, with the same result. `in` and `out` may be the same buffer. Throws
// tolvane::Error -2147218102 "Need to pass two byte arrays the same size" and -2147218101
// "Byte array must be sized divisible by 8." before touching anything.
// Throws tolvane::Error 5 when `in` and `out` overlap without being the same buffer: blocks
// would be read after a slice before them had written over them. For callers that take raw
// buffers; the byte-array face cannot be handed such a pair.
void RequireInPlaceOrApart(std::span<const std::uint8_t> in, std::span<const std::uint8_t> out);

void EcbEncrypt(const KeySchedule& key, std::span<const std::uint8_t> in,
                std::span<std::uint8_t> out, const CipherThreads& threads);
void EcbDecrypt(const KeySchedule& key, std::span<const std::uint8_t> in,
                std::span<std::uint8_t> out, const CipherThreads& threads);

// Transforms `blocks` blocks at `data` in place on the pool's workers while the calling thread
// runs body(context), then helps with what is left; returns when all is done, whether body
// threw or not (its exception then goes on). For streaming: the caller reads and writes while
// the workers transform.
void EcbTransformDuring(const KeySchedule& key, bool decrypt, std::uint8_t* data,
                        std::size_t blocks, const CipherThreads& threads,
                        void (*body)(void* context), void* context);

}  // namespace tolvane

#endif  // TOLVANE_CORE_ECB_H_
