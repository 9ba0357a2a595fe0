// The markup of the documentation table as each output shows it: a slip here garbles --help,
// the manual page or docs/tool.md without any other test noticing.

#include <gtest/gtest.h>

#include <string>

#include "tools/crypt/manual.h"

namespace tolvane::crypt {
namespace {

TEST(Manual, EachOutputShowsTheMarkupAsItMeans) {
  // The manual page's Markdown keeps each paragraph on one line (go-md2man would take a wrapped
  // line that starts with "." or "'" for a request) and shows links as their text.
  const struct {
    const char* markup;
    const char* plain;
    const char* markdown;
    const char* man;
  } cases[] = {
      // Code: quoted in plain text when it is only punctuation or holds a space.
      {"Give `-x` or `-` or `a b`.", "Give -x or '-' or 'a b'.\n", "\nGive `-x` or `-` or `a b`.\n",
       "\nGive `-x` or `-` or `a b`.\n"},
      {"Files end.\n.NAME.tmp and 'x' stay.", "Files end. .NAME.tmp and 'x' stay.\n",
       "\nFiles end. .NAME.tmp and 'x' stay.\n", "\nFiles end. .NAME.tmp and 'x' stay.\n"},
      {"A\u20AC \\ end", "A\u20AC \\ end\n", "\nA\u20AC \\ end\n", "\nA\u20AC \\ end\n"},
      {"    x --y\n      z", "  x --y\n    z\n", "\n    x --y\n      z\n",
       "\n    x --y\n      z\n"},
      {"- one\n  two\n- three", "- one two\n- three\n", "\n- one two\n- three\n",
       "\n- one two\n- three\n"},
      {"= 0\n  Success.\n= 128 + N\n  Signal.", "0         Success.\n128 + N   Signal.\n",
       "\n- `0`: Success.\n- `128 + N`: Signal.\n", "\n- `0`: Success.\n- `128 + N`: Signal.\n"},
      {"See [files](files.md) and `[x](y)`.", "See files and [x](y).\n",
       "\nSee [files](files.md) and `[x](y)`.\n", "\nSee files and `[x](y)`.\n"},
      {"In {settings}.", "In HERE.\n", "\nIn $XDG_CONFIG_HOME/Brennix/Tolvane/settings.sqlite3.\n",
       "\nIn $XDG_CONFIG_HOME/Brennix/Tolvane/settings.sqlite3.\n"},
      {"One.\n\nTwo.", "One.\n\nTwo.\n", "\nOne.\n\nTwo.\n", "\nOne.\n\nTwo.\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PlainMarkup(c.markup, "HERE"), c.plain) << c.markup;
    EXPECT_EQ(MarkdownMarkup(c.markup), c.markdown) << c.markup;
    EXPECT_EQ(ManualMarkdownMarkup(c.markup), c.man) << c.markup;
  }
}

TEST(Manual, EachPlatformReadsItsOwnText) {
  const struct {
    const char* markup;
    const char* posix;
    const char* windows;
  } cases[] = {
      {"Default {{1252||the system's}}.", "Default 1252.", "Default the system's."},
      {"a{{ b||}} c{{|| d}}", "a b c", "a c d"},
      {"{{    x\n||}}    y", "    x\n    y", "    y"},
      {"no {{ end", "no {{ end", "no {{ end"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ForPlatform(c.markup, Platform::kPosix), c.posix) << c.markup;
    EXPECT_EQ(ForPlatform(c.markup, Platform::kWindows), c.windows) << c.markup;
  }
  // The manual page is POSIX's; docs/tool.md is too, with Windows' texts at its end.
  EXPECT_EQ(ManualMarkdownMarkup("{{p||w}}"), "\np\n");
  EXPECT_EQ(MarkdownMarkup("{{p||w}}"), "\np\n");
  const std::string page = MarkdownPage();
  const std::size_t windows = page.find("\n## On Windows\n");
  ASSERT_NE(windows, std::string::npos);
  const std::size_t system_page = page.find("the system's ANSI code page");
  EXPECT_NE(system_page, std::string::npos);
  EXPECT_GT(system_page, windows);

  // Windows' --help names nothing that only POSIX has.
  std::string help = HelpFooter("", Platform::kWindows);
  for (const CommandDoc& command : Commands()) {
    help += CommandHelpFooter(command, "", Platform::kWindows);
    for (const ArgumentDoc& argument : command.arguments) {
      help += ForPlatform(argument.help, Platform::kWindows);
    }
  }
  for (const OptionDoc& option : Options()) help += ForPlatform(option.help, Platform::kWindows);
  for (const char* posix :
       {"{{", "SIGINT", "SIGTERM", "SIGHUP", "tar ", "0600", "1252", "/dev/", "chmod", "Ctrl-Z"}) {
    EXPECT_EQ(help.find(posix), std::string::npos) << posix;
  }
}

TEST(Manual, LongTextIsWrappedForTheTerminalAndDocsButNotTheManualPage) {
  const std::string words(30, 'w');
  const std::string three = words + " " + words + " " + words;
  EXPECT_EQ(PlainMarkup(three + " .dot", ""), words + " " + words + "\n" + words + " .dot\n");
  EXPECT_EQ(MarkdownMarkup(three + " .dot"), "\n" + three + "\n.dot\n");
  EXPECT_EQ(ManualMarkdownMarkup(three + " .dot"), "\n" + three + " .dot\n");
}

}  // namespace
}  // namespace tolvane::crypt
