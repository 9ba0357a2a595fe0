#include "tolvane/support/registry_places.h"

#include "tolvane/base/error.h"
#include "tolvane/support/registry.h"

namespace tolvane {
namespace {

// The registry's limits in UTF-16 code units, what it counts as characters: a value's name,
// one key's name, and the path of a subkey below the settings key, since the whole path under
// HKEY_CURRENT_USER goes to the system as a counted string of at most 32767 units (longer
// ones are cut, not always refused). Held on every platform, so that both stores take the
// same names.
constexpr std::size_t kMaxValueName = 16383;
constexpr std::size_t kMaxKeyName = 255;
constexpr std::size_t kMaxSubkeyPath =
    32767 - (kRegistryKey.size() - std::string_view("HKEY_CURRENT_USER\\").size());

// UTF-16 code units of UTF-8 text: one per character, two for one beyond U+FFFF.
std::size_t Utf16Units(std::string_view utf8) {
  std::size_t units = 0;
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    units += (byte & 0xC0) != 0x80 ? 1 : 0;  // a character's first byte
    units += byte >= 0xF0 ? 1 : 0;           // the first of four: a surrogate pair
  }
  return units;
}

bool KeyPathFits(std::string_view subkey) {
  if (Utf16Units(subkey) > kMaxSubkeyPath) return false;
  for (std::size_t start = 0, end = 0; end != std::string_view::npos; start = end + 1) {
    end = subkey.find('\\', start);
    if (Utf16Units(subkey.substr(start, end - start)) > kMaxKeyName) return false;
  }
  return true;
}

[[noreturn]] void ThrowTooLong() {
  throw Error(kErrPathAccess, "Settings key \"" + std::string(kRegistryKey) +
                                  "\": the setting's name is over the registry's limits (16383 "
                                  "characters, 255 for a key of its path, 32742 for the path)");
}

// The text place (the path split at its last backslash; none if it names no key) and the
// binary place (the name as it is, directly under the key); either is none when it is over the
// registry's limits.
struct Places {
  std::optional<RegPlace> text;
  std::optional<RegPlace> binary;
  bool text_too_long = false;
};

Places PlacesOf(std::string_view name) {
  // The registry's names end at a NUL: "a\0b" would quietly become "a".
  if (name.find('\0') != std::string_view::npos) {
    throw Error(kErrInvalidCall, "A setting's name cannot hold a NUL character");
  }
  Places places;
  if (Utf16Units(name) <= kMaxValueName) places.binary = RegPlace{"", std::string(name)};
  const std::size_t last = name.rfind('\\');
  if (last == std::string_view::npos) {
    places.text = places.binary;
    places.text_too_long = !places.text;
    return places;
  }
  // The path before the last backslash is the subkey; every part of it must name a key.
  const std::string_view subkey = name.substr(0, last);
  if (subkey.empty() || subkey.front() == '\\' || subkey.back() == '\\' ||
      subkey.find("\\\\") != std::string_view::npos) {
    return places;
  }
  const std::string_view value = name.substr(last + 1);
  places.text_too_long = Utf16Units(value) > kMaxValueName || !KeyPathFits(subkey);
  if (!places.text_too_long) places.text = RegPlace{std::string(subkey), std::string(value)};
  return places;
}

}  // namespace

RegWritePlaces WritePlacesOf(std::string_view name, bool text) {
  Places places = PlacesOf(name);
  const bool distinct = places.text != places.binary;
  if (!text) {
    if (!places.binary) ThrowTooLong();
    return {std::move(*places.binary), distinct ? std::move(places.text) : std::nullopt};
  }
  if (places.text_too_long) ThrowTooLong();
  if (!places.text) {
    throw Error(kErrInvalidCall,
                "A text setting's name is a path of keys: it cannot start with a backslash or "
                "hold two in a row");
  }
  return {std::move(*places.text), distinct ? std::move(places.binary) : std::nullopt};
}

std::vector<RegPlace> LookupPlacesOf(std::string_view name) {
  Places places = PlacesOf(name);
  // A name of no place at all is over the limits: the text path, if any, and the name itself.
  if (!places.text && !places.binary) ThrowTooLong();
  std::vector<RegPlace> looked;
  if (places.text) looked.push_back(*places.text);
  if (places.binary && places.text != places.binary) looked.push_back(std::move(*places.binary));
  return looked;
}

std::string ListedName(const RegPlace& place) {
  return place.subkey.empty() ? place.value : place.subkey + "\\" + place.value;
}

}  // namespace tolvane
