// Writes the manual page's Markdown (for go-md2man) or docs/tool.md from the documentation
// table, or checks that a committed docs/tool.md is what the table makes.
//
//   tolvane-crypt-manual man-markdown VERSION OUTPUT
//   tolvane-crypt-manual markdown OUTPUT
//   tolvane-crypt-manual check-markdown PATH

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "tools/crypt/manual.h"

namespace {

bool WriteFile(const char* path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) std::fprintf(stderr, "tolvane-crypt-manual: cannot write %s\n", path);
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  using tolvane::crypt::ManualMarkdown;
  using tolvane::crypt::MarkdownPage;
  const std::string_view mode = argc > 1 ? argv[1] : "";
  if (mode == "man-markdown" && argc == 4) {
    return WriteFile(argv[3], ManualMarkdown(argv[2])) ? 0 : 1;
  }
  if (mode == "markdown" && argc == 3) return WriteFile(argv[2], MarkdownPage()) ? 0 : 1;
  if (mode == "check-markdown" && argc == 3) {
    std::ifstream in(argv[2], std::ios::binary);
    const std::string committed{std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>()};
    if (committed == MarkdownPage()) return 0;
    std::fprintf(stderr,
                 "%s differs from what tools/crypt/manual.cc makes; regenerate it with\n"
                 "  cmake --build build --target tolvane-crypt-docs\n",
                 argv[2]);
    return 1;
  }
  std::fprintf(stderr,
               "usage: tolvane-crypt-manual man-markdown VERSION OUTPUT | markdown OUTPUT | "
               "check-markdown PATH\n");
  return 2;
}
