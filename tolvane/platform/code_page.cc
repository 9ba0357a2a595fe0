#include "tolvane/platform/code_page.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <string>
#include <system_error>
#include <utility>

#include "tolvane/base/error.h"
#include "tolvane/platform/code_page_tables.h"
#include "tolvane/platform/system_code_page.h"

namespace tolvane {
namespace {

using code_page_tables::kTables;

constexpr char kSupportedList[] = "874, 1250 to 1258";

// 0 until the active code page is first needed; then the code page, or kNotACodePage when
// the environment variable held something that is no code page number. Supported or not,
// it is stored, so that every later use refuses it the same way until the program sets one.
// A page that came from the system rather than the variable is stored negated, for the
// message that refuses it; any positive number, however large, is the variable's own.
std::atomic<int> g_active{0};
constexpr int kNotACodePage = INT_MIN;

bool FromSystem(int stored) noexcept { return stored < 0 && stored != kNotACodePage; }
int PageOf(int stored) noexcept { return FromSystem(stored) ? -stored : stored; }

const code_page_tables::Table* FindTable(int codePage) noexcept {
  for (const auto& table : kTables) {
    if (table.number == codePage) return &table;
  }
  return nullptr;
}

int ReadEnvironment() {
  const char* value = std::getenv(kAnsiCodePageVariable);
  // Only an unset variable means the system's page: an empty one (a script's unset expansion,
  // say) is refused like any other value that names no code page.
  if (value == nullptr) {
    const int system = system_code_page::Default();
    return system > 0 ? -system : kNotACodePage;
  }
  const std::string_view text(value);
  int codePage = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), codePage);
  if (ec != std::errc() || end != text.data() + text.size() || codePage <= 0) {
    return kNotACodePage;
  }
  return codePage;
}

[[noreturn]] void ThrowUnsupported(int codePage, bool fromEnvironment) {
  std::string message;
  if (fromEnvironment && FromSystem(codePage)) {
    message =
        "The system's ANSI code page " + std::to_string(PageOf(codePage)) + " is not supported";
  } else if (fromEnvironment) {
    message = std::string(kAnsiCodePageVariable) +
              (codePage == kNotACodePage
                   ? std::string(" does not name a code page")
                   : " names code page " + std::to_string(codePage) + ", which is not supported");
  } else {
    message = "Code page " + std::to_string(codePage) + " is not supported";
  }
  message += std::string(" (supported: ") + kSupportedList + ")";
  throw Error(kErrUnsupportedCodePage, std::move(message));
}

}  // namespace

CodePage CodePage::Of(int codePage) {
  const code_page_tables::Table* table = FindTable(codePage);
  if (table == nullptr) ThrowUnsupported(codePage, false);
  return CodePage(table);
}

CodePage CodePage::Active() {
  const int codePage = AnsiCodePage();
  return CodePage(FindTable(codePage));
}

int CodePage::number() const noexcept { return table_->number; }

char16_t CodePage::ToUnit(std::uint8_t byte) const noexcept { return table_->to_unit[byte]; }

std::uint8_t CodePage::ToByte(char16_t unit) const noexcept {
  if (unit < 0x80) return static_cast<std::uint8_t>(unit);
  const std::span<const char16_t> units = table_->units;
  const auto it = std::lower_bound(units.begin(), units.end(), unit);
  if (it == units.end() || *it != unit) return kUnmappableByte;
  return table_->bytes[static_cast<std::size_t>(it - units.begin())];
}

void CodePage::Encode(std::u16string_view text, std::span<std::uint8_t> bytes) const noexcept {
  for (std::size_t i = 0; i < text.size(); ++i) bytes[i] = ToByte(text[i]);
}

void CodePage::Decode(std::span<const std::uint8_t> bytes,
                      std::span<char16_t> text) const noexcept {
  for (std::size_t i = 0; i < bytes.size(); ++i) text[i] = table_->to_unit[bytes[i]];
}

bool IsSupportedAnsiCodePage(int codePage) noexcept { return FindTable(codePage) != nullptr; }

int AnsiCodePage() {
  int codePage = g_active.load(std::memory_order_acquire);
  if (codePage == 0) {
    int expected = 0;
    // A code page set meanwhile by another thread wins over the environment.
    g_active.compare_exchange_strong(expected, ReadEnvironment(), std::memory_order_acq_rel);
    codePage = g_active.load(std::memory_order_acquire);
  }
  if (!IsSupportedAnsiCodePage(PageOf(codePage))) ThrowUnsupported(codePage, true);
  return PageOf(codePage);
}

void SetAnsiCodePage(int codePage) {
  if (!IsSupportedAnsiCodePage(codePage)) ThrowUnsupported(codePage, false);
  g_active.store(codePage, std::memory_order_release);
}

void TextToAnsi(std::u16string_view text, std::span<std::uint8_t> bytes) {
  if (bytes.size() != text.size()) throw SubscriptError();
  system_code_page::Encode(AnsiCodePage(), text, bytes);
}

std::u16string AnsiToText(std::span<const std::uint8_t> bytes) {
  const int codePage = AnsiCodePage();
  std::u16string text(bytes.size(), u'\0');
  system_code_page::Decode(codePage, bytes, text);
  return text;
}

}  // namespace tolvane
