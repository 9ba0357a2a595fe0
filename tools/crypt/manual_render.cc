// Turns the documentation table (manual.cc) into --help's texts, docs/tool.md and the Markdown
// that go-md2man makes the manual page from.

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "tools/crypt/manual.h"

namespace tolvane::crypt {
namespace {

// ---- The markup, parsed into blocks.

struct Block {
  enum class Kind { kParagraph, kCode, kList, kDefinitions };
  Kind kind;
  std::vector<std::string> terms;  // definitions only
  std::vector<std::string> items;  // the paragraph, each code line, item or definition
};

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at <= text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    lines.emplace_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

std::string Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return std::string(s);
}

void Append(std::string& joined, std::string_view line) {
  if (!joined.empty()) joined += ' ';
  joined += Trim(line);
}

std::string Substitute(std::string_view text, const std::string& settings) {
  std::string out(text);
  constexpr std::string_view kSettings = "{settings}";
  for (std::size_t at; (at = out.find(kSettings)) != std::string::npos;) {
    out.replace(at, kSettings.size(), settings);
  }
  return out;
}

std::vector<Block> Parse(std::string_view markup, const std::string& settings, Platform platform) {
  std::vector<Block> blocks;
  std::vector<std::string> lines;
  auto flush = [&] {
    if (lines.empty()) return;
    Block block{Block::Kind::kParagraph, {}, {}};
    bool all_code = true;
    for (const std::string& line : lines) all_code = all_code && StartsWith(line, "    ");
    if (all_code) {
      block.kind = Block::Kind::kCode;
      for (const std::string& line : lines) block.items.push_back(line.substr(4));
    } else if (StartsWith(lines[0], "- ")) {
      block.kind = Block::Kind::kList;
      for (const std::string& line : lines) {
        if (StartsWith(line, "- ")) block.items.emplace_back();
        Append(block.items.back(), StartsWith(line, "- ") ? line.substr(2) : line);
      }
    } else if (StartsWith(lines[0], "= ")) {
      block.kind = Block::Kind::kDefinitions;
      for (const std::string& line : lines) {
        if (StartsWith(line, "= ")) {
          block.terms.push_back(Trim(line.substr(2)));
          block.items.emplace_back();
        } else {
          Append(block.items.back(), line);
        }
      }
    } else {
      block.items.emplace_back();
      for (const std::string& line : lines) Append(block.items.back(), line);
    }
    blocks.push_back(std::move(block));
    lines.clear();
  };
  for (const std::string& line : Lines(Substitute(ForPlatform(markup, platform), settings))) {
    if (line.empty()) {
      flush();
    } else {
      lines.push_back(line);
    }
  }
  flush();
  return blocks;
}

// Calls on_text and on_code for the stretches of `text` outside and inside `code` marks;
// a link gives its text only.
template <typename OnText, typename OnCode>
void Spans(std::string_view text, OnText on_text, OnCode on_code) {
  while (!text.empty()) {
    const std::size_t tick = text.find('`');
    const std::size_t bracket = text.find('[');
    if (tick == std::string_view::npos && bracket == std::string_view::npos) {
      on_text(text);
      return;
    }
    if (tick < bracket) {
      const std::size_t end = text.find('`', tick + 1);
      if (end == std::string_view::npos) {
        on_text(text);
        return;
      }
      on_text(text.substr(0, tick));
      on_code(text.substr(tick + 1, end - tick - 1));
      text.remove_prefix(end + 1);
      continue;
    }
    const std::size_t close = text.find("](", bracket);
    const std::size_t end = close == std::string_view::npos ? close : text.find(')', close);
    if (end == std::string_view::npos) {
      on_text(text.substr(0, bracket + 1));
      text.remove_prefix(bracket + 1);
      continue;
    }
    on_text(text.substr(0, bracket));
    on_text(text.substr(bracket + 1, close - bracket - 1));
    text.remove_prefix(end + 1);
  }
}

// Words of `text` filled into lines of at most `width` columns (counted in UTF-8 lead
// bytes), the first line after `first`, the others after `rest`.
std::string Wrap(std::string_view text, const std::string& first, const std::string& rest,
                 std::size_t width) {
  auto columns = [](std::string_view s) {
    std::size_t n = 0;
    for (const char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
  };
  std::string out = first;
  std::size_t column = columns(first);
  bool line_empty = true;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find(' ', at), text.size());
    const std::string_view word = text.substr(at, end - at);
    at = end + 1;
    if (word.empty()) continue;
    if (!line_empty && column + 1 + columns(word) > width) {
      out += "\n" + rest;
      column = columns(rest);
      line_empty = true;
    }
    if (!line_empty) {
      out += ' ';
      ++column;
    }
    out += word;
    column += columns(word);
    line_empty = false;
  }
  return out + "\n";
}

// ---- Plain text, for --help.

constexpr std::size_t kHelpWidth = 80;

// Code that holds a space, or only punctuation ("-"), is quoted, so that it reads as one thing.
std::string PlainInline(std::string_view text) {
  std::string out;
  auto add = [&out](std::string_view s) { out += s; };
  auto code = [&out](std::string_view s) {
    const bool alphanumeric = std::any_of(s.begin(), s.end(), [](char c) {
      return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
    const bool quote = (s.find(' ') != s.npos || !alphanumeric) && s.find_first_of("'\"") == s.npos;
    if (quote) out += '\'';
    out += s;
    if (quote) out += '\'';
  };
  Spans(text, add, code);
  return out;
}

std::string PlainBlocks(std::string_view markup, const std::string& settings,
                        const std::string& indent, Platform platform) {
  std::string out;
  for (const Block& block : Parse(markup, settings, platform)) {
    if (!out.empty()) out += "\n";
    switch (block.kind) {
      case Block::Kind::kParagraph:
        out += Wrap(PlainInline(block.items[0]), indent, indent, kHelpWidth);
        break;
      case Block::Kind::kCode:
        for (const std::string& line : block.items) out += indent + "  " + line + "\n";
        break;
      case Block::Kind::kList:
        for (const std::string& item : block.items) {
          out += Wrap(PlainInline(item), indent + "- ", indent + "  ", kHelpWidth);
        }
        break;
      case Block::Kind::kDefinitions:
        for (std::size_t i = 0; i < block.items.size(); ++i) {
          const std::string term = indent + block.terms[i];
          const std::string hang = indent + std::string(10, ' ');
          if (term.size() + 2 <= hang.size()) {
            out += Wrap(PlainInline(block.items[i]),
                        term + std::string(hang.size() - term.size(), ' '), hang, kHelpWidth);
          } else {
            out += term + "\n" + Wrap(PlainInline(block.items[i]), hang, hang, kHelpWidth);
          }
        }
        break;
    }
  }
  return out;
}

std::string PlainSection(const SectionDoc& section, const std::string& settings,
                         Platform platform) {
  return section.title + std::string(":\n") + PlainBlocks(section.text, settings, "  ", platform);
}

std::string PlainExamples(std::string_view examples, Platform platform) {
  std::string out = "Examples:\n";
  for (const std::string& line : Lines(ForPlatform(examples, platform))) {
    out += "  " + line + "\n";
  }
  return out;
}

std::string WithoutFinalNewline(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// ---- Markdown, for docs/tool.md and for the manual page.

// docs/tool.md, or the page go-md2man turns into the manual page. The latter has one line a
// paragraph, since roff fills the lines itself and go-md2man would pass a wrapped line that
// began with "." or "'" on as a request, which drops it; links to other documents as their
// text, as those documents are not beside the manual page; section titles in capitals.
struct MarkdownStyle {
  std::size_t width;
  bool links;
  bool capital_titles;
};
constexpr MarkdownStyle kDocs{.width = 96, .links = true, .capital_titles = false};
constexpr MarkdownStyle kMan{.width = std::string::npos, .links = false, .capital_titles = true};

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string MarkdownInline(const std::string& text, const MarkdownStyle& style) {
  if (style.links) return text;
  std::string out;
  Spans(
      text, [&out](std::string_view s) { out += s; },
      [&out](std::string_view s) { out += "`" + std::string(s) + "`"; });
  return out;
}

std::string MarkdownWrap(const std::string& text, const std::string& first, const std::string& rest,
                         const MarkdownStyle& style) {
  return Wrap(MarkdownInline(text, style), first, rest, style.width);
}

std::string MarkdownTitle(std::string_view title, const MarkdownStyle& style) {
  return "\n## " + (style.capital_titles ? Upper(title) : std::string(title)) + "\n";
}

std::string MarkdownBlocks(std::string_view markup, const MarkdownStyle& style = kDocs,
                           Platform platform = Platform::kPosix) {
  std::string out;
  for (const Block& block : Parse(markup, kDocumentedSettingsPath, platform)) {
    out += "\n";
    switch (block.kind) {
      case Block::Kind::kParagraph:
        out += MarkdownWrap(block.items[0], "", "", style);
        break;
      case Block::Kind::kCode:
        for (const std::string& line : block.items) out += "    " + line + "\n";
        break;
      case Block::Kind::kList:
        for (const std::string& item : block.items) out += MarkdownWrap(item, "- ", "  ", style);
        break;
      case Block::Kind::kDefinitions:
        for (std::size_t i = 0; i < block.items.size(); ++i) {
          out += MarkdownWrap("`" + block.terms[i] + "`: " + block.items[i], "- ", "  ", style);
        }
        break;
    }
  }
  return out;
}

// An option's details as one paragraph.
std::string MarkdownOption(const OptionDoc& option, const MarkdownStyle& style, Platform platform) {
  std::string details;
  for (const Block& block : Parse(option.details, kDocumentedSettingsPath, platform)) {
    Append(details, block.items[0]);
  }
  return MarkdownWrap("`" + std::string(option.name) + "`: " + details, "- ", "  ", style);
}

std::string MarkdownSynopsis() {
  std::string out;
  for (const CommandDoc& command : Commands()) {
    out += "    tolvane-crypt " + std::string(command.name) +
           (command.usage[0] == '\0' ? "" : " ") + command.usage + "\n";
  }
  return out;
}

// The sections that both pages end with; docs/tool.md then gives those that differ on Windows
// again as they read there.
constexpr const char* kClosingSections[] = {"keys",        "text",     "files",
                                            "streams",     "settings", "environment",
                                            "exit-status", "messages", "examples"};

std::string MarkdownBody(const MarkdownStyle& style) {
  std::string out = MarkdownTitle(Section("description").title, style) +
                    MarkdownBlocks(Section("description").text, style) +
                    MarkdownBlocks(Section("paths").text, style);
  out += MarkdownTitle(Section("security").title, style) +
         MarkdownBlocks(Section("security").text, style);
  out += MarkdownTitle("Subcommands", style);
  for (const CommandDoc& command : Commands()) {
    out += "\n### `" + std::string(command.name) + (command.usage[0] == '\0' ? "" : " ") +
           command.usage + "`\n" + MarkdownBlocks(command.details, style) + "\n";
    for (const std::string& line : Lines(ForPlatform(command.examples, Platform::kPosix))) {
      out += "    " + line + "\n";
    }
  }
  out += MarkdownTitle("Options", style) + "\n";
  for (const OptionDoc& option : Options()) {
    out += MarkdownOption(option, style, Platform::kPosix);
  }
  for (const char* id : kClosingSections) {
    const SectionDoc& section = Section(id);
    out += MarkdownTitle(section.title, style) + MarkdownBlocks(section.text, style);
  }
  return out;
}

bool DiffersOnWindows(std::string_view markup) {
  return ForPlatform(markup, Platform::kPosix) != ForPlatform(markup, Platform::kWindows);
}

// What --help says otherwise on Windows: each text that differs, as it reads there.
std::string MarkdownWindows() {
  std::string out = "\n## On Windows\n" +
                    MarkdownBlocks(
                        "The tool reads and writes the same bytes on Windows, and its "
                        "subcommands and options are the same. Where this page says something "
                        "that is not so there, `--help` on Windows says instead:");
  for (const CommandDoc& command : Commands()) {
    if (!DiffersOnWindows(command.details) && !DiffersOnWindows(command.examples)) continue;
    out += "\n### `" + std::string(command.name) + "`\n" +
           MarkdownBlocks(command.details, kDocs, Platform::kWindows) + "\n";
    for (const std::string& line : Lines(ForPlatform(command.examples, Platform::kWindows))) {
      out += "    " + line + "\n";
    }
  }
  std::string options;
  for (const OptionDoc& option : Options()) {
    if (DiffersOnWindows(option.details))
      options += MarkdownOption(option, kDocs, Platform::kWindows);
  }
  if (!options.empty()) out += "\n### Options\n\n" + options;
  for (const char* id : kClosingSections) {
    const SectionDoc& section = Section(id);
    if (!DiffersOnWindows(section.text)) continue;
    out += "\n### " + std::string(section.title) + "\n" +
           MarkdownBlocks(section.text, kDocs, Platform::kWindows);
  }
  return out;
}

}  // namespace

std::string ForPlatform(std::string_view markup, Platform platform) {
  std::string out;
  for (;;) {
    const std::size_t open = markup.find("{{");
    const std::size_t split = markup.find("||", open);
    const std::size_t close = markup.find("}}", split);
    if (open == markup.npos || split == markup.npos || close == markup.npos) break;
    out += markup.substr(0, open);
    out += platform == Platform::kPosix ? markup.substr(open + 2, split - open - 2)
                                        : markup.substr(split + 2, close - split - 2);
    markup.remove_prefix(close + 2);
  }
  return out += markup;
}

std::string PlainMarkup(std::string_view markup, const std::string& settings, Platform platform) {
  return PlainBlocks(markup, settings, "", platform);
}
std::string MarkdownMarkup(std::string_view markup) { return MarkdownBlocks(markup); }
std::string ManualMarkdownMarkup(std::string_view markup) { return MarkdownBlocks(markup, kMan); }

std::string HelpFooter(const std::string& settings, Platform platform) {
  std::string out;
  for (const char* id : {"examples", "paths", "exit-status", "settings-location", "security"}) {
    if (!out.empty()) out += "\n";
    out += PlainSection(Section(id), settings, platform);
  }
  return WithoutFinalNewline(out);
}

std::string CommandHelpFooter(const CommandDoc& command, const std::string& settings,
                              Platform platform) {
  std::string out = PlainExamples(command.examples, platform) + "\n" +
                    PlainBlocks(command.details, settings, "", platform);
  for (const char* id : command.help_sections) {
    out += '\n';
    out += PlainSection(Section(id), settings, platform);
  }
  return WithoutFinalNewline(out);
}

std::string MarkdownPage() {
  return "<!-- Made from tools/crypt/manual.cc: edit that, then run\n"
         "     cmake --build build --target tolvane-crypt-docs -->\n"
         "# The command-line tool: `tolvane-crypt`\n" +
         MarkdownBlocks(Section("about").text) + "\n" + MarkdownSynopsis() +
         MarkdownBlocks(Section("key").text) + MarkdownBody(kDocs) + MarkdownWindows();
}

std::string ManualMarkdown(const std::string& version) {
  // go-md2man copies the title block into the page's .TH line as it is.
  return "% TOLVANE-CRYPT 1 2026 \"tolvane-crypt " + version + "\" \"User Commands\"\n" +
         MarkdownTitle("Name", kMan) + "\ntolvane-crypt - " + kToolPurpose + "\n" +
         MarkdownTitle("Synopsis", kMan) + "\n" + MarkdownSynopsis() +
         "    tolvane-crypt --version | --help\n" + MarkdownBlocks(Section("key").text, kMan) +
         MarkdownBody(kMan) + MarkdownTitle(Section("see-also").title, kMan) +
         MarkdownBlocks(Section("see-also").text, kMan);
}

}  // namespace tolvane::crypt
