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

Error SizeMismatchError() {
  return Error(kErrSizeMismatch, "Need to pass two byte arrays the same size");
}
Error TextNotMultipleOf8Error() {
  return Error(kErrNotMultipleOf8, "String to decrypt should be sized divisible by 8.");
}

}  // namespace tolvane
