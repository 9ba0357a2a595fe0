#ifndef TOLVANE_SUPPORT_SETTINGS_FILE_H_
#define TOLVANE_SUPPORT_SETTINGS_FILE_H_

#include <filesystem>

namespace tolvane {

// The per-user settings database: $XDG_CONFIG_HOME/Brennix/Tolvane/settings.sqlite3, or
// $HOME/.config/... when XDG_CONFIG_HOME is unset, empty or not absolute (the home folder
// comes from the password database when HOME is unset too). Throws tolvane::Error when no
// home folder can be found.
std::filesystem::path SettingsFilePath();

// Makes sure `file` exists and only its owner can reach it: missing folders on its path are
// created with mode 0700 and a missing file with mode 0600; an existing file keeps its
// contents but loses any group and other permissions. A symbolic link, anything but a regular
// file, or a file of another user is refused (75) and left as it is. Throws tolvane::Error
// naming the path that could not be created, opened or used. Never opens the file itself, so
// the locks that SQLite connections of this process hold on it stay in place.
void CreatePrivateFile(const std::filesystem::path& file);

}  // namespace tolvane

#endif  // TOLVANE_SUPPORT_SETTINGS_FILE_H_
