#include "tolvane/errors/report.h"

#include <cstdio>
#include <mutex>
#include <utility>

#include "tolvane/platform/message_box.h"

namespace tolvane {
namespace {

std::mutex& HandlerMutex() {
  static std::mutex mutex;
  return mutex;
}

MessageBoxHandler& InstalledHandler() {
  static MessageBoxHandler handler;
  return handler;
}

void WriteLineToStderr(std::string_view text) noexcept {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

// Last resort when the message itself cannot be built: write its pieces one by one.
void WritePiecesToStderr(std::string_view label, const Error& error) noexcept {
  std::fwrite(label.data(), 1, label.size(), stderr);
  std::fprintf(stderr, "(%ld - ", static_cast<long>(error.number()));
  std::fputs(error.description().c_str(), stderr);
  std::fputs(")\n", stderr);
  std::fflush(stderr);
}

// The built-in message box: a desktop dialog where one can be shown, else one line on stderr.
void ShowBuiltInMessageBox(const std::string& message) noexcept {
  if (!ShowPlatformMessageBox(message)) WriteLineToStderr(message);
}

}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard<std::mutex> lock(HandlerMutex());
  return std::exchange(InstalledHandler(), std::move(handler));
}

std::string FormatErrorMessage(std::string_view label, const Error& error) {
  std::string message;
  message.reserve(label.size() + error.description().size() + 16);
  message.append(label);
  message.push_back('(');
  message.append(std::to_string(error.number()));
  message.append(" - ");
  message.append(error.description());
  message.push_back(')');
  return message;
}

void ReportError(std::string_view label, const Error& error) {
  try {
    const std::string message = FormatErrorMessage(label, error);
    MessageBoxHandler handler;
    {
      std::lock_guard<std::mutex> lock(HandlerMutex());
      handler = InstalledHandler();
    }
    // The handler is called outside the lock so that it may block (a modal box) or swap handlers.
    if (handler) {
      try {
        handler(message);
        return;
      } catch (...) {
        // A failing handler must not turn a reported error into an escaping one.
        WriteLineToStderr(message);
        return;
      }
    }
    ShowBuiltInMessageBox(message);
  } catch (...) {
    WritePiecesToStderr(label, error);
  }
}

}  // namespace tolvane
