#ifndef TOLVANE_TESTS_SUPPORT_BASE64_REFERENCE_TESTING_H_
#define TOLVANE_TESTS_SUPPORT_BASE64_REFERENCE_TESTING_H_

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane::testing {

// Standard Base64 of `data`, "=" padded, one line, from an encoder independent of the decoder
// under test: libcrypto on Linux, the system's CryptBinaryToStringA on Windows.
std::string ReferenceBase64Encode(const std::vector<std::uint8_t>& data);

}  // namespace tolvane::testing

#endif  // TOLVANE_TESTS_SUPPORT_BASE64_REFERENCE_TESTING_H_
