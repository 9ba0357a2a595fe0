#ifndef TOLVANE_CIPHER_BYTE_ARRAY_H_
#define TOLVANE_CIPHER_BYTE_ARRAY_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "tolvane/base/export.h"
#include "tolvane/base/wipe.h"

namespace tolvane {

// A one-dimensional array of bytes indexed from 0, as the cipher methods take it.
//
// An array is either sized (possibly empty, upper bound -1) or has never been given a size;
// the cipher methods tell the two apart. Its storage is wiped when freed, since it usually
// holds key material or plaintext.
//
// Beware the two constructors that take a number:
//   ByteArray{8}  is ONE byte of value 8 (initializer list);
//   ByteArray(8)  is EIGHT zero bytes.
class TOLVANE_API ByteArray {
 public:
  // Never given a size: IsSized() is false and UBound() throws.
  ByteArray() = default;
  // `count` zero bytes; ByteArray(0) is the empty array with upper bound -1.
  explicit ByteArray(std::size_t count) : bytes_(count), sized_(true) {}
  ByteArray(const std::vector<std::uint8_t>& bytes)  // NOLINT(google-explicit-constructor)
      : bytes_(bytes.begin(), bytes.end()), sized_(true) {}
  ByteArray(std::initializer_list<std::uint8_t> bytes)  // NOLINT(google-explicit-constructor)
      : bytes_(bytes), sized_(true) {}
  ByteArray(std::span<const std::uint8_t> bytes)
      : bytes_(bytes.begin(), bytes.end()), sized_(true) {}

  ByteArray(const ByteArray&) = default;
  ByteArray& operator=(const ByteArray&) = default;
  // A moved-from array is left never sized.
  ByteArray(ByteArray&& other) noexcept;
  ByteArray& operator=(ByteArray&& other) noexcept;

  bool IsSized() const noexcept { return sized_; }
  // The highest index: size() - 1, so -1 for an empty array. Throws tolvane::Error 9
  // "Subscript out of range" for an array never given a size, and 6 "Overflow" when the
  // bound does not fit in 32 bits.
  std::int32_t UBound() const;

  std::size_t size() const noexcept { return bytes_.size(); }
  bool empty() const noexcept { return bytes_.empty(); }
  std::uint8_t* data() noexcept { return bytes_.data(); }
  const std::uint8_t* data() const noexcept { return bytes_.data(); }
  std::uint8_t& operator[](std::size_t i) noexcept { return bytes_[i]; }
  const std::uint8_t& operator[](std::size_t i) const noexcept { return bytes_[i]; }
  std::uint8_t* begin() noexcept { return bytes_.data(); }
  std::uint8_t* end() noexcept { return bytes_.data() + bytes_.size(); }
  const std::uint8_t* begin() const noexcept { return bytes_.data(); }
  const std::uint8_t* end() const noexcept { return bytes_.data() + bytes_.size(); }

  // Gives the array `count` elements, keeping the leading content; added bytes are zero.
  void Resize(std::size_t count);

  std::vector<std::uint8_t> ToVector() const { return {bytes_.begin(), bytes_.end()}; }

  friend bool operator==(const ByteArray& a, const ByteArray& b) noexcept {
    return a.sized_ == b.sized_ && a.bytes_ == b.bytes_;
  }

 private:
  SecureBytes bytes_;
  bool sized_ = false;
};

}  // namespace tolvane

#endif  // TOLVANE_CIPHER_BYTE_ARRAY_H_
