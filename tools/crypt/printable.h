#ifndef TOOLS_CRYPT_PRINTABLE_H_
#define TOOLS_CRYPT_PRINTABLE_H_

#include <string>
#include <string_view>

namespace tolvane::crypt {

// Text the tool shows that may hold names chosen by others (file names, settings): control
// characters there would break a message over lines or send a terminal commands.

// `text` with every control character (U+0000-001F, U+007F-009F) and every byte that is not
// part of valid UTF-8 written as an escape: \n, \r, \t, or \xNN for each byte. Printable
// UTF-8 passes unchanged. For messages.
std::string Printable(std::string_view text);

// A name for a listing of one name a line: as it is when it holds nothing Printable would
// escape and does not start with a double quote; otherwise in double quotes, escaped as
// Printable does and with " and \ as \" and \\, so that a quoted line is never a name as it is.
std::string ListedName(std::string_view name);

}  // namespace tolvane::crypt

#endif  // TOOLS_CRYPT_PRINTABLE_H_
