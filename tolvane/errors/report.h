#ifndef TOLVANE_ERRORS_REPORT_H_
#define TOLVANE_ERRORS_REPORT_H_

#include <functional>
#include <string>
#include <string_view>

#include "tolvane/base/error.h"
#include "tolvane/base/export.h"

namespace tolvane {

// Shows one message to the user and returns once it has been dismissed.
using MessageBoxHandler = std::function<void(const std::string& message)>;

// Installs the function that shows messages and returns the one it replaces (empty when the
// built-in one was active). Safe to call from any thread. An empty handler restores the
// built-in message box, a modal box with one OK button and the program's name as its title:
//   - On Windows, MessageBoxW, owned by the calling thread's active window (blocking it), or
//     blocking the thread's windows when it has none. Where no box can be shown (a service, or
//     no desktop), the message goes to standard error as one line.
//   - Elsewhere, in a desktop session, a GTK 3 dialog (GTK is loaded at run time; see
//     tolvane/platform/gtk_message_box.h for when it is used); otherwise the message as one
//     line on standard error.
TOLVANE_API MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// Builds "label(number - description)" and shows it in the message box. Never throws: if the
// message cannot be built or the handler fails, the line goes to standard error instead.
TOLVANE_API void ReportError(std::string_view label, const Error& error);

// The message text exactly as ReportError shows it.
TOLVANE_API std::string FormatErrorMessage(std::string_view label, const Error& error);

}  // namespace tolvane

#endif  // TOLVANE_ERRORS_REPORT_H_
