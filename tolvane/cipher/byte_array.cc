#include "tolvane/cipher/byte_array.h"

#include <limits>
#include <utility>

#include "tolvane/base/error.h"

namespace tolvane {

ByteArray::ByteArray(ByteArray&& other) noexcept
    : bytes_(std::move(other.bytes_)), sized_(std::exchange(other.sized_, false)) {
  other.bytes_.clear();
}

ByteArray& ByteArray::operator=(ByteArray&& other) noexcept {
  if (this != &other) {
    bytes_ = std::move(other.bytes_);
    sized_ = std::exchange(other.sized_, false);
    other.bytes_.clear();
  }
  return *this;
}

std::int32_t ByteArray::UBound() const {
  if (!sized_) throw SubscriptError();
  // The bound is size - 1, which must fit in a signed 32-bit integer.
  if (bytes_.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()) + 1) {
    throw OverflowError();
  }
  return static_cast<std::int32_t>(static_cast<std::int64_t>(bytes_.size()) - 1);
}

void ByteArray::Resize(std::size_t count) {
  bytes_.resize(count);
  sized_ = true;
}

}  // namespace tolvane
