#ifndef TOLVANE_PLATFORM_MESSAGE_BOX_H_
#define TOLVANE_PLATFORM_MESSAGE_BOX_H_

#include <string_view>

namespace tolvane {

// Shows `message` (UTF-8; bytes that are not UTF-8 are shown as U+FFFD) in the platform's
// modal message box: one OK button, no icon, the program's name as the title. Returns once the
// user has closed it, true. Returns false at once, having shown nothing, when no box can be
// shown here (no desktop session, for example); the caller then uses its own fallback.
//
// On Windows this is MessageBoxW, owned by the calling thread's active window if it has one.
// Elsewhere it is a GTK dialog (see gtk_message_box.h for when one can be shown).
bool ShowPlatformMessageBox(std::string_view message) noexcept;

}  // namespace tolvane

#endif  // TOLVANE_PLATFORM_MESSAGE_BOX_H_
