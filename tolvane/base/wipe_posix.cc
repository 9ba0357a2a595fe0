#include "tolvane/base/wipe.h"

#include <string.h>  // explicit_bzero (glibc)

namespace tolvane {

void SecureWipe(void* data, std::size_t size) noexcept {
  if (data != nullptr && size != 0) explicit_bzero(data, size);
}

}  // namespace tolvane
