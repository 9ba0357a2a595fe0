#ifndef TOLVANE_SUPPORT_REGISTRY_PLACES_H_
#define TOLVANE_SUPPORT_REGISTRY_PLACES_H_

// Where a setting's name puts its value, shared by the registry and the settings file so that
// both lay values out alike (registry.h describes the layout).

#include <optional>
#include <string>
#include <string_view>

namespace tolvane {

// A value's place: a subkey path under the settings key ("" for the key itself, components
// joined by backslashes) and the value's name in it ("" for the default value).
struct RegPlace {
  std::string subkey;
  std::string value;
  bool operator==(const RegPlace&) const = default;
};

// The places a name may hold a value, in the order reads look at them.
struct RegPlaces {
  std::optional<RegPlace> text;  // the path split at its last backslash; none if it names no key
  RegPlace binary;               // the name as it is, directly under the key
  // The binary place, when it differs from the text place and so must be looked at too.
  std::optional<RegPlace> OtherThanText() const;
};

// Throws kErrInvalidCall for a name holding a NUL character.
RegPlaces PlacesOf(std::string_view name);

// The text place, or kErrInvalidCall for a path that names no key.
const RegPlace& TextPlaceOf(const RegPlaces& places);

// The name ListRegValues gives a value found at `place`.
std::string ListedName(const RegPlace& place);

}  // namespace tolvane

#endif  // TOLVANE_SUPPORT_REGISTRY_PLACES_H_
