#include <windows.h>

#include "tolvane/base/wipe.h"

namespace tolvane {

void SecureWipe(void* data, std::size_t size) noexcept {
  if (data != nullptr && size != 0) SecureZeroMemory(data, size);
}

}  // namespace tolvane
