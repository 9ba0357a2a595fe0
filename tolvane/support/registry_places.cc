#include "tolvane/support/registry_places.h"

#include "tolvane/base/error.h"

namespace tolvane {

std::optional<RegPlace> RegPlaces::OtherThanText() const {
  if (text && *text == binary) return std::nullopt;
  return binary;
}

RegPlaces PlacesOf(std::string_view name) {
  // The registry's names end at a NUL: "a\0b" would quietly become "a".
  if (name.find('\0') != std::string_view::npos) {
    throw Error(kErrInvalidCall, "A setting's name cannot hold a NUL character");
  }
  RegPlaces places{std::nullopt, RegPlace{"", std::string(name)}};
  const std::size_t last = name.rfind('\\');
  if (last == std::string_view::npos) {
    places.text = places.binary;
    return places;
  }
  // The path before the last backslash is the subkey; every part of it must name a key.
  const std::string_view subkey = name.substr(0, last);
  if (subkey.empty() || subkey.front() == '\\' || subkey.back() == '\\' ||
      subkey.find("\\\\") != std::string_view::npos) {
    return places;
  }
  places.text = RegPlace{std::string(subkey), std::string(name.substr(last + 1))};
  return places;
}

const RegPlace& TextPlaceOf(const RegPlaces& places) {
  if (!places.text) {
    throw Error(kErrInvalidCall,
                "A text setting's name is a path of keys: it cannot start with a backslash or "
                "hold two in a row");
  }
  return *places.text;
}

std::string ListedName(const RegPlace& place) {
  return place.subkey.empty() ? place.value : place.subkey + "\\" + place.value;
}

}  // namespace tolvane
