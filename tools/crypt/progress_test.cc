// The progress line as the file subcommands draw it, from the calls the streaming makes.

#include "tools/crypt/progress.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace tolvane::crypt {
namespace {

std::string Drawn(const std::vector<std::pair<std::uint64_t, std::uint64_t>>& calls) {
  std::FILE* out = std::tmpfile();
  {
    ProgressDisplay progress(ProgressDisplay::Mode::kForced, out);
    for (const auto& [done, total] : calls) progress.Update(done, total);
  }
  std::string text(static_cast<std::size_t>(std::ftell(out)), '\0');
  std::rewind(out);
  text.resize(std::fread(text.data(), 1, text.size(), out));
  std::fclose(out);
  return text;
}

TEST(ProgressDisplay, ShareAndLineEnds) {
  const struct {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> calls;
    std::vector<std::string> shown;  // in this order
    int line_ends;
  } cases[] = {
      {{{1, 4}, {3, 4}, {4, 4}}, {"(25%)", "(75%)", "(100%)"}, 1},
      // Beyond 32 bits of bytes times 100.
      {{{std::uint64_t{3} << 40, std::uint64_t{4} << 40}}, {"3.0 TiB of 4.0 TiB (75%)"}, 1},
      {{{0, 0}}, {"0 B of 0 B (100%)"}, 1},
      // A failure midway: the line is ended, once.
      {{{1, 3}}, {"(33%)"}, 1},
  };
  for (const auto& c : cases) {
    const std::string text = Drawn(c.calls);
    std::size_t at = 0;
    for (const std::string& part : c.shown) {
      at = text.find(part, at);
      EXPECT_NE(at, std::string::npos) << part << " in " << text;
    }
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), c.line_ends) << text;
  }
}

}  // namespace
}  // namespace tolvane::crypt
