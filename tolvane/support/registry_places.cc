#include "tolvane/support/registry_places.h"

#include "tolvane/base/error.h"

namespace tolvane {
namespace {

// The text place (the path split at its last backslash; none if it names no key) and the
// binary place (the name as it is, directly under the key).
struct Places {
  std::optional<RegPlace> text;
  RegPlace binary;
};

Places PlacesOf(std::string_view name) {
  // The registry's names end at a NUL: "a\0b" would quietly become "a".
  if (name.find('\0') != std::string_view::npos) {
    throw Error(kErrInvalidCall, "A setting's name cannot hold a NUL character");
  }
  Places places{std::nullopt, RegPlace{"", std::string(name)}};
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

}  // namespace

RegWritePlaces WritePlacesOf(std::string_view name, bool text) {
  Places places = PlacesOf(name);
  const bool distinct = places.text != places.binary;
  if (!text) {
    return {std::move(places.binary), distinct ? std::move(places.text) : std::nullopt};
  }
  if (!places.text) {
    throw Error(kErrInvalidCall,
                "A text setting's name is a path of keys: it cannot start with a backslash or "
                "hold two in a row");
  }
  return {std::move(*places.text),
          distinct ? std::optional<RegPlace>(std::move(places.binary)) : std::nullopt};
}

std::vector<RegPlace> LookupPlacesOf(std::string_view name) {
  Places places = PlacesOf(name);
  std::vector<RegPlace> looked;
  if (places.text) looked.push_back(*places.text);
  if (places.text != places.binary) looked.push_back(std::move(places.binary));
  return looked;
}

std::string ListedName(const RegPlace& place) {
  return place.subkey.empty() ? place.value : place.subkey + "\\" + place.value;
}

}  // namespace tolvane
