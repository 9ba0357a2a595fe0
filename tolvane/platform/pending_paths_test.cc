// The table a signal handler walks to remove temporary files: it must cover every writer.
#include "tolvane/platform/pending_paths.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace tolvane {
namespace {

std::multiset<std::string> Held(PendingPaths<char>& table) {
  std::multiset<std::string> held;
  table.ForEachHeld([&held](const char* path) { held.insert(path); });
  return held;
}

// More paths than one block of slots, some far longer than any fixed buffer would be, and
// slots reused for longer paths than they held before: each held path is walked whole, and
// nothing that is only claimed or already released.
TEST(PendingPaths, HoldsAnyNumberOfPathsOfAnyLength) {
  PendingPaths<char> table;
  std::vector<std::string> paths;
  std::vector<int> slots;
  std::multiset<std::string> expected;
  for (int i = 0; i < 150; ++i) {
    paths.push_back(std::string(i % 7 == 0 ? 40000 + i : 5 + i, 'a' + i % 26));
    slots.push_back(table.Claim(paths.back()));
    ASSERT_GE(slots.back(), 0) << i;
    table.Hold(slots.back());
    expected.insert(paths.back());
  }
  for (int i = 0; i < 150; i += 2) {
    table.Release(slots[i]);
    expected.erase(expected.find(paths[i]));
  }
  EXPECT_GE(table.Claim("claimed only"), 0);
  EXPECT_EQ(Held(table), expected);
  for (int i = 0; i < 150; i += 4) {
    const std::string longer(70000 + i, 'z');
    const int slot = table.Claim(longer);
    ASSERT_GE(slot, 0);
    table.Hold(slot);
    expected.insert(longer);
  }
  EXPECT_EQ(Held(table), expected);
}

}  // namespace
}  // namespace tolvane
