#ifndef TOLVANE_CORE_KEY_SCHEDULE_H_
#define TOLVANE_CORE_KEY_SCHEDULE_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tolvane {

struct BulkKernel;

// The longest key a schedule takes. Only the first 72 bytes of a key have any effect.
inline constexpr std::size_t kMaxKeyBytes = 32767;

// One Blowfish key schedule (the P-array and the four S-boxes) and the block transform on
// it: 64-bit blocks, 16 rounds, each block two big-endian 32-bit halves. A value: copies are
// independent, and each is wiped when it goes.
class KeySchedule {
 public:
  // Keys a schedule with 1 to 32767 bytes. Throws tolvane::Error 9 "Subscript out of range"
  // for an empty key and 6 "Overflow" for a longer one.
  explicit KeySchedule(std::span<const std::uint8_t> key);
  KeySchedule(const KeySchedule&) = default;
  KeySchedule& operator=(const KeySchedule&) = default;
  ~KeySchedule();

  // One block held as its two halves, on the calling thread.
  void EncryptBlock(std::uint32_t& left, std::uint32_t& right) const noexcept;
  void DecryptBlock(std::uint32_t& left, std::uint32_t& right) const noexcept;

  // `blocks` 8-byte blocks from `in` to `out` in electronic-codebook mode, on the calling
  // thread, several blocks interleaved at a time by the kernel chosen for this processor.
  // `in` and `out` may be the same buffer.
  void EncryptBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) const noexcept;
  void DecryptBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) const noexcept;

  // The same with a kernel named by the caller, for tests and measurements of each.
  void EncryptBlocks(const BulkKernel& kernel, const std::uint8_t* in, std::uint8_t* out,
                     std::size_t blocks) const noexcept;
  void DecryptBlocks(const BulkKernel& kernel, const std::uint8_t* in, std::uint8_t* out,
                     std::size_t blocks) const noexcept;

 private:
  // P(1) to P(18) at indices 0 to 17.
  std::array<std::uint32_t, 18> p_;
  // The four S-boxes in one table: entry e of box b at b * 256 + e.
  std::array<std::uint32_t, 4 * 256> s_;
};

}  // namespace tolvane

#endif  // TOLVANE_CORE_KEY_SCHEDULE_H_
