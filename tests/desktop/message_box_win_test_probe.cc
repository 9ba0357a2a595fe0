// The program that message_box_win_test.sh drives under Wine. It links only tolvane::tolvane
// and reports on standard output, one fact per line:
//   calling 1 / returned 1 <output hex>   around sEncrypt on an unkeyed instance
// and, while the box is open (read from its own windows by a second thread):
//   dialog / title=... / text=... / ok=1 / cancel=0 / icon=0 / modal=0|1 / end
#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>

#include "tolvane/base/utf8.h"
#include "tolvane/cipher/blowfish.h"

namespace {

void Say(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::string Utf8(const wchar_t* text) {
  const std::wstring wide(text);
  return tolvane::Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

std::string WindowText(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return Utf8(text);
}

// The static control MessageBoxW puts the text in, and the icon's, by their dialog item ids.
constexpr int kTextItem = 0xFFFF;
constexpr int kIconItem = 20;

// Keeps the first visible dialog window in *out. A function, not a lambda: WNDENUMPROC is
// CALLBACK (__stdcall on 32-bit), which a lambda does not convert to.
BOOL CALLBACK FindDialog(HWND window, LPARAM out) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (std::wstring(name) != L"#32770" || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(out) = window;
  return FALSE;
}

// Waits for the message box of `thread` to appear and describes it once.
void DescribeDialog(DWORD thread) {
  for (int tries = 0; tries < 400; ++tries) {
    HWND found = nullptr;
    EnumThreadWindows(thread, FindDialog, reinterpret_cast<LPARAM>(&found));
    if (found != nullptr) {
      Say("dialog");
      Say("title=" + WindowText(found));
      Say("text=" + WindowText(GetDlgItem(found, kTextItem)));
      Say(std::string("ok=") + (GetDlgItem(found, IDOK) != nullptr ? "1" : "0"));
      Say(std::string("cancel=") + (GetDlgItem(found, IDCANCEL) != nullptr ? "1" : "0"));
      Say(std::string("icon=") + (GetDlgItem(found, kIconItem) != nullptr ? "1" : "0"));
      Say("end");
      return;
    }
    Sleep(50);
  }
  Say("no dialog");
}

std::string EncryptUnkeyed() {
  tolvane::Blowfish bf;
  tolvane::ByteArray in(8), out(8);
  for (auto& b : out) b = 0x5A;
  bf.sEncrypt(in, out);
  std::string hex;
  char digits[3];
  for (const std::uint8_t b : out) {
    std::snprintf(digits, sizeof digits, "%02X", b);
    hex += digits;
  }
  return hex;
}

}  // namespace

int main() {
  std::thread watcher(DescribeDialog, GetCurrentThreadId());
  Say("calling 1");
  Say("returned 1 " + EncryptUnkeyed());
  watcher.join();
  return 0;
}
