#ifndef TOLVANE_ERRORS_ERROR_H_
#define TOLVANE_ERRORS_ERROR_H_

// The include path that programs built against this library have always used; the
// declarations live in tolvane/base/error.h.
#include "tolvane/base/error.h"  // IWYU pragma: export

#endif  // TOLVANE_ERRORS_ERROR_H_
