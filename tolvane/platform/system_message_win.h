#ifndef TOLVANE_PLATFORM_SYSTEM_MESSAGE_WIN_H_
#define TOLVANE_PLATFORM_SYSTEM_MESSAGE_WIN_H_

#include <string>

namespace tolvane {

// The system's text for a Windows error code (GetLastError, or a registry status), as UTF-8
// without its trailing full stop and line break; "system error N" when there is none.
std::string SystemMessage(unsigned long code);

}  // namespace tolvane

#endif  // TOLVANE_PLATFORM_SYSTEM_MESSAGE_WIN_H_
