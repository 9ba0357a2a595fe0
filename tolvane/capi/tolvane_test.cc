#include "tolvane/capi/tolvane.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/environment_testing.h"
#include "tolvane/capi/block_release.h"

namespace {

struct CipherDeleter {
  void operator()(tolvane_cipher* cipher) const { tolvane_cipher_destroy(cipher); }
};
using Cipher = std::unique_ptr<tolvane_cipher, CipherDeleter>;

Cipher Keyed(const std::string& key) {
  tolvane_cipher* cipher = nullptr;
  EXPECT_EQ(tolvane_cipher_create(&cipher), 0);
  EXPECT_EQ(
      tolvane_cipher_set_key(cipher, reinterpret_cast<const std::uint8_t*>(key.data()), key.size()),
      0);
  return Cipher(cipher);
}

std::string Take(char* block, std::size_t size) {
  std::string text(block, size);
  tolvane_free(block);
  return text;
}

std::vector<std::uint8_t> Bytes(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

// The file's bytes, read and closed (Windows refuses to replace a file held open).
std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(CInterface, VersionAndAbi) {
  EXPECT_EQ(tolvane_abi_version(), TOLVANE_ABI_VERSION);
  EXPECT_STRNE(tolvane_version(), "");
}

// Every refusal returns its number and the C++ API's text, changes nothing and crashes nowhere.
TEST(CInterface, RefusalsReturnTheirNumber) {
  Cipher keyed = Keyed("key");
  tolvane_cipher* blank = nullptr;
  ASSERT_EQ(tolvane_cipher_create(&blank), 0);
  Cipher unkeyed(blank);
  std::uint8_t block[16] = {};
  char* text = reinterpret_cast<char*>(1);
  std::size_t size = 99;
  int32_t flag = 0;
  const std::uint8_t long_key[TOLVANE_MAX_KEY_BYTES + 1] = {};
  struct Case {
    const char* what;
    std::function<int32_t()> call;
    int32_t number;
    const char* message;  // a part of the description
  };
  const Case cases[] = {
      {"no cipher", [&] { return tolvane_encrypt(nullptr, block, block, 8); }, 5, "cipher is NULL"},
      {"not keyed", [&] { return tolvane_encrypt(unkeyed.get(), block, block, 8); },
       TOLVANE_ERR_NOT_KEYED, "Call sInitBF"},
      {"odd size", [&] { return tolvane_decrypt(keyed.get(), block, block, 7); },
       TOLVANE_ERR_NOT_MULTIPLE_OF_8, "divisible by 8"},
      {"NULL input", [&] { return tolvane_encrypt(keyed.get(), nullptr, block, 8); }, 5,
       "input is NULL"},
      {"overlap", [&] { return tolvane_encrypt(keyed.get(), block, block + 8, 16); }, 5, "overlap"},
      {"empty key", [&] { return tolvane_cipher_set_key(keyed.get(), block, 0); }, 9,
       "Subscript out of range"},
      {"long key", [&] { return tolvane_cipher_set_key(keyed.get(), long_key, sizeof long_key); },
       6, "Overflow"},
      {"NULL result", [&] { return tolvane_hex_code8("A", 1, nullptr, &size); }, 5, "NULL"},
      {"bad UTF-8", [&] { return tolvane_hex_code8("\xff", 1, &text, &size); }, 5, "UTF-8"},
      {"text too long",
       [&] {
         return tolvane_hex_code8("A", std::size_t{TOLVANE_MAX_TEXT_UNITS} + 1, &text, &size);
       },
       6, "Overflow"},
      {"not a digit", [&] { return tolvane_from_hex_code8("4G00", 4, &text, &size); }, 13,
       "Type mismatch"},
      {"cipher text of 7",
       [&] { return tolvane_decrypt_text8(keyed.get(), "1234567", 7, &text, &size); },
       TOLVANE_ERR_NOT_MULTIPLE_OF_8, "String to decrypt"},
      {"bad Base64",
       [&] {
         return tolvane_base64_decode8("QQ=x", 4, reinterpret_cast<std::uint8_t**>(&text), &size);
       },
       5, ""},
      {"code page 932", [&] { return tolvane_set_code_page(932); }, 5, ""},
      {"code page 1252 + 2^30", [&] { return tolvane_set_code_page(1252 + (1 << 30)); }, 5, ""},
      {"missing file",
       [&] { return tolvane_check_file(keyed.get(), "/nonexistent/tolvane", &flag); },
       TOLVANE_ERR_SIZE_MISMATCH, "not found"},
      {"NULL path",
       [&] { return tolvane_encrypt_file(keyed.get(), nullptr, "x", nullptr, nullptr); }, 5,
       "source is NULL"},
      {"NULL name", [&] { return tolvane_settings_delete(nullptr, &flag); }, 5, "name is NULL"},
  };
  for (const Case& c : cases) {
    text = reinterpret_cast<char*>(1);
    EXPECT_EQ(c.call(), c.number) << c.what;
    EXPECT_NE(std::string(tolvane_last_error_message()).find(c.message), std::string::npos)
        << c.what << ": " << tolvane_last_error_message();
    EXPECT_EQ(text == nullptr || text == reinterpret_cast<char*>(1), true) << c.what;
  }
  // The refused keys left the first key in place.
  std::uint8_t again[8] = {};
  EXPECT_EQ(tolvane_encrypt(keyed.get(), again, again, 8), 0);
  const Cipher fresh = Keyed("key");
  std::uint8_t expected[8] = {};
  tolvane_encrypt(fresh.get(), expected, expected, 8);
  EXPECT_EQ(std::memcmp(again, expected, 8), 0);
}

// Empty buffers may be NULL wherever a buffer is taken; buffers that only touch are apart, one
// shared byte is an overlap.
TEST(CInterface, EmptyAndTouchingBuffersAreAccepted) {
  const Cipher cipher = Keyed("key");
  std::uint8_t wide[16] = {};
  void* block = nullptr;
  std::size_t size = 99;
  const auto chars = reinterpret_cast<char**>(&block);
  const auto units = reinterpret_cast<std::uint16_t**>(&block);
  const auto bytes = reinterpret_cast<std::uint8_t**>(&block);
  const struct {
    const char* what;
    std::function<int32_t()> call;
    int32_t number = 0;
  } cases[] = {
      {"encrypt 0", [&] { return tolvane_encrypt(cipher.get(), nullptr, nullptr, 0); }},
      {"decrypt 0", [&] { return tolvane_decrypt(cipher.get(), nullptr, nullptr, 0); }},
      {"text16 0", [&] { return tolvane_decrypt_text16(cipher.get(), nullptr, 0, units, &size); }},
      {"hex8 0", [&] { return tolvane_hex_code8(nullptr, 0, chars, &size); }},
      {"unhex16 0", [&] { return tolvane_from_hex_code16(nullptr, 0, units, &size); }},
      {"Base64 0", [&] { return tolvane_base64_decode8(nullptr, 0, bytes, &size); }},
      {"Base64 16, 0", [&] { return tolvane_base64_decode16(nullptr, 0, bytes, &size); }},
      {"output after input", [&] { return tolvane_encrypt(cipher.get(), wide, wide + 8, 8); }},
      {"input after output", [&] { return tolvane_decrypt(cipher.get(), wide + 8, wide, 8); }},
      {"overlap by one", [&] { return tolvane_encrypt(cipher.get(), wide, wide + 7, 8); }, 5},
      {"overlap by one, back", [&] { return tolvane_decrypt(cipher.get(), wide + 7, wide, 8); }, 5},
  };
  for (const auto& c : cases) {
    block = nullptr;
    EXPECT_EQ(c.call(), c.number) << c.what << ": " << tolvane_last_error_message();
    tolvane_free(block);
  }
}

// tolvane_free wipes the whole block, its size in front and the result's last bytes too.
const unsigned char* g_block_end = nullptr;
bool g_block_wiped = false;

TEST(CInterface, FreeWipesTheWholeBlock) {
  tolvane::g_release_block = [](void* start) noexcept {
    const auto* at = static_cast<const unsigned char*>(start);
    g_block_wiped = std::all_of(at, g_block_end, [](unsigned char b) { return b == 0; });
    std::free(start);
  };
  const char* texts[] = {"A", "a longer text of several blocks, its end past any header"};
  for (const char* text : texts) {
    char* hex = nullptr;
    std::size_t size = 0;
    ASSERT_EQ(tolvane_hex_code8(text, std::strlen(text), &hex, &size), 0);
    g_block_end = reinterpret_cast<const unsigned char*>(hex) + size;  // the NUL stays 0
    g_block_wiped = false;
    tolvane_free(hex);
    EXPECT_TRUE(g_block_wiped) << text;
  }
  tolvane::g_release_block = [](void* start) noexcept { std::free(start); };
}

// On failure every output a call was given is cleared (pointers NULL, sizes, counts and flags
// 0), whichever of its outputs was the NULL that failed it.
TEST(CInterface, FailureClearsEveryOutput) {
  Cipher keyed = Keyed("key");
  struct Outputs {
    void* block = reinterpret_cast<void*>(1);
    std::size_t size = 99;
    std::size_t count = 99;
    int32_t flag = 99;
  };
  enum : unsigned { kBlock = 1, kSize = 2, kCount = 4, kFlag = 8 };
  const auto bytes = [](Outputs& o) { return reinterpret_cast<std::uint8_t**>(&o.block); };
  const auto chars = [](Outputs& o) { return reinterpret_cast<char**>(&o.block); };
  const auto units = [](Outputs& o) { return reinterpret_cast<std::uint16_t**>(&o.block); };
  const std::uint16_t code[8] = {};
  const struct {
    const char* what;
    std::function<int32_t(Outputs&)> call;
    unsigned cleared;
  } cases[] = {
      {"read, NULL kind",
       [&](Outputs& o) { return tolvane_settings_read("n", nullptr, bytes(o), &o.size); },
       kBlock | kSize},
      {"read, NULL value",
       [&](Outputs& o) { return tolvane_settings_read("n", &o.flag, nullptr, &o.size); },
       kFlag | kSize},
      {"read, NULL size",
       [&](Outputs& o) { return tolvane_settings_read("n", &o.flag, bytes(o), nullptr); },
       kFlag | kBlock},
      {"read, NULL name",
       [&](Outputs& o) { return tolvane_settings_read(nullptr, &o.flag, bytes(o), &o.size); },
       kFlag | kBlock | kSize},
      {"list, NULL count",
       [&](Outputs& o) { return tolvane_settings_list(chars(o), &o.size, nullptr); },
       kBlock | kSize},
      {"list, NULL entries",
       [&](Outputs& o) { return tolvane_settings_list(nullptr, &o.size, &o.count); },
       kSize | kCount},
      {"list, NULL size",
       [&](Outputs& o) { return tolvane_settings_list(chars(o), nullptr, &o.count); },
       kBlock | kCount},
      {"delete, NULL name", [&](Outputs& o) { return tolvane_settings_delete(nullptr, &o.flag); },
       kFlag},
      {"check, NULL cipher", [&](Outputs& o) { return tolvane_check_file(nullptr, "x", &o.flag); },
       kFlag},
      {"decrypt text, NULL cipher",
       [&](Outputs& o) { return tolvane_decrypt_text16(nullptr, code, 8, units(o), &o.size); },
       kBlock | kSize},
      {"encrypt text, NULL size",
       [&](Outputs& o) { return tolvane_encrypt_text8(keyed.get(), "A", 1, chars(o), nullptr); },
       kBlock},
      {"hex, NULL result",
       [&](Outputs& o) { return tolvane_hex_code16(code, 1, nullptr, &o.size); }, kSize},
      {"Base64, NULL size",
       [&](Outputs& o) { return tolvane_base64_decode8("QQ==", 4, bytes(o), nullptr); }, kBlock},
      {"Base64 16, NULL result",
       [&](Outputs& o) { return tolvane_base64_decode16(code, 4, nullptr, &o.size); }, kSize},
      {"code page bytes, NULL size",
       [&](Outputs& o) { return tolvane_code_page_bytes8("A", 1, bytes(o), nullptr); }, kBlock},
      {"unhex, bad digit",
       [&](Outputs& o) { return tolvane_from_hex_code8("4G00", 4, chars(o), &o.size); },
       kBlock | kSize},
      {"Base64 16, bad text",
       [&](Outputs& o) { return tolvane_base64_decode16(code, 1, bytes(o), &o.size); },
       kBlock | kSize},
  };
  for (const auto& c : cases) {
    Outputs o;
    EXPECT_NE(c.call(o), 0) << c.what;
    const Outputs untouched;
    EXPECT_EQ(o.block, c.cleared & kBlock ? nullptr : untouched.block) << c.what;
    EXPECT_EQ(o.size, c.cleared & kSize ? 0 : untouched.size) << c.what;
    EXPECT_EQ(o.count, c.cleared & kCount ? 0 : untouched.count) << c.what;
    EXPECT_EQ(o.flag, c.cleared & kFlag ? 0 : untouched.flag) << c.what;
  }
}

// Whatever text encryption accepts, decryption accepts: the longest text's cipher text, padded
// to a multiple of 8, decrypts.
TEST(CInterface, LongestCipherTextDecrypts) {
  if (sizeof(void*) < 8)
    GTEST_SKIP() << "1 GiB of cipher text and its result need a 64-bit process";
  Cipher cipher = Keyed("key");
  ASSERT_EQ(tolvane_cipher_set_threads(cipher.get(), 0), 0);
  const std::vector<std::uint16_t> cipher_text(TOLVANE_MAX_CIPHER_TEXT_UNITS, u'A');
  std::uint16_t* plain = nullptr;
  std::size_t units = 0;
  ASSERT_EQ(
      tolvane_decrypt_text16(cipher.get(), cipher_text.data(), cipher_text.size(), &plain, &units),
      0)
      << tolvane_last_error_message();
  tolvane_free(plain);
  EXPECT_EQ(tolvane_decrypt_text16(cipher.get(), cipher_text.data(), cipher_text.size() + 8, &plain,
                                   &units),
            TOLVANE_ERR_OVERFLOW);
}

TEST(CInterface, PublishedVectorsInPlaceAndApart) {
  std::ifstream vectors(TOLVANE_SOURCE_DIR "/tests/data/blowfish-published.txt");
  std::string line;
  int checked = 0;
  while (std::getline(vectors, line) && line != "[ecb]") {
  }
  while (std::getline(vectors, line) && !line.empty() && line[0] != '[') {
    if (line[0] == '#') continue;
    const auto key = Bytes(line.substr(0, 16));
    const auto plain = Bytes(line.substr(17, 16));
    const auto expected = Bytes(line.substr(34, 16));
    tolvane_cipher* cipher = nullptr;
    ASSERT_EQ(tolvane_cipher_create(&cipher), 0);
    ASSERT_EQ(tolvane_cipher_set_key(cipher, key.data(), key.size()), 0);
    std::vector<std::uint8_t> out(8), in_place = plain;
    ASSERT_EQ(tolvane_encrypt(cipher, plain.data(), out.data(), 8), 0);
    ASSERT_EQ(tolvane_encrypt(cipher, in_place.data(), in_place.data(), 8), 0);
    EXPECT_EQ(out, expected) << line;
    EXPECT_EQ(in_place, expected) << line;
    ASSERT_EQ(tolvane_decrypt(cipher, out.data(), out.data(), 8), 0);
    EXPECT_EQ(out, plain) << line;
    tolvane_cipher_destroy(cipher);
    ++checked;
  }
  EXPECT_GT(checked, 30);
}

TEST(CInterface, TextInBothEncodingsAgrees) {
  const Cipher cipher = Keyed("secret");
  char* cipher8 = nullptr;
  std::size_t size8 = 0;
  ASSERT_EQ(tolvane_encrypt_text8(cipher.get(), "Grüße", std::strlen("Grüße"), &cipher8, &size8),
            0);
  const std::u16string text16 = u"Grüße";
  std::uint16_t* cipher16 = nullptr;
  std::size_t units16 = 0;
  ASSERT_EQ(
      tolvane_encrypt_text16(cipher.get(), reinterpret_cast<const std::uint16_t*>(text16.data()),
                             text16.size(), &cipher16, &units16),
      0);
  EXPECT_EQ(units16, 8u);
  std::uint16_t* plain16 = nullptr;
  std::size_t plain_units = 0;
  ASSERT_EQ(tolvane_decrypt_text16(cipher.get(), cipher16, units16, &plain16, &plain_units), 0);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(plain16), plain_units), text16);
  EXPECT_EQ(plain16[plain_units], 0);
  tolvane_free(plain16);
  tolvane_free(cipher16);
  // The UTF-8 cipher text, as code page bytes, decrypts through the UTF-8 path.
  char* plain8 = nullptr;
  std::size_t plain_size = 0;
  ASSERT_EQ(tolvane_decrypt_text8(cipher.get(), cipher8, size8, &plain8, &plain_size), 0);
  EXPECT_EQ(Take(plain8, plain_size), "Grüße");
  std::uint8_t* bytes = nullptr;
  std::size_t byte_count = 0;
  ASSERT_EQ(tolvane_code_page_bytes8(cipher8, size8, &bytes, &byte_count), 0);
  EXPECT_EQ(byte_count, 8u);
  char* again = nullptr;
  std::size_t again_size = 0;
  ASSERT_EQ(tolvane_code_page_text8(bytes, byte_count, &again, &again_size), 0);
  EXPECT_EQ(Take(again, again_size), std::string(cipher8, size8));
  tolvane_free(bytes);
  tolvane_free(cipher8);

  char* hex = nullptr;
  std::size_t hex_size = 0;
  ASSERT_EQ(tolvane_hex_code8("A\xc3\xa9", 3, &hex, &hex_size), 0);
  EXPECT_EQ(Take(hex, hex_size), "4100E900");
  ASSERT_EQ(tolvane_from_hex_code8("4100e900", 8, &hex, &hex_size), 0);
  EXPECT_EQ(Take(hex, hex_size), "A\xc3\xa9");
}

// Functions rather than lambdas: a lambda converts only to a pointer of the default
// convention, and the callback's is __stdcall on 32-bit Windows.
int32_t TOLVANE_CALL Answer(void* context, std::uint64_t, std::uint64_t) {
  return *static_cast<int32_t*>(context);
}
int32_t TOLVANE_CALL NoteTotal(void* context, std::uint64_t, std::uint64_t total) {
  *static_cast<std::uint64_t*>(context) = total;
  return 0;
}

// A progress callback that asks to stop leaves the target as it was; one that lets the work go
// on sees the total.
TEST(CInterface, FilesAndTheirProgress) {
  const auto folder =
      std::filesystem::temp_directory_path() /
      ("tolvane-capi-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::filesystem::create_directories(folder);
  const std::string plain = (folder / "plain").string(), sealed = (folder / "sealed").string();
  std::ofstream(plain, std::ios::binary) << "twelve bytes";
  std::ofstream(sealed, std::ios::binary) << "before";
  const Cipher cipher = Keyed("key");
  // Any value but 0 stops it, negative ones too.
  for (int32_t answer : {1, -1}) {
    EXPECT_EQ(tolvane_encrypt_file(cipher.get(), plain.c_str(), sealed.c_str(), Answer, &answer),
              TOLVANE_ERR_STOPPED)
        << answer;
    EXPECT_EQ(Contents(sealed), "before");
  }

  std::uint64_t last_total = 0;
  ASSERT_EQ(
      tolvane_encrypt_file(cipher.get(), plain.c_str(), sealed.c_str(), NoteTotal, &last_total), 0);
  EXPECT_EQ(last_total, 12u);
  int32_t key_checked = -1;
  ASSERT_EQ(tolvane_check_file(cipher.get(), sealed.c_str(), &key_checked), 0);
  EXPECT_EQ(key_checked, 1);
  const Cipher wrong = Keyed("other");
  EXPECT_EQ(tolvane_check_file(wrong.get(), sealed.c_str(), &key_checked),
            TOLVANE_ERR_BAD_FILE_FORMAT);
  ASSERT_EQ(tolvane_decrypt_file(cipher.get(), sealed.c_str(), sealed.c_str(), nullptr, nullptr),
            0);
  EXPECT_EQ(Contents(sealed), "twelve bytes");
  std::filesystem::remove_all(folder);
}

// Text and binary values go in, come back with their kind, are listed and deleted; on POSIX
// in a store of the test's own.
TEST(CInterface, Settings) {
  const auto folder = std::filesystem::temp_directory_path() / "tolvane-capi-settings";
  std::filesystem::remove_all(folder);
  const tolvane::testing::ScopedEnv config("XDG_CONFIG_HOME", folder.string().c_str());
  const std::uint8_t binary[] = {0, 1, 0xFF};
  ASSERT_EQ(tolvane_settings_write_text("tolvane-capi-text", "Grüße"), 0);
  ASSERT_EQ(tolvane_settings_write_binary("tolvane-capi-binary", binary, sizeof binary), 0);
  EXPECT_EQ(tolvane_settings_write_text("tolvane-capi-bad", "\xC3"), 5);
  int32_t kind = -1;
  std::uint8_t* value = nullptr;
  std::size_t size = 0;
  ASSERT_EQ(tolvane_settings_read("tolvane-capi-text", &kind, &value, &size), 0);
  EXPECT_EQ(kind, TOLVANE_SETTING_TEXT);
  EXPECT_EQ(Take(reinterpret_cast<char*>(value), size), "Grüße");
  ASSERT_EQ(tolvane_settings_read("tolvane-capi-binary", &kind, &value, &size), 0);
  EXPECT_EQ(kind, TOLVANE_SETTING_BINARY);
  EXPECT_EQ(std::vector<std::uint8_t>(value, value + size),
            std::vector<std::uint8_t>(binary, binary + 3));
  tolvane_free(value);
  char* entries = nullptr;
  std::size_t count = 0;
  ASSERT_EQ(tolvane_settings_list(&entries, &size, &count), 0);
  const std::string listed(entries, size);
  tolvane_free(entries);
  const char expected[] = "btolvane-capi-binary\0ttolvane-capi-text";  // each entry ends in NUL
  EXPECT_NE(listed.find(std::string(expected, sizeof expected)), std::string::npos) << listed;
  int32_t deleted = -1;
  for (const char* name : {"tolvane-capi-text", "tolvane-capi-binary"}) {
    ASSERT_EQ(tolvane_settings_delete(name, &deleted), 0);
    EXPECT_EQ(deleted, 1);
  }
  ASSERT_EQ(tolvane_settings_read("tolvane-capi-text", &kind, &value, &size), 0);
  EXPECT_EQ(kind, TOLVANE_SETTING_NONE);
  EXPECT_EQ(value, nullptr);
  std::filesystem::remove_all(folder);
}

// The last message belongs to the thread that failed.
TEST(CInterface, LastMessageIsPerThread) {
  ASSERT_EQ(tolvane_set_code_page(1), 5);
  std::string other;
  std::thread([&] {
    char* text = nullptr;
    std::size_t size = 0;
    tolvane_from_hex_code8("zz", 2, &text, &size);
    other = tolvane_last_error_message();
  }).join();
  EXPECT_NE(other.find("Type mismatch"), std::string::npos);
  EXPECT_EQ(std::string(tolvane_last_error_message()).find("Type mismatch"), std::string::npos);
}

}  // namespace
