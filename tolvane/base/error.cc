#include "tolvane/base/error.h"

#include <utility>

namespace tolvane {

Error::Error(std::int32_t number, std::string description)
    : number_(number), description_(std::move(description)) {}

Error SubscriptError() { return Error(kErrSubscript, "Subscript out of range"); }
Error OverflowError() { return Error(kErrOverflow, "Overflow"); }
Error OutOfMemoryError() { return Error(kErrOutOfMemory, "Out of memory"); }
Error NotKeyedError() { return Error(kErrNotKeyed, "Call sInitBF before calling this sub"); }
Error NotMultipleOf8Error() {
  return Error(kErrNotMultipleOf8, "Byte array must be sized divisible by 8.");
}

}  // namespace tolvane
