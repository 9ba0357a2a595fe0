#include "tolvane/cipher/byte_array.h"

#include <gtest/gtest.h>

#include <utility>

#include "tolvane/base/error.h"

namespace tolvane {
namespace {

std::int32_t UBoundErrorNumber(const ByteArray& a) {
  try {
    a.UBound();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

TEST(ByteArray, SizedUnsizedAndEmptyAreDistinct) {
  const ByteArray unsized;
  EXPECT_FALSE(unsized.IsSized());
  EXPECT_EQ(unsized.size(), 0u);
  EXPECT_EQ(UBoundErrorNumber(unsized), kErrSubscript);

  const ByteArray empty(0);
  EXPECT_TRUE(empty.IsSized());
  EXPECT_EQ(empty.UBound(), -1);
  EXPECT_FALSE(unsized == empty);

  EXPECT_EQ(ByteArray(8).UBound(), 7);
  EXPECT_EQ(ByteArray(8), ByteArray(std::vector<std::uint8_t>(8, 0)));
  // Braces make a list of values, parentheses a count of zero bytes.
  EXPECT_EQ(ByteArray{8}.size(), 1u);
  EXPECT_EQ(ByteArray{8}[0], 8);
}

TEST(ByteArray, ResizeKeepsContentAndZeroFills) {
  ByteArray a{1, 2, 3};
  a.Resize(5);
  EXPECT_EQ(a, (ByteArray{1, 2, 3, 0, 0}));
  a.Resize(2);
  EXPECT_EQ(a, (ByteArray{1, 2}));
  ByteArray unsized;
  unsized.Resize(0);
  EXPECT_TRUE(unsized.IsSized());
}

TEST(ByteArray, MovedFromIsUnsized) {
  ByteArray a{1, 2};
  ByteArray b(std::move(a));
  EXPECT_EQ(b, (ByteArray{1, 2}));
  EXPECT_FALSE(a.IsSized());  // NOLINT(bugprone-use-after-move)
}

}  // namespace
}  // namespace tolvane
