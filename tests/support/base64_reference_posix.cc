#include <openssl/evp.h>

#include "tests/support/base64_reference_testing.h"

namespace tolvane::testing {

std::string ReferenceBase64Encode(const std::vector<std::uint8_t>& data) {
  std::string out(4 * ((data.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), data.data(),
                                static_cast<int>(data.size()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

}  // namespace tolvane::testing
