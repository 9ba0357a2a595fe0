#include "tolvane/platform/code_page.h"
#include "tolvane/platform/system_code_page.h"

namespace tolvane::system_code_page {

// Without a system conversion, the tables made from Windows' own conversion stand in for it.

int Default() noexcept { return 1252; }

void Encode(int codePage, std::u16string_view text, std::span<std::uint8_t> bytes) {
  CodePage::Of(codePage).Encode(text, bytes);
}

void Decode(int codePage, std::span<const std::uint8_t> bytes, std::span<char16_t> text) {
  CodePage::Of(codePage).Decode(bytes, text);
}

}  // namespace tolvane::system_code_page
