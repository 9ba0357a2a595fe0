#ifndef TOOLS_CRYPT_MANUAL_H_
#define TOOLS_CRYPT_MANUAL_H_

#include <span>
#include <string>
#include <string_view>

namespace tolvane::crypt {

// The tool's documentation as one table, from which --help, the manual page and
// docs/tool.md are all made (manual_render.cc; the manual page by go-md2man from Markdown
// made here), so that the three cannot drift apart.
//
// Texts are in a small markup: blocks are separated by an empty line; a block whose lines
// all start with four spaces is shown as it is (commands, examples); lines starting with "- "
// begin list items and "= TERM" begins a definition, both continued by lines starting with
// two spaces (or, for a definition, any line); any other block is a paragraph. Within text,
// `code` marks what is typed or printed literally, [text](target) links to another document
// (shown as its text outside Markdown) and {settings} stands for where the settings live.
// {{POSIX||WINDOWS}} is text that differs between the platforms, either side possibly empty:
// --help shows the side of the platform it runs on, the manual page (POSIX only) the POSIX
// side, and docs/tool.md the POSIX side and, in a closing section, each text that differs as
// it reads on Windows.

// One argument or option of one subcommand, as its --help lists it.
struct ArgumentDoc {
  const char* name;  // "SRC", "--key-file", "-o,--output"
  const char* help;  // one line
};

struct CommandDoc {
  const char* name;
  const char* usage;    // after the name in a synopsis: "[KEY] [OPTIONS] SRC DST"
  const char* summary;  // one line: the subcommand list of --help
  std::span<const ArgumentDoc> arguments;
  const char* details;   // markup
  const char* examples;  // command lines, one a line
  // Sections (by id) that the subcommand's --help shows after its own text.
  std::span<const char* const> help_sections;
};

// An option described once for all the subcommands that take it: the manual's list.
struct OptionDoc {
  const char* name;     // "--key-file PATH"
  const char* help;     // one line, for --help; empty where each subcommand words its own
  const char* details;  // markup
};

struct SectionDoc {
  const char* id;
  const char* title;
  const char* text;  // markup
};

enum class Platform { kPosix, kWindows };
#ifdef _WIN32
inline constexpr Platform kThisPlatform = Platform::kWindows;
#else
inline constexpr Platform kThisPlatform = Platform::kPosix;
#endif

// `markup` with each {{POSIX||WINDOWS}} replaced by the side of `platform`.
std::string ForPlatform(std::string_view markup, Platform platform);

inline constexpr const char* kToolName = "tolvane-crypt";
// What the tool is, for --help and the manual page's NAME line.
extern const char* const kToolDescription;
extern const char* const kToolPurpose;

std::span<const CommandDoc> Commands();
std::span<const OptionDoc> Options();
std::span<const SectionDoc> Sections();

// Look-ups for the code that registers the subcommands; an unknown name is a programming
// error and aborts with a message.
const CommandDoc& Command(std::string_view name);
// The help of an argument of `command`, or failing that of the option as the manual lists it,
// for this platform.
std::string ArgumentHelp(std::string_view command, std::string_view name);
// The help of an option as the manual lists it for every subcommand that takes it.
std::string OptionHelp(std::string_view name);
const SectionDoc& Section(std::string_view id);

// The outputs. `settings` is where settings live, as the text should say it.
// after tolvane-crypt --help
std::string HelpFooter(const std::string& settings, Platform platform = kThisPlatform);
std::string CommandHelpFooter(const CommandDoc& command, const std::string& settings,
                              Platform platform = kThisPlatform);
std::string MarkdownPage();  // docs/tool.md
// The manual page's source for go-md2man, with the version in its header.
std::string ManualMarkdown(const std::string& version);

// One text of the markup as --help, docs/tool.md and the manual page's Markdown show it.
std::string PlainMarkup(std::string_view markup, const std::string& settings,
                        Platform platform = kThisPlatform);
std::string MarkdownMarkup(std::string_view markup);
std::string ManualMarkdownMarkup(std::string_view markup);

// The settings' place as the manual and docs/tool.md give it, whatever this machine's is.
inline constexpr const char* kDocumentedSettingsPath =
    "$XDG_CONFIG_HOME/Brennix/Tolvane/settings.sqlite3";

}  // namespace tolvane::crypt

#endif  // TOOLS_CRYPT_MANUAL_H_
