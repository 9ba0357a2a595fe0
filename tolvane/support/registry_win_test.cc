#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tolvane/base/error.h"
#include "tolvane/support/registry.h"

namespace tolvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr wchar_t kKey[] = L"Software\\Brennix\\Tolvane";

// The type the registry itself holds for a value under the settings key or its `subkey`, or
// REG_NONE.
DWORD StoredType(const wchar_t* subkey, const wchar_t* name) {
  DWORD type = REG_NONE;
  const std::wstring key = std::wstring(kKey) + (*subkey != L'\0' ? L"\\" : L"") + subkey;
  if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr,
                   nullptr) != ERROR_SUCCESS) {
    return REG_NONE;
  }
  return type;
}

// Each test starts without the settings key (the suite runs in a private Wine prefix).
class RegistrySettings : public ::testing::Test {
 protected:
  RegistrySettings() { RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }
};

TEST_F(RegistrySettings, ValuesRoundTripWithTheirRegistryTypes) {
  const struct {
    std::string name;
    const wchar_t* subkey;  // where the registry holds it
    const wchar_t* wide_name;
    RegValue value;
    DWORD type;
  } cases[] = {
      {"Greeting", L"", L"Greeting", std::string("Grüße, ✓ 日本"), REG_SZ},
      {"", L"", L"", std::string("the key's default value"), REG_SZ},
      {"Empty text", L"", L"Empty text", std::string(), REG_SZ},
      {"With NUL", L"", L"With NUL", std::string("a\0b", 3), REG_SZ},
      {"Key", L"", L"Key", Bytes{0, 1, 0, 255, 0}, REG_BINARY},
      {"Empty binary", L"", L"Empty binary", Bytes{}, REG_BINARY},
      {"Back\\slash ü", L"", L"Back\\slash \u00FC", Bytes{42}, REG_BINARY},
      {"Window\\Left", L"Window", L"Left", std::string("100"), REG_SZ},
      {"Recent\\", L"Recent", L"", std::string("last"), REG_SZ},
      {"A\\B\\C", L"A\\B", L"C", std::string("deep"), REG_SZ},
  };
  EXPECT_EQ(ReadRegValue("Greeting"), std::nullopt);  // no key yet
  for (const auto& c : cases) WriteRegValue(c.name, c.value);
  for (const auto& c : cases) {
    EXPECT_EQ(ReadRegValue(c.name), c.value) << c.name;
    EXPECT_EQ(StoredType(c.subkey, c.wide_name), c.type) << c.name;
  }
  EXPECT_EQ(ReadRegValue("Missing"), std::nullopt);

  std::vector<std::pair<std::string, bool>> listed;
  for (const RegValueInfo& info : ListRegValues()) listed.emplace_back(info.name, info.binary);
  EXPECT_EQ(listed, (std::vector<std::pair<std::string, bool>>{{"", false},
                                                               {"A\\B\\C", false},
                                                               {"Back\\slash ü", true},
                                                               {"Empty binary", true},
                                                               {"Empty text", false},
                                                               {"Greeting", false},
                                                               {"Key", true},
                                                               {"Recent\\", false},
                                                               {"Window\\Left", false},
                                                               {"With NUL", false}}));
  EXPECT_TRUE(DeleteRegValue("Greeting"));
  EXPECT_FALSE(DeleteRegValue("Greeting"));
  EXPECT_EQ(ReadRegValue("Greeting"), std::nullopt);

  // Writing again replaces the value together with its type.
  WriteRegValue("Key", std::string("now text"));
  EXPECT_EQ(ReadRegValue("Key"), RegValue(std::string("now text")));
  EXPECT_EQ(StoredType(L"", L"Key"), static_cast<DWORD>(REG_SZ));
}

TEST_F(RegistrySettings, OtherProgramsTypesAreListedAndReadWhereExact) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  const struct {
    const wchar_t* name;  // listed in this order
    DWORD type;
    std::string data;  // as the registry holds it
    std::string read;  // "13" when refused with 13
    RegValueType listed;
  } cases[] = {
      {L"big", REG_DWORD_BIG_ENDIAN, std::string("\0\0\1\2", 4), "t:258", RegValueType::kNumber32},
      {L"dword", REG_DWORD, std::string("\x00\x28\x6B\xEE", 4), "t:4000000000",
       RegValueType::kNumber32},
      {L"expand", REG_EXPAND_SZ, std::string("%\0T\0%\0\0\0", 8), "t:%T%",
       RegValueType::kExpandText},
      {L"none", REG_NONE, "\x01\x02", "b:1,2,", RegValueType::kOther},
      {L"one", REG_MULTI_SZ, std::string("o\0\0\0\0\0", 6), "t:o", RegValueType::kMultiText},
      {L"qword", REG_QWORD, std::string("\x00\x00\x08\xC5\xA1\xD8\xCC\xF9", 8),
       "t:18000000000000000000", RegValueType::kNumber64},
      {L"short", REG_DWORD, std::string("\7\0", 2), "b:7,0,", RegValueType::kNumber32},
      {L"two", REG_MULTI_SZ, std::string("a\0\0\0b\0\0\0\0\0", 10), "13", RegValueType::kMultiText},
  };
  for (const auto& c : cases) {
    RegSetValueExW(key, c.name, 0, c.type, reinterpret_cast<const BYTE*>(c.data.data()),
                   static_cast<DWORD>(c.data.size()));
  }
  RegCloseKey(key);
  const std::vector<RegValueInfo> listed = ListRegValues();
  ASSERT_EQ(listed.size(), std::size(cases));
  for (std::size_t i = 0; i < listed.size(); ++i) {
    EXPECT_EQ(listed[i].type, cases[i].listed) << listed[i].name;
    std::string read;
    try {
      const std::optional<RegValue> value = ReadRegValue(listed[i].name);
      if (!value) {
        read = "none";
      } else if (const auto* text = std::get_if<std::string>(&*value)) {
        read = "t:" + *text;
      } else {
        read = "b:";
        for (std::uint8_t byte : std::get<Bytes>(*value)) read += std::to_string(byte) + ",";
      }
    } catch (const Error& e) {
      read = std::to_string(e.number());
    }
    EXPECT_EQ(read, cases[i].read) << listed[i].name;
  }
}

TEST_F(RegistrySettings, WithoutTheKeyNothingIsListedOrDeletedAndNothingCreated) {
  EXPECT_TRUE(ListRegValues().empty());
  EXPECT_FALSE(DeleteRegValue("Anything"));
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Brennix\\Tolvane", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistrySettings, FailuresNameTheKey) {
  // Value names are limited to 16383 characters; the registry refuses longer ones.
  const std::string too_long(20000, 'n');
  try {
    WriteRegValue(too_long, std::string("x"));
    ADD_FAILURE() << "accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrPathAccess);
    EXPECT_NE(e.description().find(std::string(kRegistryKey)), std::string::npos)
        << e.description();
  }
  // A name that is not UTF-8 cannot be converted for the registry.
  EXPECT_THROW(WriteRegValue("\xFF", std::string("x")), Error);
}

}  // namespace
}  // namespace tolvane
