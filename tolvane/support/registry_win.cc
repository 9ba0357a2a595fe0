#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "tolvane/base/error.h"
#include "tolvane/base/utf8.h"
#include "tolvane/platform/system_message_win.h"
#include "tolvane/support/registry.h"

namespace tolvane {
namespace {

// The fixed key under HKEY_CURRENT_USER, without the trailing backslash that kRegistryKey
// shows: the registry functions take a key path, not a prefix.
constexpr wchar_t kSubKey[] = L"Software\\Brennix\\Tolvane";

std::wstring Wide(std::string_view utf8) {
  const std::u16string units = Utf8ToUtf16(utf8);
  return std::wstring(units.begin(), units.end());
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

}  // namespace

void WriteRegValue(std::string_view name, const RegValue& value) {
  const std::wstring value_name = Wide(name);
  Key key;
  const LSTATUS opened =
      RegCreateKeyExW(HKEY_CURRENT_USER, kSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE, nullptr, key.out(), nullptr);
  if (opened != ERROR_SUCCESS) Fail(opened, "opening it");

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

std::optional<RegValue> ReadRegValue(std::string_view name) {
  const std::wstring value_name = Wide(name);
  constexpr DWORD kTypes = RRF_RT_REG_SZ | RRF_RT_REG_BINARY;
  std::vector<std::uint8_t> data;
  DWORD type = 0;
  // The value may grow between asking its size and reading it: ask again until it fits.
  for (;;) {
    DWORD size = static_cast<DWORD>(data.size());
    const LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, kSubKey, value_name.c_str(), kTypes,
                                        &type, data.empty() ? nullptr : data.data(), &size);
    if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;  // no key, or no such value
    if (status == ERROR_SUCCESS && !data.empty()) {
      data.resize(size);
      break;
    }
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) Fail(status, "reading a value");
    if (status == ERROR_SUCCESS && size == 0) break;  // an empty binary value
    data.resize(size);
  }
  if (type == REG_BINARY) return RegValue(std::move(data));
  // REG_SZ: UTF-16 with its terminating NUL, which RegGetValueW guarantees.
  std::u16string text(data.size() / sizeof(char16_t), u'\0');
  std::memcpy(text.data(), data.data(), text.size() * sizeof(char16_t));
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return RegValue(Utf16ToUtf8(text));
}

std::vector<RegValueInfo> ListRegValues() {
  Key key;
  const LSTATUS opened = RegOpenKeyExW(HKEY_CURRENT_USER, kSubKey, 0, KEY_QUERY_VALUE, key.out());
  if (opened == ERROR_FILE_NOT_FOUND) return {};
  if (opened != ERROR_SUCCESS) Fail(opened, "opening it");
  DWORD longest = 0;
  const LSTATUS queried = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                           nullptr, nullptr, &longest, nullptr, nullptr, nullptr);
  if (queried != ERROR_SUCCESS) Fail(queried, "listing its values");

  std::vector<RegValueInfo> values;
  std::wstring name(longest + 1, L'\0');
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    DWORD type = 0;
    const LSTATUS status =
        RegEnumValueW(key.get(), index, name.data(), &length, nullptr, &type, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) Fail(status, "listing its values");
    // Only the two kinds this store writes; anything else under the key is not ours.
    if (type != REG_SZ && type != REG_BINARY) continue;
    values.push_back(
        {Utf16ToUtf8(std::u16string(name.begin(), name.begin() + length)), type == REG_BINARY});
  }
  std::sort(values.begin(), values.end(),
            [](const RegValueInfo& a, const RegValueInfo& b) { return a.name < b.name; });
  return values;
}

bool DeleteRegValue(std::string_view name) {
  const std::wstring value_name = Wide(name);
  Key key;
  const LSTATUS opened = RegOpenKeyExW(HKEY_CURRENT_USER, kSubKey, 0, KEY_SET_VALUE, key.out());
  if (opened == ERROR_FILE_NOT_FOUND) return false;
  if (opened != ERROR_SUCCESS) Fail(opened, "opening it");
  const LSTATUS deleted = RegDeleteValueW(key.get(), value_name.c_str());
  if (deleted == ERROR_FILE_NOT_FOUND) return false;
  if (deleted != ERROR_SUCCESS) Fail(deleted, "deleting a value");
  return true;
}

}  // namespace tolvane
