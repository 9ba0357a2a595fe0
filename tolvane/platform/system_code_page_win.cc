#include <windows.h>

#include <climits>
#include <string>

#include "tolvane/base/error.h"
#include "tolvane/platform/system_code_page.h"

namespace tolvane::system_code_page {
namespace {

[[noreturn]] void ThrowConversionFailed(const char* call, int codePage) {
  const DWORD code = GetLastError();
  throw Error(kErrInvalidCall, std::string(call) + " failed for code page " +
                                   std::to_string(codePage) + " (system error " +
                                   std::to_string(code) + ")");
}

int CheckedLength(std::size_t size) {
  if (size > INT_MAX) throw OverflowError();
  return static_cast<int>(size);
}

}  // namespace

int Default() noexcept { return static_cast<int>(GetACP()); }

void Encode(int codePage, std::u16string_view text, std::span<std::uint8_t> bytes) {
  if (text.empty()) return;
  const int length = CheckedLength(text.size());
  // Flags 0 and no default character: best fit where the page has one, else "?", exactly as
  // the programs that made the stored cipher text converted.
  const int written = WideCharToMultiByte(
      static_cast<UINT>(codePage), 0, reinterpret_cast<const wchar_t*>(text.data()), length,
      reinterpret_cast<char*>(bytes.data()), CheckedLength(bytes.size()), nullptr, nullptr);
  if (written != length) ThrowConversionFailed("WideCharToMultiByte", codePage);
}

void Decode(int codePage, std::span<const std::uint8_t> bytes, std::span<char16_t> text) {
  if (bytes.empty()) return;
  const int length = CheckedLength(bytes.size());
  const int written = MultiByteToWideChar(
      static_cast<UINT>(codePage), 0, reinterpret_cast<const char*>(bytes.data()), length,
      reinterpret_cast<wchar_t*>(text.data()), CheckedLength(text.size()));
  if (written != length) ThrowConversionFailed("MultiByteToWideChar", codePage);
}

}  // namespace tolvane::system_code_page
