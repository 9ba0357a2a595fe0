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

// Where values are kept. On Windows, in the registry under kRegistryKey. Elsewhere, in a SQLite
// file that belongs to the user alone (see SettingsFilePath in settings_file.h), which holds
// the same keys and values.
//
// Names follow the layout programs that share these settings have always used:
//   - A text value's name is a path under the key, split at its last backslash: "Window\Left"
//     is the value "Left" of the subkey "Window" (created when missing), and "Recent\" is the
//     default value of the subkey "Recent". A text name may not start with a backslash or hold
//     two in a row, since such a path names no key (5, kErrInvalidCall).
//   - A binary value's name is used as it is: "Window\Left" is one value directly under the key.
//   - A name without a backslash means the same value either way; "" is the key's default value.
//   - Writing a name replaces what that name held in either place, together with its type, so
//     a name holds one value. Reading and deleting look at the text place first, then at the
//     binary place (where older stores kept text values with a backslash too); deleting removes
//     both.
//   - Names are compared without regard to the case of A-Z; a value or subkey keeps the
//     spelling it was first stored with.
//   - A name holding a NUL character is refused (5, kErrInvalidCall): the registry would cut it.
//   - Names are held to the registry's limits on both platforms, counted in UTF-16 code units
//     (two for a character beyond U+FFFF): a value's name (a binary name whole, a text name
//     after its last backslash) at most 16,383, each key of a text name's path at most 255 and
//     that path at most 32,742 (32,767 with the settings key before it). Writes, reads and
//     deletes refuse a name over them with 75 (kErrPathAccess), as the registry does, before
//     touching the store; a binary name whose parts are longer is taken, as it names no key.
// Where the two platforms still differ:
//   - Windows also ignores the case of letters beyond A-Z (e, with an accent, or Cyrillic);
//     the file does not.
//   - Windows keeps a subkey whose values are all deleted; nothing lists it either way.
//   - Only values other programs wrote to the registry have the types beyond text and binary.
//   - Windows writes each place on its own: a process that dies between replacing a name's
//     value and removing the same name from the other place leaves both, the new one read
//     first. The file changes in one transaction.
// Failures are not reported; they throw tolvane::Error naming the key or file: 70 for no
// permission, 75 for a key or file that cannot be used, 321 for a file that is not a settings
// database, 13 for a value that cannot be read as text or bytes.

// Stores `value` under `name`. In the file, each call is one transaction: it stores the value
// whole or changes nothing, also when the process dies mid-call; another process writing at the
// same moment is waited for (up to 10 seconds); the file and its folders are created when
// missing, readable by their owner only; a file that is not a settings database is never
// overwritten.
TOLVANE_API void WriteRegValue(std::string_view name, const RegValue& value);

// The value stored under `name`, or nothing when there is none (also when the store does not
// exist yet; reading never creates it). Values other programs stored with other registry types
// read as text where that is exact: numbers (REG_DWORD, REG_QWORD) in decimal, REG_EXPAND_SZ
// unexpanded, and a REG_MULTI_SZ of one text; one of several texts throws 13. Types that hold
// no text read as their bytes.
TOLVANE_API std::optional<RegValue> ReadRegValue(std::string_view name);

// A stored value's registry type.
enum class RegValueType : std::uint8_t {
  kText,        // REG_SZ
  kBinary,      // REG_BINARY
  kExpandText,  // REG_EXPAND_SZ
  kMultiText,   // REG_MULTI_SZ
  kNumber32,    // REG_DWORD and REG_DWORD_BIG_ENDIAN
  kNumber64,    // REG_QWORD
  kOther,       // REG_NONE and anything else
};

// One stored value's name (the path ReadRegValue takes) and type, as ListRegValues gives it.
struct RegValueInfo {
  std::string name;
  bool binary;  // read as bytes: REG_BINARY, or a type that holds no text
  RegValueType type = binary ? RegValueType::kBinary : RegValueType::kText;
};

// Every stored value, those of subkeys named by their path ("Window\Left", "Recent\" for a
// subkey's default value), sorted by name byte for byte. A name can appear twice when another
// program stored a binary value and a text value under the same path. Empty when the store
// does not exist yet; reading never creates it.
TOLVANE_API std::vector<RegValueInfo> ListRegValues();

// Removes the value stored under `name` (see above for the places looked at); false when there
// was none (also when the store does not exist, which is then not created). In the file, the
// freed space is overwritten, since the value may have been key material.
TOLVANE_API bool DeleteRegValue(std::string_view name);

}  // namespace tolvane

#endif  // TOLVANE_SUPPORT_REGISTRY_H_
