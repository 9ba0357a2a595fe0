// The C interface: each function checks its arguments, calls the core, and turns whatever the
// core throws into the error number it returns and the calling thread's last message. Nothing
// here reports or shows anything.
#include "tolvane/capi/tolvane.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <limits>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tolvane/base/error.h"
#include "tolvane/base/utf8.h"
#include "tolvane/base/wipe.h"
#include "tolvane/capi/block_release.h"
#include "tolvane/core/ecb.h"
#include "tolvane/core/encrypted_file.h"
#include "tolvane/core/hex_code.h"
#include "tolvane/core/key_schedule.h"
#include "tolvane/core/text_cipher.h"
#include "tolvane/platform/code_page.h"
#include "tolvane/support/base64.h"
#include "tolvane/support/registry.h"

struct tolvane_cipher {
  std::optional<tolvane::KeySchedule> key;
  unsigned threads = 1;
};

namespace tolvane {

BlockRelease g_release_block = [](void* start) noexcept { std::free(start); };

namespace {

constexpr std::size_t kMaxBytes = std::numeric_limits<std::int32_t>::max();
constexpr std::size_t kMaxHexDigits = std::size_t{4} * TOLVANE_MAX_TEXT_UNITS;

// The calling thread's last failure. When even storing the text fails for want of memory,
// `out_of_memory` stands in for it.
struct LastError {
  std::string message;
  bool out_of_memory = false;
};
thread_local LastError last_error;

std::int32_t Fail(std::int32_t number, std::string_view message) noexcept {
  try {
    last_error.message.assign(message);
    last_error.out_of_memory = false;
  } catch (...) {
    last_error.out_of_memory = true;
  }
  return number;
}

// Runs `body`, giving 0, or the number of what it threw with its text kept for the thread.
template <typename Body>
std::int32_t Guarded(Body&& body) noexcept {
  try {
    body();
    return TOLVANE_OK;
  } catch (const Error& e) {
    return Fail(e.number(), e.description());
  } catch (const std::bad_alloc&) {
    return Fail(kErrOutOfMemory, "Out of memory");
  } catch (const std::exception& e) {
    return Fail(kErrInternal, e.what());
  } catch (...) {
    return Fail(kErrInternal, "Internal error");
  }
}

Error InvalidArgument(std::string_view what) {
  return Error(kErrInvalidCall, "Invalid procedure call or argument: " + std::string(what));
}

template <typename T>
void Require(const T* pointer, std::string_view name) {
  if (pointer == nullptr) throw InvalidArgument(std::string(name) + " is NULL");
}

// A buffer of `size` elements: NULL is fine only when it is empty.
template <typename T>
void RequireBuffer(const T* pointer, std::size_t size, std::string_view name) {
  if (pointer == nullptr && size != 0) throw InvalidArgument(std::string(name) + " is NULL");
}

void RequireAtMost(std::size_t size, std::size_t limit) {
  if (size > limit) throw OverflowError();
}

const KeySchedule& KeyOf(const tolvane_cipher* cipher) {
  Require(cipher, "the cipher");
  if (!cipher->key) throw NotKeyedError();
  return *cipher->key;
}

CipherThreads ThreadsOf(const tolvane_cipher* cipher) noexcept {
  return OnSharedPool(cipher->threads);
}

// Blocks handed out carry their size in front, so that tolvane_free can wipe them whole.
constexpr std::size_t kBlockHeader = alignof(std::max_align_t);

void* Allocate(std::size_t size) {
  if (size > std::numeric_limits<std::size_t>::max() - kBlockHeader) throw OutOfMemoryError();
  auto* block = static_cast<unsigned char*>(std::malloc(kBlockHeader + size));
  if (block == nullptr) throw OutOfMemoryError();
  std::memcpy(block, &size, sizeof size);
  return block + kBlockHeader;
}

// Clears an output pair up front, so that a failure leaves NULL and 0. Every other output is
// cleared before any argument is checked too, so that a NULL one leaves none of the rest set.
template <typename T>
void ClearResult(T** result, std::size_t* size) {
  if (result != nullptr) *result = nullptr;
  if (size != nullptr) *size = 0;
  Require(result, "the result pointer");
  Require(size, "the result size pointer");
}

template <typename Unit>
void Hand(std::basic_string_view<Unit> value, Unit** result, std::size_t* size) {
  auto* block = static_cast<Unit*>(Allocate((value.size() + 1) * sizeof(Unit)));
  if (!value.empty()) std::memcpy(block, value.data(), value.size() * sizeof(Unit));
  block[value.size()] = Unit{};
  *result = block;
  *size = value.size();
}

void HandBytes(std::span<const std::uint8_t> bytes, std::uint8_t** result, std::size_t* size) {
  auto* block = static_cast<std::uint8_t*>(Allocate(bytes.size()));
  if (!bytes.empty()) std::memcpy(block, bytes.data(), bytes.size());
  *result = block;
  *size = bytes.size();
}

// A string that may hold plaintext: wiped when it goes.
template <typename String>
struct Wiped {
  String value;
  ~Wiped() { SecureWipe(value.data(), value.size() * sizeof(typename String::value_type)); }
};

std::u16string_view View16(const std::uint16_t* text, std::size_t units) {
  return units == 0 ? std::u16string_view()
                    : std::u16string_view(reinterpret_cast<const char16_t*>(text), units);
}
std::string_view View8(const char* text, std::size_t size) {
  return size == 0 ? std::string_view() : std::string_view(text, size);
}

void Hand16(std::u16string_view value, std::uint16_t** result, std::size_t* units) {
  char16_t* block = nullptr;
  Hand(value, &block, units);
  *result = reinterpret_cast<std::uint16_t*>(block);
}

void Hand8(std::u16string_view value, char** result, std::size_t* size) {
  const Wiped<std::string> utf8{Utf16ToUtf8(value)};
  Hand(std::string_view(utf8.value), result, size);
}

std::u16string Utf16Of(const char* text, std::size_t size) {
  return Utf8ToUtf16(View8(text, size));
}

// A NUL-terminated UTF-8 argument, checked to be well-formed.
std::string_view Utf8Argument(const char* text, std::string_view name) {
  Require(text, name);
  const std::string_view view(text);
  Wiped<std::u16string> checked{Utf8ToUtf16(view)};
  return view;
}

std::filesystem::path PathOf(const char* path, std::string_view name) {
  Require(path, name);
#ifdef _WIN32
  return std::filesystem::path(Utf8ToUtf16(path));
#else
  // A POSIX path is bytes; it is taken as it is, UTF-8 or not.
  return std::filesystem::path(std::string(path));
#endif
}

ProgressFunction ProgressOf(tolvane_progress progress, void* context) {
  if (progress == nullptr) return nullptr;
  return [progress, context](std::uint64_t done, std::uint64_t total) {
    if (progress(context, done, total) != 0) {
      throw Error(TOLVANE_ERR_STOPPED, "Stopped by the progress callback");
    }
  };
}

template <bool kDecrypt>
std::int32_t Ecb(const tolvane_cipher* cipher, const std::uint8_t* in, std::uint8_t* out,
                 std::size_t size) noexcept {
  return Guarded([&] {
    const KeySchedule& key = KeyOf(cipher);
    RequireBuffer(in, size, "the input");
    RequireBuffer(out, size, "the output");
    RequireAtMost(size, kMaxBytes);
    const std::span<const std::uint8_t> from(in, size);
    const std::span<std::uint8_t> to(out, size);
    RequireInPlaceOrApart(from, to);
    if constexpr (kDecrypt) {
      EcbDecrypt(key, from, to, ThreadsOf(cipher));
    } else {
      EcbEncrypt(key, from, to, ThreadsOf(cipher));
    }
  });
}

}  // namespace
}  // namespace tolvane

using namespace tolvane;  // NOLINT(google-build-using-namespace): this file is the C boundary

extern "C" {

const char* TOLVANE_CALL tolvane_version(void) { return TOLVANE_LIBRARY_VERSION; }

int32_t TOLVANE_CALL tolvane_abi_version(void) { return TOLVANE_ABI_VERSION; }

const char* TOLVANE_CALL tolvane_last_error_message(void) {
  return last_error.out_of_memory ? "Out of memory" : last_error.message.c_str();
}

void TOLVANE_CALL tolvane_free(void* block) {
  if (block == nullptr) return;
  unsigned char* start = static_cast<unsigned char*>(block) - kBlockHeader;
  std::size_t size = 0;
  std::memcpy(&size, start, sizeof size);
  SecureWipe(start, kBlockHeader + size);
  g_release_block(start);
}

int32_t TOLVANE_CALL tolvane_cipher_create(tolvane_cipher** cipher) {
  return Guarded([&] {
    Require(cipher, "the cipher pointer");
    *cipher = nullptr;
    *cipher = new tolvane_cipher;
  });
}

int32_t TOLVANE_CALL tolvane_cipher_destroy(tolvane_cipher* cipher) {
  delete cipher;  // the key schedule wipes itself
  return TOLVANE_OK;
}

int32_t TOLVANE_CALL tolvane_cipher_set_key(tolvane_cipher* cipher, const uint8_t* key,
                                            size_t size) {
  return Guarded([&] {
    Require(cipher, "the cipher");
    RequireBuffer(key, size, "the key");
    // Scheduled aside first: a refused key leaves the cipher as it was.
    const KeySchedule schedule(std::span<const std::uint8_t>(key, size));
    cipher->key = schedule;
  });
}

int32_t TOLVANE_CALL tolvane_cipher_set_threads(tolvane_cipher* cipher, uint32_t threads) {
  return Guarded([&] {
    Require(cipher, "the cipher");
    cipher->threads = ResolveThreadCount(threads);
  });
}

int32_t TOLVANE_CALL tolvane_encrypt(const tolvane_cipher* cipher, const uint8_t* in, uint8_t* out,
                                     size_t size) {
  return Ecb<false>(cipher, in, out, size);
}

int32_t TOLVANE_CALL tolvane_decrypt(const tolvane_cipher* cipher, const uint8_t* in, uint8_t* out,
                                     size_t size) {
  return Ecb<true>(cipher, in, out, size);
}

int32_t TOLVANE_CALL tolvane_encrypt_file(const tolvane_cipher* cipher, const char* source,
                                          const char* target, tolvane_progress progress,
                                          void* context) {
  return Guarded([&] {
    const KeySchedule& key = KeyOf(cipher);
    EncryptFile(key, ThreadsOf(cipher), PathOf(source, "the source"), PathOf(target, "the target"),
                ProgressOf(progress, context));
  });
}

int32_t TOLVANE_CALL tolvane_decrypt_file(const tolvane_cipher* cipher, const char* source,
                                          const char* target, tolvane_progress progress,
                                          void* context) {
  return Guarded([&] {
    const KeySchedule& key = KeyOf(cipher);
    DecryptFile(key, ThreadsOf(cipher), PathOf(source, "the source"), PathOf(target, "the target"),
                ProgressOf(progress, context));
  });
}

int32_t TOLVANE_CALL tolvane_check_file(const tolvane_cipher* cipher, const char* path,
                                        int32_t* key_checked) {
  return Guarded([&] {
    if (key_checked != nullptr) *key_checked = 0;
    const KeySchedule& key = KeyOf(cipher);
    Require(key_checked, "the key_checked pointer");
    *key_checked = CheckEncryptedFile(key, PathOf(path, "the path")).key_checked ? 1 : 0;
  });
}

int32_t TOLVANE_CALL tolvane_encrypt_text16(const tolvane_cipher* cipher, const uint16_t* text,
                                            size_t units, uint16_t** result, size_t* result_units) {
  return Guarded([&] {
    ClearResult(result, result_units);
    const KeySchedule& key = KeyOf(cipher);
    RequireBuffer(text, units, "the text");
    RequireAtMost(units, TOLVANE_MAX_TEXT_UNITS);
    Hand16(EncryptText(key, ThreadsOf(cipher), CodePage::Active(), View16(text, units)), result,
           result_units);
  });
}

int32_t TOLVANE_CALL tolvane_encrypt_text8(const tolvane_cipher* cipher, const char* text,
                                           size_t size, char** result, size_t* result_size) {
  return Guarded([&] {
    ClearResult(result, result_size);
    const KeySchedule& key = KeyOf(cipher);
    RequireBuffer(text, size, "the text");
    RequireAtMost(size, TOLVANE_MAX_TEXT_UNITS);
    const Wiped<std::u16string> plain{Utf16Of(text, size)};
    Hand8(EncryptText(key, ThreadsOf(cipher), CodePage::Active(), plain.value), result,
          result_size);
  });
}

int32_t TOLVANE_CALL tolvane_decrypt_text16(const tolvane_cipher* cipher, const uint16_t* text,
                                            size_t units, uint16_t** result, size_t* result_units) {
  return Guarded([&] {
    ClearResult(result, result_units);
    const KeySchedule& key = KeyOf(cipher);
    RequireBuffer(text, units, "the text");
    RequireAtMost(units, TOLVANE_MAX_CIPHER_TEXT_UNITS);
    const std::u16string_view cipher_text = View16(text, units);
    CheckCipherText(cipher_text);
    const Wiped<std::u16string> plain{
        DecryptText(key, ThreadsOf(cipher), CodePage::Active(), cipher_text)};
    Hand16(plain.value, result, result_units);
  });
}

int32_t TOLVANE_CALL tolvane_decrypt_text8(const tolvane_cipher* cipher, const char* text,
                                           size_t size, char** result, size_t* result_size) {
  return Guarded([&] {
    ClearResult(result, result_size);
    const KeySchedule& key = KeyOf(cipher);
    RequireBuffer(text, size, "the text");
    RequireAtMost(size, std::size_t{4} * TOLVANE_MAX_CIPHER_TEXT_UNITS);
    const std::u16string cipher_text = Utf16Of(text, size);
    RequireAtMost(cipher_text.size(), TOLVANE_MAX_CIPHER_TEXT_UNITS);
    CheckCipherText(cipher_text);
    const Wiped<std::u16string> plain{
        DecryptText(key, ThreadsOf(cipher), CodePage::Active(), cipher_text)};
    Hand8(plain.value, result, result_size);
  });
}

int32_t TOLVANE_CALL tolvane_hex_code16(const uint16_t* text, size_t units, uint16_t** result,
                                        size_t* result_units) {
  return Guarded([&] {
    ClearResult(result, result_units);
    RequireBuffer(text, units, "the text");
    RequireAtMost(units, TOLVANE_MAX_TEXT_UNITS);
    Hand16(TextToHexCode(View16(text, units)), result, result_units);
  });
}

int32_t TOLVANE_CALL tolvane_hex_code8(const char* text, size_t size, char** result,
                                       size_t* result_size) {
  return Guarded([&] {
    ClearResult(result, result_size);
    RequireBuffer(text, size, "the text");
    RequireAtMost(size, TOLVANE_MAX_TEXT_UNITS);
    const Wiped<std::u16string> plain{Utf16Of(text, size)};
    Hand8(TextToHexCode(plain.value), result, result_size);
  });
}

int32_t TOLVANE_CALL tolvane_from_hex_code16(const uint16_t* code, size_t units, uint16_t** result,
                                             size_t* result_units) {
  return Guarded([&] {
    ClearResult(result, result_units);
    RequireBuffer(code, units, "the code");
    RequireAtMost(units, kMaxHexDigits);
    const Wiped<std::u16string> text{HexCodeToText(View16(code, units))};
    Hand16(text.value, result, result_units);
  });
}

int32_t TOLVANE_CALL tolvane_from_hex_code8(const char* code, size_t size, char** result,
                                            size_t* result_size) {
  return Guarded([&] {
    ClearResult(result, result_size);
    RequireBuffer(code, size, "the code");
    RequireAtMost(size, kMaxHexDigits);
    const Wiped<std::u16string> text{HexCodeToText(Utf16Of(code, size))};
    Hand8(text.value, result, result_size);
  });
}

int32_t TOLVANE_CALL tolvane_code_page(int32_t* code_page) {
  return Guarded([&] {
    if (code_page != nullptr) *code_page = 0;
    Require(code_page, "the code page pointer");
    *code_page = AnsiCodePage();
  });
}

int32_t TOLVANE_CALL tolvane_set_code_page(int32_t code_page) {
  return Guarded([&] { SetAnsiCodePage(code_page); });
}

int32_t TOLVANE_CALL tolvane_code_page_bytes8(const char* text, size_t size, uint8_t** result,
                                              size_t* result_size) {
  return Guarded([&] {
    ClearResult(result, result_size);
    RequireBuffer(text, size, "the text");
    RequireAtMost(size, TOLVANE_MAX_TEXT_UNITS);
    const Wiped<std::u16string> units{Utf16Of(text, size)};
    const SecureBytes bytes = AnsiBytes(CodePage::Active(), units.value);
    HandBytes(bytes, result, result_size);
  });
}

int32_t TOLVANE_CALL tolvane_code_page_text8(const uint8_t* bytes, size_t size, char** result,
                                             size_t* result_size) {
  return Guarded([&] {
    ClearResult(result, result_size);
    RequireBuffer(bytes, size, "the bytes");
    RequireAtMost(size, TOLVANE_MAX_TEXT_UNITS);
    const Wiped<std::u16string> text{
        TextOfAnsiBytes(CodePage::Active(), std::span<const std::uint8_t>(bytes, size))};
    Hand8(text.value, result, result_size);
  });
}

int32_t TOLVANE_CALL tolvane_base64_decode8(const char* text, size_t size, uint8_t** result,
                                            size_t* result_size) {
  return Guarded([&] {
    ClearResult(result, result_size);
    RequireBuffer(text, size, "the text");
    RequireAtMost(size, kMaxBytes);
    std::vector<std::uint8_t> bytes = Base64Decode(View8(text, size));
    HandBytes(bytes, result, result_size);
    SecureWipe(bytes.data(), bytes.size());
  });
}

int32_t TOLVANE_CALL tolvane_base64_decode16(const uint16_t* text, size_t units, uint8_t** result,
                                             size_t* result_size) {
  return Guarded([&] {
    ClearResult(result, result_size);
    RequireBuffer(text, units, "the text");
    RequireAtMost(units, kMaxBytes);
    std::vector<std::uint8_t> bytes = Base64Decode(View16(text, units));
    HandBytes(bytes, result, result_size);
    SecureWipe(bytes.data(), bytes.size());
  });
}

int32_t TOLVANE_CALL tolvane_settings_write_text(const char* name, const char* value) {
  return Guarded([&] {
    const std::string_view checked_name = Utf8Argument(name, "the name");
    const std::string_view checked_value = Utf8Argument(value, "the value");
    RequireAtMost(checked_value.size(), kMaxBytes);
    WriteRegValue(checked_name, RegValue(std::string(checked_value)));
  });
}

int32_t TOLVANE_CALL tolvane_settings_write_binary(const char* name, const uint8_t* value,
                                                   size_t size) {
  return Guarded([&] {
    const std::string_view checked_name = Utf8Argument(name, "the name");
    RequireBuffer(value, size, "the value");
    RequireAtMost(size, kMaxBytes);
    RegValue stored(std::in_place_index<1>, value, value + size);
    WriteRegValue(checked_name, stored);
    auto& bytes = std::get<1>(stored);
    SecureWipe(bytes.data(), bytes.size());
  });
}

int32_t TOLVANE_CALL tolvane_settings_read(const char* name, int32_t* kind, uint8_t** value,
                                           size_t* size) {
  return Guarded([&] {
    if (kind != nullptr) *kind = TOLVANE_SETTING_NONE;
    ClearResult(value, size);
    Require(kind, "the kind pointer");
    const std::optional<RegValue> stored = ReadRegValue(Utf8Argument(name, "the name"));
    if (!stored) return;
    if (const auto* text = std::get_if<std::string>(&*stored)) {
      char* block = nullptr;
      Hand(std::string_view(*text), &block, size);
      *value = reinterpret_cast<std::uint8_t*>(block);
      *kind = TOLVANE_SETTING_TEXT;
    } else {
      HandBytes(std::get<1>(*stored), value, size);
      *kind = TOLVANE_SETTING_BINARY;
    }
  });
}

// The letter tolvane_settings_list gives each RegValueType, in the enumeration's order.
constexpr char kTypeLetters[] = "tbxmdqo";
static_assert(TOLVANE_MAX_CIPHER_TEXT_UNITS == (TOLVANE_MAX_TEXT_UNITS + 7) / 8 * 8);
static_assert(sizeof kTypeLetters - 1 == static_cast<std::size_t>(RegValueType::kOther) + 1);

int32_t TOLVANE_CALL tolvane_settings_list(char** entries, size_t* size, size_t* count) {
  return Guarded([&] {
    if (count != nullptr) *count = 0;
    ClearResult(entries, size);
    Require(count, "the count pointer");
    const std::vector<RegValueInfo> values = ListRegValues();
    std::string block;
    for (const RegValueInfo& info : values) {
      block += kTypeLetters[static_cast<std::size_t>(info.type)];
      block += info.name;
      block += '\0';
    }
    Hand(std::string_view(block), entries, size);
    *count = values.size();
  });
}

int32_t TOLVANE_CALL tolvane_settings_delete(const char* name, int32_t* deleted) {
  return Guarded([&] {
    if (deleted != nullptr) *deleted = 0;
    Require(deleted, "the deleted pointer");
    *deleted = DeleteRegValue(Utf8Argument(name, "the name")) ? 1 : 0;
  });
}

}  // extern "C"
