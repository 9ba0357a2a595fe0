#include "tolvane/support/settings_file.h"
#include "tools/crypt/help_text.h"

namespace tolvane::crypt {

std::string SettingsLocation() {
  try {
    return SettingsFilePath().string();
  } catch (...) {
    return "$XDG_CONFIG_HOME/Brennix/Tolvane/settings.sqlite3";
  }
}

}  // namespace tolvane::crypt
