#ifndef TOLVANE_PLATFORM_GTK_MESSAGE_BOX_H_
#define TOLVANE_PLATFORM_GTK_MESSAGE_BOX_H_

#include <string_view>

namespace tolvane {

// Shows `message` in a modal GTK 3 dialog with one OK button, no icon, the text as plain text
// and the application's name as the window title, and returns once the user has closed it
// (OK, Enter, Escape or the window's close button).
//
// GTK is loaded at run time (libgtk-3.so.0), so nothing needs GTK to build or to start.
// Returns false, having shown nothing, when no dialog can be shown safely from here; the caller
// then uses its own fallback. That is the case when
//  - neither DISPLAY nor WAYLAND_DISPLAY is set (GTK is then not even loaded),
//  - GTK 3 cannot be loaded, or cannot open the display,
//  - GTK 2 or GTK 4 is already loaded in the process (GTK 3 beside them aborts the program),
//  - this thread may not use GTK: when this component brought GTK up, only the thread that did
//    so may show dialogs; when the host program initialised GTK itself, only the thread that
//    is running its GLib main loop at the moment, from inside that loop,
//  - another thread is running a GLib main loop on the default context.
// It never waits for another thread, so it cannot deadlock against the host.
bool ShowGtkMessageBox(std::string_view message) noexcept;

}  // namespace tolvane

#endif  // TOLVANE_PLATFORM_GTK_MESSAGE_BOX_H_
