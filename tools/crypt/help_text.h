#ifndef TOOLS_CRYPT_HELP_TEXT_H_
#define TOOLS_CRYPT_HELP_TEXT_H_

#include <string>

namespace tolvane::crypt {

// Where the settings are stored, as --help says it: help_text_posix.cc (the path in use) and
// help_text_win.cc (the registry key).
std::string SettingsLocation();

}  // namespace tolvane::crypt

#endif  // TOOLS_CRYPT_HELP_TEXT_H_
