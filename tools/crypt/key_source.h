#ifndef TOOLS_CRYPT_KEY_SOURCE_H_
#define TOOLS_CRYPT_KEY_SOURCE_H_

#include <stdexcept>
#include <string>

#include "tolvane/support/wipe.h"

namespace tolvane::crypt {

// A mistake in how the tool was called, as opposed to a failure of the work itself.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where the key comes from: a file of raw bytes, or the text of an environment variable.
// With neither, the key is asked for at a prompt without echo when standard input is a
// terminal.
struct KeyOptions {
  std::string file;
  std::string env;
};

// The key bytes. Text keys (environment, prompt) are converted through the active ANSI code
// page, as a desktop program keying the cipher with its password's ANSI bytes does. Throws
// UsageError when no key can be had, tolvane::Error when a key file cannot be read.
SecureBytes ReadKey(const KeyOptions& options);

}  // namespace tolvane::crypt

#endif  // TOOLS_CRYPT_KEY_SOURCE_H_
