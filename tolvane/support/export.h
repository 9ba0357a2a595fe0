#ifndef TOLVANE_SUPPORT_EXPORT_H_
#define TOLVANE_SUPPORT_EXPORT_H_

// The include path that programs built against this library have always used; the
// declarations live in tolvane/base/export.h.
#include "tolvane/base/export.h"  // IWYU pragma: export

#endif  // TOLVANE_SUPPORT_EXPORT_H_
