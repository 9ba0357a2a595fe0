// The table a signal handler walks to remove temporary files: it must cover every writer.
#include "tolvane/platform/pending_paths.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace tolvane {
namespace {

// More held paths than one block of slots, some far longer than a fixed buffer would take, and
// released slots reused for longer paths: each held path is walked whole, nothing else is.
TEST(PendingPaths, HoldsAnyNumberOfPathsOfAnyLength) {
  PendingPaths<char> table;
  std::multiset<std::string> expected;
  for (int i = 0; i < 150; ++i) {
    const std::string path(i % 7 == 0 ? 40000 + i : 5 + i, static_cast<char>('a' + i % 26));
    const int slot = table.Claim(path);
    ASSERT_GE(slot, 0) << i;
    table.Hold(slot);
    if (i % 2 == 0) {
      table.Release(slot);
    } else {
      expected.insert(path);
    }
  }
  EXPECT_GE(table.Claim("claimed, never held"), 0);
  for (int i = 0; i < 3; ++i) {
    const std::string longer(70000 + i, 'z');
    table.Hold(table.Claim(longer));
    expected.insert(longer);
  }
  std::multiset<std::string> held;
  table.ForEachHeld([&held](const char* path) { held.insert(path); });
  EXPECT_EQ(held, expected);
}

}  // namespace
}  // namespace tolvane
