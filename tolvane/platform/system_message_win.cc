#include "tolvane/platform/system_message_win.h"

#include <windows.h>

#include "tolvane/base/utf8.h"

namespace tolvane {

std::string SystemMessage(unsigned long code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::u16string message;
  if (n != 0 && text != nullptr) message.assign(text, text + n);
  LocalFree(text);
  while (!message.empty() && (message.back() == u'\r' || message.back() == u'\n' ||
                              message.back() == u' ' || message.back() == u'.')) {
    message.pop_back();
  }
  if (message.empty()) return "system error " + std::to_string(code);
  return Utf16ToUtf8(message);
}

}  // namespace tolvane
