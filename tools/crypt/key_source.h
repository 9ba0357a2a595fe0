#ifndef TOOLS_CRYPT_KEY_SOURCE_H_
#define TOOLS_CRYPT_KEY_SOURCE_H_

#include <cstddef>
#include <stdexcept>
#include <string>

#include "tolvane/base/wipe.h"
#include "tolvane/core/key_schedule.h"
#include "tolvane/platform/code_page.h"

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

// The key bytes. A key file's bytes are taken exactly (1 to 32767 of them; "-" reads standard
// input); a larger file is refused after reading 32768 bytes. Text keys (environment, prompt)
// are converted through the run's code page (`page`) and refused when a character does not
// convert exactly, since every such character would become the same "?" and many passwords
// the same key. With `confirm`, a key typed at the prompt is asked for twice.
//
// Throws UsageError for a text key that cannot be used or is missing, tolvane::Error for a key
// file that cannot be read or used.
SecureBytes ReadKey(const KeyOptions& options, const ResolvedCodePage& page, bool confirm);

}  // namespace tolvane::crypt

#endif  // TOOLS_CRYPT_KEY_SOURCE_H_
