#ifndef TOLVANE_BASE_ERROR_H_
#define TOLVANE_BASE_ERROR_H_

#include <cstdint>
#include <exception>
#include <string>

#include "tolvane/base/export.h"

namespace tolvane {

// A failure as the component reports it: a signed 32-bit number and a description.
class TOLVANE_API Error : public std::exception {
 public:
  Error(std::int32_t number, std::string description);

  std::int32_t number() const noexcept { return number_; }
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  std::int32_t number_;
  std::string description_;
};

// The numbers the cipher class raises itself: the object-error base 0x80040000 plus an offset.
inline constexpr std::int32_t kErrNotKeyed = -2147218103;        // 0x80040D49
inline constexpr std::int32_t kErrSizeMismatch = -2147218102;    // 0x80040D4A
inline constexpr std::int32_t kErrNotFound = kErrSizeMismatch;   // shares 0x80040D4A
inline constexpr std::int32_t kErrNotMultipleOf8 = -2147218101;  // 0x80040D4B

// The numbers of failures the class detects but does not define itself.
inline constexpr std::int32_t kErrInvalidCall = 5;  // an argument that cannot be used
inline constexpr std::int32_t kErrOverflow = 6;
inline constexpr std::int32_t kErrOutOfMemory = 7;
inline constexpr std::int32_t kErrSubscript = 9;
inline constexpr std::int32_t kErrTypeMismatch = 13;
inline constexpr std::int32_t kErrInternal = 51;
inline constexpr std::int32_t kErrFileNotFound = 53;
inline constexpr std::int32_t kErrDiskFull = 61;
inline constexpr std::int32_t kErrPermissionDenied = 70;
inline constexpr std::int32_t kErrPathAccess = 75;
inline constexpr std::int32_t kErrBadFileFormat = 321;  // a file that is not what it should be

// Ready-made errors with their fixed texts.
TOLVANE_API Error SubscriptError();       // 9 "Subscript out of range"
TOLVANE_API Error OverflowError();        // 6 "Overflow"
TOLVANE_API Error OutOfMemoryError();     // 7 "Out of memory"
TOLVANE_API Error NotKeyedError();        // -2147218103 "Call sInitBF before calling this sub"
TOLVANE_API Error NotMultipleOf8Error();  // -2147218101 "Byte array must be sized divisible by 8."
// -2147218102 "Need to pass two byte arrays the same size"
TOLVANE_API Error SizeMismatchError();
// -2147218101 "String to decrypt should be sized divisible by 8."
TOLVANE_API Error TextNotMultipleOf8Error();

}  // namespace tolvane

#endif  // TOLVANE_BASE_ERROR_H_
