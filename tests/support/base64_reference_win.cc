// windows.h first: the other system headers build on it.
#include <windows.h>

#include <wincrypt.h>

#include <stdexcept>

#include "tests/support/base64_reference_testing.h"

namespace tolvane::testing {

std::string ReferenceBase64Encode(const std::vector<std::uint8_t>& data) {
  if (data.empty()) return {};
  constexpr DWORD kFlags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
  const auto size = static_cast<DWORD>(data.size());
  DWORD length = 0;
  if (!CryptBinaryToStringA(data.data(), size, kFlags, nullptr, &length)) {
    throw std::runtime_error("CryptBinaryToStringA failed");
  }
  std::string out(length, '\0');
  if (!CryptBinaryToStringA(data.data(), size, kFlags, out.data(), &length)) {
    throw std::runtime_error("CryptBinaryToStringA failed");
  }
  out.resize(length);  // the length written, without the terminating NUL
  return out;
}

}  // namespace tolvane::testing
