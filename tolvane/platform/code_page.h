#ifndef TOLVANE_PLATFORM_CODE_PAGE_H_
#define TOLVANE_PLATFORM_CODE_PAGE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "tolvane/base/error.h"
#include "tolvane/base/export.h"

namespace tolvane {

namespace code_page_tables {
struct Table;
}  // namespace code_page_tables

// Conversion between UTF-16 text and the bytes of a single-byte ANSI code page, exactly as
// Windows converts (MultiByteToWideChar and WideCharToMultiByte with flags 0). Stored cipher
// text, hexadecimal code and text keys depend on it byte for byte. On Windows the system's
// calls do the work; elsewhere tables generated from them do.
//
// Supported: 874 and 1250 to 1258. Each of the 256 byte values becomes a code unit of its own
// and that code unit turns back into the same byte, so bytes -> text -> bytes never changes
// anything. Bytes a page leaves unassigned become what Windows makes of them: U+0081 for 0x81
// in 1252, private-use characters for some (0xAA in 1253 becomes U+F8F9). A code unit the page
// lacks becomes its best fit where Windows has one (U+0100 becomes "A" and U+221E "8" in
// 1252), else "?" (0x3F); each half of a surrogate pair becomes "?", so a character outside the
// Basic Multilingual Plane becomes "??". Text and bytes therefore always have the same length.

// The error number for a code page that cannot be used: invalid procedure call or argument.
inline constexpr std::int32_t kErrUnsupportedCodePage = 5;

// The byte that stands for a code unit the code page cannot represent.
inline constexpr std::uint8_t kUnmappableByte = 0x3F;  // "?"

// The name of the environment variable that chooses the code page at first use.
inline constexpr char kAnsiCodePageVariable[] = "TOLVANE_ANSI_CODEPAGE";

// One supported code page's tables. Cheap to copy.
class TOLVANE_API CodePage {
 public:
  // Throws tolvane::Error kErrUnsupportedCodePage for a code page that is not supported.
  static CodePage Of(int codePage);
  // The active ANSI code page (see AnsiCodePage); throws as AnsiCodePage does.
  static CodePage Active();

  int number() const noexcept;
  char16_t ToUnit(std::uint8_t byte) const noexcept;
  std::uint8_t ToByte(char16_t unit) const noexcept;

  // Writes one byte per code unit; `bytes` must be exactly as long as `text`.
  void Encode(std::u16string_view text, std::span<std::uint8_t> bytes) const noexcept;
  // Writes one code unit per byte; `text` must be exactly as long as `bytes`.
  void Decode(std::span<const std::uint8_t> bytes, std::span<char16_t> text) const noexcept;

 private:
  explicit CodePage(const code_page_tables::Table* table) noexcept : table_(table) {}
  const code_page_tables::Table* table_;
};

// A code page decided once, for work that converts more than once and must use one page
// throughout, whatever another thread makes active meanwhile: the page, or the tolvane::Error
// that refused it. Each use of a refused page throws that error again, so that every step
// that converts fails just as it would have on its own, and work that converts nothing never
// fails for the page.
class ResolvedCodePage {
 public:
  explicit ResolvedCodePage(const CodePage& page) : page_(page) {}
  // The active ANSI code page (see AnsiCodePage), or why it cannot be used.
  static ResolvedCodePage Active() {
    try {
      return ResolvedCodePage(CodePage::Active());
    } catch (const Error& refusal) {
      return ResolvedCodePage(refusal);
    }
  }

  // The page; throws the error that refused it.
  const CodePage& Get() const {
    if (!page_) throw *refusal_;
    return *page_;
  }
  bool refused() const noexcept { return !page_; }

 private:
  explicit ResolvedCodePage(const Error& refusal) : refusal_(refusal) {}
  std::optional<CodePage> page_;
  std::optional<Error> refusal_;
};

// Whether the code page is one this layer supports.
TOLVANE_API bool IsSupportedAnsiCodePage(int codePage) noexcept;

// The active ANSI code page for the whole process: the system's (GetACP() on Windows, 1252
// elsewhere), unless the environment variable TOLVANE_ANSI_CODEPAGE names another when the
// active code page is first needed, or the program chose one with SetAnsiCodePage before. The
// variable is read at most once.
// Throws tolvane::Error kErrUnsupportedCodePage when that page is not supported (the system's
// 932 or 65001, say, or a variable that is no number), and keeps doing so until
// SetAnsiCodePage chooses one: falling back to another page would silently turn stored cipher
// text into other text.
TOLVANE_API int AnsiCodePage();

// Makes `codePage` the active ANSI code page. Throws tolvane::Error kErrUnsupportedCodePage,
// changing nothing, when it is not supported. Safe to call from any thread, but meant for
// start-up: a text method running meanwhile on another thread may use either code page.
TOLVANE_API void SetAnsiCodePage(int codePage);

// The bytes of `text` in the active ANSI code page; `bytes` must be exactly as long as `text`.
// Throws as AnsiCodePage does, and tolvane::Error 9 when the lengths differ.
TOLVANE_API void TextToAnsi(std::u16string_view text, std::span<std::uint8_t> bytes);
// `bytes` as text through the active ANSI code page, one code unit per byte. Throws as
// AnsiCodePage does.
TOLVANE_API std::u16string AnsiToText(std::span<const std::uint8_t> bytes);

}  // namespace tolvane

#endif  // TOLVANE_PLATFORM_CODE_PAGE_H_
