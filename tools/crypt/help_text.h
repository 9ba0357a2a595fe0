#ifndef TOOLS_CRYPT_HELP_TEXT_H_
#define TOOLS_CRYPT_HELP_TEXT_H_

#include <string>

namespace tolvane::crypt {

// The texts after the option lists of --help: examples, exit codes, where settings live and
// what the format does not protect.
std::string MainFooter();
std::string FileFooter(bool encrypt);
std::string CheckFooter();
std::string TextFooter(bool encrypt);
std::string HexFooter(bool encode);
std::string Base64Footer();
std::string SettingsFooter(const std::string& command);

}  // namespace tolvane::crypt

#endif  // TOOLS_CRYPT_HELP_TEXT_H_
