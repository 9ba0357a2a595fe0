#include <windows.h>

#include <climits>
#include <string>

#include "tolvane/platform/message_box.h"

namespace tolvane {
namespace {

// UTF-8 to UTF-16; without MB_ERR_INVALID_CHARS, malformed bytes become U+FFFD.
std::wstring Widen(std::string_view utf8) {
  if (utf8.empty() || utf8.size() > INT_MAX) return {};
  const int size = static_cast<int>(utf8.size());
  const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), units);
  return wide;
}

// The program's name: its executable's file name without the extension, as the title of a box
// the caller gave no title would show it.
std::wstring ProgramName() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return L"Error";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
  const std::size_t dot = name.find_last_of(L'.');
  if (dot != std::wstring::npos && dot > 0) name.resize(dot);
  return name;
}

}  // namespace

bool ShowPlatformMessageBox(std::string_view message) noexcept {
  try {
    const std::wstring text = Widen(message);
    const std::wstring title = ProgramName();
    // Owned by the active window, the box blocks it; with no window, MB_TASKMODAL blocks every
    // top-level window of this thread instead.
    const HWND owner = GetActiveWindow();
    const UINT style = MB_OK | (owner != nullptr ? MB_APPLMODAL : MB_TASKMODAL) | MB_SETFOREGROUND;
    // 0 is Windows' failure; -1 is what Wine returns when it has no display.
    const int result = MessageBoxW(owner, text.c_str(), title.c_str(), style);
    return result > 0;
  } catch (...) {
    return false;
  }
}

}  // namespace tolvane
