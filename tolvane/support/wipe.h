#ifndef TOLVANE_SUPPORT_WIPE_H_
#define TOLVANE_SUPPORT_WIPE_H_

// The include path that programs built against this library have always used; the
// declarations live in tolvane/base/wipe.h.
#include "tolvane/base/wipe.h"  // IWYU pragma: export

#endif  // TOLVANE_SUPPORT_WIPE_H_
