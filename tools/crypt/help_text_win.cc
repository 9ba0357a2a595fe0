#include "tools/crypt/help_text.h"

namespace tolvane::crypt {

std::string SettingsLocation() {
  return "the registry, under HKEY_CURRENT_USER\\Software\\Brennix\\Tolvane";
}

}  // namespace tolvane::crypt
