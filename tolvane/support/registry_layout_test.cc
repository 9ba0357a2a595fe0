// The settings' layout, held to the same results on both platforms: text names as key paths,
// binary names as they are, one value per name, case folded.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tolvane/base/error.h"
#include "tolvane/support/registry.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include "tests/support/environment_testing.h"
#include "tests/support/file_system_testing.h"

namespace tolvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Each test starts with no settings: a private configuration folder, or (in a private Wine
// prefix) no settings key.
class SettingsLayout : public ::testing::Test {
#ifdef _WIN32
 protected:
  SettingsLayout() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Brennix\\Tolvane"); }
#else
  testing::TempFolder config_;
  testing::ScopedEnv xdg_{"XDG_CONFIG_HOME", config_.path().c_str()};
#endif
};

std::string Text(const std::optional<RegValue>& value) {
  if (!value) return "(none)";
  if (const auto* text = std::get_if<std::string>(&*value)) return "t:" + *text;
  std::string bytes = "b:";
  for (std::uint8_t byte : std::get<Bytes>(*value)) bytes += std::to_string(byte) + ",";
  return bytes;
}

TEST_F(SettingsLayout, NamesMapAlikeOnBothPlatforms) {
  // Each step writes (text, or bytes when `bytes` is set), then reads `read` back; a write
  // refused with 5 changes nothing.
  const std::string nul("nul\0one", 7);
  // The registry's limits in UTF-16 units: a value name 16383, a key 255, a key path 32742.
  const std::string longest(16383, 'v'), key(255, 'k');
  std::string pairs, path;  // 16382 units in 8191 characters; 32743 units of short keys
  while (pairs.size() < 4 * 8191) pairs += "\xF0\x9F\x98\x80";
  while (path.size() < 32744) path += "k\\";
  const struct {
    std::string name;
    const char* text;
    std::optional<Bytes> bytes;
    std::string read;
    const char* expected;
  } steps[] = {
      {"Window\\Left", "100", {}, "window\\LEFT", "t:100"},
      {"Recent\\", "last", {}, "RECENT\\", "t:last"},
      {"Window\\Top", nullptr, Bytes{1}, "Window\\Top", "b:1,"},
      // A name holds one value: text replaces the binary value of the same name, and back.
      {"Window\\Top", "5", {}, "Window\\Top", "t:5"},
      {"Window\\Left", nullptr, Bytes{2}, "Window\\Left", "b:2,"},
      {"Window\\Left", "150", {}, "Window\\Left", "t:150"},
      // A subkey and a value keep the spelling they were first stored with.
      {"WINDOW\\Width", "7", {}, "Window\\width", "t:7"},
      {"width", "1", {}, "Width", "t:1"},
      {"WIDTH", "2", {}, "width", "t:2"},
      {"Deep\\er\\Key", "d", {}, "deep\\ER\\key", "t:d"},
      {"AZ\\v", "1", {}, "az\\V", "t:1"},
      {"az\\w", "2", {}, "AZ\\W", "t:2"},
      {"", "default", {}, "", "t:default"},
      // Binary names are taken as they are, whatever their backslashes; a text path must
      // name keys, and no name may hold NUL.
      {"\\lead", nullptr, Bytes{3}, "\\lead", "b:3,"},
      {"a\\\\b", nullptr, Bytes{4}, "a\\\\b", "b:4,"},
      {"Never\\Written", "x", {}, "Never\\Other", "(none)"},
      {"\\lead", "x", {}, "", "5"},
      {"a\\\\b", "x", {}, "", "5"},
      {"z\\\\", "x", {}, "", "5"},
      {"\\", "x", {}, "", "5"},
      {"\\A\\B", "x", {}, "", "5"},
      {nul, "x", {}, "", "5"},
      {nul, nullptr, Bytes{1}, "", "5"},
      {"Never\\Written", "x", {}, nul, "5"},
      // Names at the registry's limits are taken, longer ones refused alike (75).
      {longest, nullptr, Bytes{5}, longest, "b:5,"},
      {longest + "v", nullptr, Bytes{5}, "", "75"},
      {pairs + "v", "p", {}, pairs + "v", "t:p"},
      {pairs + "vv", "p", {}, "", "75"},
      {key + "\\" + longest, "k", {}, key + "\\" + longest, "t:k"},
      {key + "k\\v", "x", {}, "", "75"},
      {key + "k\\v", nullptr, Bytes{6}, key + "k\\v", "b:6,"},
      {"a\\" + longest + "v", "x", {}, "", "75"},
      {path + "v", "x", {}, "", "75"},
      {"Never\\Written", "x", {}, longest + "v", "75"},
  };
  for (const auto& step : steps) {
    std::string got;
    try {
      if (step.bytes) {
        WriteRegValue(step.name, *step.bytes);
      } else {
        WriteRegValue(step.name, std::string(step.text));
      }
      got = Text(ReadRegValue(step.read));
    } catch (const Error& e) {
      got = std::to_string(e.number());
    }
    EXPECT_EQ(got, step.expected) << step.name;
  }

  for (const std::string& name : {longest, pairs + "v", key + "\\" + longest, key + "k\\v"}) {
    EXPECT_TRUE(DeleteRegValue(name)) << name.size();
  }
  std::vector<std::string> listed;
  for (const RegValueInfo& info : ListRegValues()) {
    listed.push_back((info.binary ? "b " : "t ") + info.name);
  }
  // Sorted byte for byte: capitals, then the backslash, then small letters.
  EXPECT_EQ(listed, (std::vector<std::string>{"t ", "t AZ\\v", "t AZ\\w", "t Deep\\er\\Key",
                                              "t Never\\Written", "t Recent\\", "t Window\\Left",
                                              "t Window\\Top", "t Window\\Width", "b \\lead",
                                              "b a\\\\b", "t width"}));

  EXPECT_TRUE(DeleteRegValue("window\\left"));
  EXPECT_FALSE(DeleteRegValue("Window\\Left"));
  EXPECT_EQ(ReadRegValue("Window\\Left"), std::nullopt);
  EXPECT_TRUE(DeleteRegValue("\\lead"));
  EXPECT_TRUE(DeleteRegValue("Recent\\"));
  EXPECT_THROW(DeleteRegValue(nul), Error);
  EXPECT_EQ(ReadRegValue("Recent\\"), std::nullopt);
}

}  // namespace
}  // namespace tolvane
