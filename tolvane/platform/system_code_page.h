#ifndef TOLVANE_PLATFORM_SYSTEM_CODE_PAGE_H_
#define TOLVANE_PLATFORM_SYSTEM_CODE_PAGE_H_

#include <cstdint>
#include <span>
#include <string_view>

namespace tolvane::system_code_page {

// What the operating system provides for the ANSI code page; code_page.cc builds the public
// interface on it. Callers pass only supported (single-byte) pages and equal lengths.

// The code page the system makes active for this process: GetACP() on Windows; 1252 where
// the system has no such notion.
int Default() noexcept;

// One byte per code unit, as the system converts (Windows: WideCharToMultiByte, flags 0,
// best fit included). Throws tolvane::Error when the system refuses.
void Encode(int codePage, std::u16string_view text, std::span<std::uint8_t> bytes);

// One code unit per byte, as the system converts (Windows: MultiByteToWideChar, flags 0).
void Decode(int codePage, std::span<const std::uint8_t> bytes, std::span<char16_t> text);

}  // namespace tolvane::system_code_page

#endif  // TOLVANE_PLATFORM_SYSTEM_CODE_PAGE_H_
