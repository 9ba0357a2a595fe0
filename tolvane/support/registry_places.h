#ifndef TOLVANE_SUPPORT_REGISTRY_PLACES_H_
#define TOLVANE_SUPPORT_REGISTRY_PLACES_H_

// Where a setting's name puts its value, shared by the registry and the settings file so that
// both lay values out alike (registry.h describes the layout).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// A value's place: a subkey path under the settings key ("" for the key itself, components
// joined by backslashes) and the value's name in it ("" for the default value).
struct RegPlace {
  std::string subkey;
  std::string value;
  bool operator==(const RegPlace&) const = default;
};

// Where a write of `name` goes, and the other place of the same name that it clears, since a
// name holds one value. Throws kErrInvalidCall for a name holding a NUL character, and for text
// whose path names no key; kErrPathAccess for a place over the registry's limits.
struct RegWritePlaces {
  RegPlace target;
  std::optional<RegPlace> cleared;
};
RegWritePlaces WritePlacesOf(std::string_view name, bool text);

// The places reads and deletes of `name` look at, in order: the text place, then the binary
// place when it differs, each within the registry's limits. Throws kErrInvalidCall for a name
// holding a NUL character, kErrPathAccess for one of no place within the limits.
std::vector<RegPlace> LookupPlacesOf(std::string_view name);

// The name ListRegValues gives a value found at `place`.
std::string ListedName(const RegPlace& place);

}  // namespace tolvane

#endif  // TOLVANE_SUPPORT_REGISTRY_PLACES_H_
