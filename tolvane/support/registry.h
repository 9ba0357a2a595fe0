#ifndef TOLVANE_SUPPORT_REGISTRY_H_
#define TOLVANE_SUPPORT_REGISTRY_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "tolvane/base/export.h"

namespace tolvane {

// A settings value: text (UTF-8) or binary bytes.
using RegValue = std::variant<std::string, std::vector<std::uint8_t>>;

// The one key every value lives under; callers name only the value.
inline constexpr std::string_view kRegistryKey = "HKEY_CURRENT_USER\\Software\\Brennix\\Tolvane\\";

// Stores `value` under `name` (any text, the empty name included, compared byte for byte) in
// the per-user settings store (see SettingsFilePath in settings_file.h), replacing any
// earlier value of that name together with its type. The store, its folders and its table are
// created when missing, the folders and file readable by their owner only.
//
// Each call is one transaction: it either stores the value whole or changes nothing, also
// when the process dies mid-call. Another process writing at the same moment is waited for
// (up to 10 seconds). Failures - a file that is not a settings database, a folder or file that
// cannot be created or written, a store locked for too long - throw tolvane::Error naming the
// file; they are not reported. A file that is not a settings database is never overwritten.
TOLVANE_API void WriteRegValue(std::string_view name, const RegValue& value);

// The value stored under `name`, or nothing when there is none (also when the store does not
// exist yet; reading never creates it). Throws tolvane::Error as WriteRegValue does.
TOLVANE_API std::optional<RegValue> ReadRegValue(std::string_view name);

// One stored value's name and kind, as ListRegValues gives it.
struct RegValueInfo {
  std::string name;
  bool binary;
};

// Every stored value's name and kind, sorted by name (byte for byte). Empty when the store
// does not exist yet; reading never creates it. Throws tolvane::Error as WriteRegValue does.
TOLVANE_API std::vector<RegValueInfo> ListRegValues();

// Removes the value stored under `name`; false when there was none (also when the store does
// not exist, which is then not created). The freed space is overwritten, since the value may
// have been key material. One transaction, like WriteRegValue, and throws as it does.
TOLVANE_API bool DeleteRegValue(std::string_view name);

}  // namespace tolvane

#endif  // TOLVANE_SUPPORT_REGISTRY_H_
