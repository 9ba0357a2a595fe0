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

// The type the registry itself holds for a value under the settings key, or REG_NONE.
DWORD StoredType(const wchar_t* name) {
  DWORD type = REG_NONE;
  if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Brennix\\Tolvane", name, RRF_RT_ANY, &type,
                   nullptr, nullptr) != ERROR_SUCCESS) {
    return REG_NONE;
  }
  return type;
}

// Each test starts without the settings key (the suite runs in a private Wine prefix).
class RegistrySettings : public ::testing::Test {
 protected:
  RegistrySettings() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Brennix\\Tolvane"); }
};

TEST_F(RegistrySettings, ValuesRoundTripWithTheirRegistryTypes) {
  const struct {
    std::string name;
    const wchar_t* wide_name;
    RegValue value;
    DWORD type;
  } cases[] = {
      {"Greeting", L"Greeting", std::string("Grüße, ✓ 日本"), REG_SZ},
      {"", L"", std::string("the key's default value"), REG_SZ},
      {"Empty text", L"Empty text", std::string(), REG_SZ},
      {"With NUL", L"With NUL", std::string("a\0b", 3), REG_SZ},
      {"Key", L"Key", Bytes{0, 1, 0, 255, 0}, REG_BINARY},
      {"Empty binary", L"Empty binary", Bytes{}, REG_BINARY},
      {"Back\\slash ü", L"Back\\slash \u00FC", Bytes{42}, REG_BINARY},
  };
  EXPECT_EQ(ReadRegValue("Greeting"), std::nullopt);  // no key yet
  for (const auto& c : cases) WriteRegValue(c.name, c.value);
  for (const auto& c : cases) {
    EXPECT_EQ(ReadRegValue(c.name), c.value) << c.name;
    EXPECT_EQ(StoredType(c.wide_name), c.type) << c.name;
  }
  EXPECT_EQ(ReadRegValue("Missing"), std::nullopt);

  std::vector<std::pair<std::string, bool>> listed;
  for (const RegValueInfo& info : ListRegValues()) listed.emplace_back(info.name, info.binary);
  EXPECT_EQ(listed, (std::vector<std::pair<std::string, bool>>{{"", false},
                                                               {"Back\\slash ü", true},
                                                               {"Empty binary", true},
                                                               {"Empty text", false},
                                                               {"Greeting", false},
                                                               {"Key", true},
                                                               {"With NUL", false}}));
  EXPECT_TRUE(DeleteRegValue("Greeting"));
  EXPECT_FALSE(DeleteRegValue("Greeting"));
  EXPECT_EQ(ReadRegValue("Greeting"), std::nullopt);

  // Writing again replaces the value together with its type.
  WriteRegValue("Key", std::string("now text"));
  EXPECT_EQ(ReadRegValue("Key"), RegValue(std::string("now text")));
  EXPECT_EQ(StoredType(L"Key"), static_cast<DWORD>(REG_SZ));
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
