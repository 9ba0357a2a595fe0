#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>

#include "tolvane/base/error.h"
#include "tolvane/base/utf8.h"
#include "tolvane/platform/system_message_win.h"
#include "tolvane/support/registry.h"
#include "tolvane/support/registry_places.h"

namespace tolvane {
namespace {

// The fixed key under HKEY_CURRENT_USER, without the trailing backslash that kRegistryKey
// shows: the registry functions take a key path, not a prefix.
constexpr wchar_t kSubKey[] = L"Software\\Brennix\\Tolvane";

std::wstring Wide(std::string_view utf8) {
  const std::u16string units = Utf8ToUtf16(utf8);
  return std::wstring(units.begin(), units.end());
}

std::string Narrow(const wchar_t* text, std::size_t length) {
  return Utf16ToUtf8(std::u16string(text, text + length));
}

[[noreturn]] void Fail(LSTATUS status, const char* doing) {
  const std::int32_t number = status == ERROR_ACCESS_DENIED ? kErrPermissionDenied : kErrPathAccess;
  throw Error(number, "Settings key \"" + std::string(kRegistryKey) +
                          "\": " + SystemMessage(status) + " while " + doing);
}

// Closes the key when it goes out of scope.
class Key {
 public:
  Key() = default;
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

std::wstring KeyPath(const RegPlace& place) {
  std::wstring path = kSubKey;
  if (!place.subkey.empty()) path += L"\\" + Wide(place.subkey);
  return path;
}

// Opens the key of `place`; false when it does not exist.
bool OpenKey(const RegPlace& place, REGSAM access, Key& key) {
  const LSTATUS opened =
      RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(place).c_str(), 0, access, key.out());
  if (opened == ERROR_FILE_NOT_FOUND) return false;
  if (opened != ERROR_SUCCESS) Fail(opened, "opening it");
  return true;
}

void Store(const RegPlace& place, const RegValue& value) {
  Key key;
  const LSTATUS opened =
      RegCreateKeyExW(HKEY_CURRENT_USER, KeyPath(place).c_str(), 0, nullptr,
                      REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.out(), nullptr);
  if (opened != ERROR_SUCCESS) Fail(opened, "opening it");
  const std::wstring value_name = Wide(place.value);
  LSTATUS stored;
  if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&value)) {
    if (bytes->size() > MAXDWORD) throw OverflowError();
    stored = RegSetValueExW(key.get(), value_name.c_str(), 0, REG_BINARY, bytes->data(),
                            static_cast<DWORD>(bytes->size()));
  } else {
    // REG_SZ is counted in bytes and includes the terminating NUL.
    const std::wstring text = Wide(std::get<std::string>(value));
    if (text.size() >= MAXDWORD / sizeof(wchar_t)) throw OverflowError();
    stored = RegSetValueExW(key.get(), value_name.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  if (stored != ERROR_SUCCESS) Fail(stored, "storing a value");
}

bool Remove(const RegPlace& place) {
  Key key;
  if (!OpenKey(place, KEY_SET_VALUE, key)) return false;
  const LSTATUS deleted = RegDeleteValueW(key.get(), Wide(place.value).c_str());
  if (deleted == ERROR_FILE_NOT_FOUND) return false;
  if (deleted != ERROR_SUCCESS) Fail(deleted, "deleting a value");
  return true;
}

RegValueType TypeOf(DWORD type) {
  switch (type) {
    case REG_SZ:
      return RegValueType::kText;
    case REG_BINARY:
      return RegValueType::kBinary;
    case REG_EXPAND_SZ:
      return RegValueType::kExpandText;
    case REG_MULTI_SZ:
      return RegValueType::kMultiText;
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
      return RegValueType::kNumber32;
    case REG_QWORD:
      return RegValueType::kNumber64;
    default:
      return RegValueType::kOther;
  }
}

// The registry's data as this store's value: text where the type holds text or a number,
// exactly; bytes otherwise.
RegValue Convert(DWORD type, std::vector<std::uint8_t> data) {
  const std::size_t size = data.size();
  auto number = [&](std::size_t width, bool big_endian) {
    std::uint64_t n = 0;
    for (std::size_t i = 0; i < width; ++i) {
      n |= std::uint64_t{data[big_endian ? width - 1 - i : i]} << (8 * i);
    }
    return RegValue(std::to_string(n));
  };
  switch (type) {
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
      if (size == 4) return number(4, type == REG_DWORD_BIG_ENDIAN);
      break;
    case REG_QWORD:
      if (size == 8) return number(8, false);
      break;
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ: {
      // UTF-16, usually (not always) ending in its NULs; an odd last byte is no character.
      std::u16string text(size / sizeof(char16_t), u'\0');
      std::memcpy(text.data(), data.data(), text.size() * sizeof(char16_t));
      while (!text.empty() && text.back() == u'\0') text.pop_back();
      if (type == REG_MULTI_SZ) {
        const auto texts = std::count(text.begin(), text.end(), u'\0') + (text.empty() ? 0 : 1);
        if (texts > 1) {
          throw Error(kErrTypeMismatch, "Settings key \"" + std::string(kRegistryKey) +
                                            "\": the value holds " + std::to_string(texts) +
                                            " texts (REG_MULTI_SZ), not one");
        }
      }
      return RegValue(Utf16ToUtf8(text));
    }
    default:
      break;
  }
  return RegValue(std::move(data));  // binary, or no type that reads as text
}

std::optional<RegValue> Fetch(const RegPlace& place) {
  Key key;
  if (!OpenKey(place, KEY_QUERY_VALUE, key)) return std::nullopt;
  const std::wstring value_name = Wide(place.value);
  std::vector<std::uint8_t> data;
  DWORD type = 0;
  // The value may grow between asking its size and reading it: ask again until it fits.
  for (;;) {
    DWORD size = static_cast<DWORD>(data.size());
    const LSTATUS status = RegQueryValueExW(key.get(), value_name.c_str(), nullptr, &type,
                                            data.empty() ? nullptr : data.data(), &size);
    if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
    if (status == ERROR_SUCCESS && (!data.empty() || size == 0)) {
      data.resize(size);
      break;
    }
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) Fail(status, "reading a value");
    data.resize(size);
  }
  return Convert(type, std::move(data));
}

// Adds the values of the key at `at`, and of every subkey below it, to `values`.
void ListKey(HKEY key, const std::string& at, std::vector<RegValueInfo>& values) {
  DWORD longest_key = 0, longest_value = 0;
  const LSTATUS queried =
      RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &longest_key, nullptr, nullptr,
                       &longest_value, nullptr, nullptr, nullptr);
  if (queried != ERROR_SUCCESS) Fail(queried, "listing its values");

  std::wstring name(std::max(longest_key, longest_value) + 1, L'\0');
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    DWORD type = 0;
    const LSTATUS status =
        RegEnumValueW(key, index, name.data(), &length, nullptr, &type, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) Fail(status, "listing its values");
    const RegValueType kind = TypeOf(type);
    values.push_back({ListedName({at, Narrow(name.data(), length)}),
                      kind == RegValueType::kBinary || kind == RegValueType::kOther, kind});
  }
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    const LSTATUS status =
        RegEnumKeyExW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) Fail(status, "listing its subkeys");
    Key subkey;
    const LSTATUS opened = RegOpenKeyExW(key, name.c_str(), 0, KEY_READ, subkey.out());
    if (opened == ERROR_FILE_NOT_FOUND) continue;  // deleted meanwhile
    if (opened != ERROR_SUCCESS) Fail(opened, "opening a subkey");
    const std::string part = Narrow(name.data(), length);
    ListKey(subkey.get(), at.empty() ? part : at + "\\" + part, values);
  }
}

}  // namespace

void WriteRegValue(std::string_view name, const RegValue& value) {
  const RegWritePlaces places = WritePlacesOf(name, std::holds_alternative<std::string>(value));
  Store(places.target, value);
  if (places.cleared) Remove(*places.cleared);
}

std::optional<RegValue> ReadRegValue(std::string_view name) {
  for (const RegPlace& place : LookupPlacesOf(name)) {
    if (auto value = Fetch(place)) return value;
  }
  return std::nullopt;
}

std::vector<RegValueInfo> ListRegValues() {
  Key key;
  if (!OpenKey({}, KEY_READ, key)) return {};
  std::vector<RegValueInfo> values;
  ListKey(key.get(), "", values);
  // By name, byte for byte; a text value before a binary one of the same name.
  std::sort(values.begin(), values.end(), [](const RegValueInfo& a, const RegValueInfo& b) {
    return std::tie(a.name, a.binary) < std::tie(b.name, b.binary);
  });
  return values;
}

bool DeleteRegValue(std::string_view name) {
  bool deleted = false;
  for (const RegPlace& place : LookupPlacesOf(name)) deleted = Remove(place) || deleted;
  return deleted;
}

}  // namespace tolvane
