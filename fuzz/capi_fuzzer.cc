// The C interface's text, hexadecimal and file entry points on arbitrary input, NULL pointers
// and lengths over the limits included. Every call returns 0 or an error number with a
// message, never shows anything, and on failure leaves its result NULL and its size 0; results
// end with a NUL. The hexadecimal code decodes back to the text exactly; decrypting the
// encryption of text gives what the code page makes of it, cut at a NUL. A file that
// tolvane_check_file accepts decrypts, one it refuses fails to decrypt with the same number,
// leaving no target; the source never changes.
//
// Input: one byte of options (bits 0-1: which argument is NULL, if any; bit 2: a length just
// over the limit; bit 3: UTF-16 rather than UTF-8; bit 4: the content is made a well-formed
// encrypted file first), then the content.

#include <unistd.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tolvane/capi/tolvane.h"

namespace tolvane::fuzz {
namespace {

constexpr std::int32_t kKnownNumbers[] = {5,
                                          6,
                                          7,
                                          9,
                                          13,
                                          18,
                                          51,
                                          53,
                                          61,
                                          70,
                                          75,
                                          321,
                                          TOLVANE_ERR_NOT_KEYED,
                                          TOLVANE_ERR_SIZE_MISMATCH,
                                          TOLVANE_ERR_NOT_MULTIPLE_OF_8};

// A call's status: 0, or a known number with a message. Nothing may have been shown.
void CheckStatus(std::int32_t status) {
  if (status != 0) {
    bool known = false;
    for (const std::int32_t number : kKnownNumbers) known = known || number == status;
    FUZZ_CHECK(known);
    FUZZ_CHECK(std::strlen(tolvane_last_error_message()) > 0);
  }
  FUZZ_CHECK(TakeMessages().empty());
}

tolvane_cipher* Cipher() {
  static tolvane_cipher* cipher = [] {
    tolvane_cipher* made = nullptr;
    tolvane_cipher_create(&made);
    const std::uint8_t key[] = {'f', 'u', 'z', 'z', ' ', 'k', 'e', 'y'};
    tolvane_cipher_set_key(made, key, sizeof key);
    return made;
  }();
  return cipher;
}

// Calls `function` (a text entry point of one encoding) with the options' NULLs and lengths;
// gives the result, or nothing when the call failed, which it checks was clean.
template <typename Unit, typename Function>
bool CallText(Function function, const std::basic_string<Unit>& text, std::uint8_t options,
              std::basic_string<Unit>& out) {
  Unit* result = reinterpret_cast<Unit*>(&out);  // not NULL: the call must clear it
  std::size_t size = 12345;
  const int null = options & 3;
  std::size_t length = text.size();
  // Beyond every text limit, that of UTF-8 cipher text (four bytes a unit) included.
  if (options & 4) length = std::size_t{4} * TOLVANE_MAX_CIPHER_TEXT_UNITS + 1;
  const std::int32_t status = function(null == 1 && !text.empty() ? nullptr : text.data(), length,
                                       null == 2 ? nullptr : &result, null == 3 ? nullptr : &size);
  CheckStatus(status);
  if (null != 0 && !(null == 1 && text.empty())) FUZZ_CHECK(status == TOLVANE_ERR_INVALID_ARGUMENT);
  if (options & 4) FUZZ_CHECK(status != 0);
  if (status != 0) {
    if (null != 2) FUZZ_CHECK(result == nullptr);
    if (null != 3) FUZZ_CHECK(size == 0);
    return false;
  }
  FUZZ_CHECK(result[size] == Unit{});
  out.assign(result, size);
  tolvane_free(result);
  return true;
}

template <typename Unit>
void Text(const std::basic_string<Unit>& text, std::uint8_t options) {
  constexpr bool k8 = sizeof(Unit) == 1;
  using Raw = std::conditional_t<k8, char, std::uint16_t>;
  auto call = [&](auto function, const std::basic_string<Unit>& in, std::uint8_t opts,
                  std::basic_string<Unit>& out) {
    auto adapted = [&](const Unit* data, std::size_t size, Unit** result, std::size_t* units) {
      return function(reinterpret_cast<const Raw*>(data), size, reinterpret_cast<Raw**>(result),
                      units);
    };
    return CallText<Unit>(adapted, in, opts, out);
  };
  auto hex = [](const Raw* t, std::size_t n, Raw** r, std::size_t* s) {
    if constexpr (k8) {
      return tolvane_hex_code8(t, n, r, s);
    } else {
      return tolvane_hex_code16(t, n, r, s);
    }
  };
  auto from_hex = [](const Raw* t, std::size_t n, Raw** r, std::size_t* s) {
    if constexpr (k8) {
      return tolvane_from_hex_code8(t, n, r, s);
    } else {
      return tolvane_from_hex_code16(t, n, r, s);
    }
  };
  auto encrypt = [](const Raw* t, std::size_t n, Raw** r, std::size_t* s) {
    if constexpr (k8) {
      return tolvane_encrypt_text8(Cipher(), t, n, r, s);
    } else {
      return tolvane_encrypt_text16(Cipher(), t, n, r, s);
    }
  };
  auto decrypt = [](const Raw* t, std::size_t n, Raw** r, std::size_t* s) {
    if constexpr (k8) {
      return tolvane_decrypt_text8(Cipher(), t, n, r, s);
    } else {
      return tolvane_decrypt_text16(Cipher(), t, n, r, s);
    }
  };

  std::basic_string<Unit> code, back, sealed, opened, ignored;
  // Arbitrary text is also tried as a code and as cipher text.
  call(from_hex, text, options, ignored);
  call(decrypt, text, options, ignored);
  if (call(hex, text, options, code)) {
    FUZZ_CHECK(call(from_hex, code, 0, back));
    FUZZ_CHECK(back == text);
  }
  if (call(encrypt, text, options, sealed)) {
    FUZZ_CHECK(call(decrypt, sealed, 0, opened));
    // What the code page made of the text, one unit for each, cut at its first NUL; when
    // that comes first, nothing is cut and the padding stays.
    if constexpr (!k8) {
      if (!opened.empty() && opened[0] != 0) FUZZ_CHECK(opened.size() <= text.size());
      if (!opened.empty() && opened[0] == 0) FUZZ_CHECK(opened.size() == sealed.size());
    }
  }
}

void File(const std::vector<std::uint8_t>& content, std::uint8_t options) {
  static const std::string folder = [] {
    char pattern[] = "/tmp/tolvane-capi-fuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    FUZZ_CHECK(made != nullptr);
    return std::string(made);
  }();
  const std::string source = folder + "/source", target = folder + "/target";
  std::filesystem::remove(target);
  {
    std::ofstream(source, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(content.data()),
               static_cast<std::streamsize>(content.size()));
  }
  if (options & 16)
    CheckStatus(tolvane_encrypt_file(Cipher(), source.c_str(), source.c_str(), nullptr, nullptr));
  std::ifstream before_stream(source, std::ios::binary);
  const std::string before(std::istreambuf_iterator<char>(before_stream), {});

  const int null = options & 3;
  std::int32_t checked = -1;
  const std::int32_t check =
      tolvane_check_file(null == 1 ? nullptr : Cipher(), null == 2 ? nullptr : source.c_str(),
                         null == 3 ? nullptr : &checked);
  CheckStatus(check);
  const std::int32_t decrypt =
      tolvane_decrypt_file(null == 1 ? nullptr : Cipher(), null == 2 ? nullptr : source.c_str(),
                           target.c_str(), nullptr, nullptr);
  CheckStatus(decrypt);
  if (null != 0) {
    FUZZ_CHECK(check == TOLVANE_ERR_INVALID_ARGUMENT || null == 3);
    FUZZ_CHECK(decrypt == TOLVANE_ERR_INVALID_ARGUMENT || null == 3);
  }
  if (null != 3) FUZZ_CHECK(check == decrypt);
  if (check == 0 && null != 3) FUZZ_CHECK(checked == 0 || checked == 1);
  if (options & 16 && null == 0) FUZZ_CHECK(check == 0 && decrypt == 0);
  if (decrypt == 0) {
    std::ifstream out(target, std::ios::binary);
    const std::string plain(std::istreambuf_iterator<char>(out), {});
    if (options & 16) FUZZ_CHECK(plain == std::string(content.begin(), content.end()));
  } else {
    FUZZ_CHECK(!std::filesystem::exists(target));
  }
  // Nothing left behind: the source and, after success, the target.
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++entries;
  FUZZ_CHECK(entries == (decrypt == 0 ? 2u : 1u));
  std::ifstream after_stream(source, std::ios::binary);
  FUZZ_CHECK(std::string(std::istreambuf_iterator<char>(after_stream), {}) == before);
}

}  // namespace
}  // namespace tolvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tolvane::fuzz;
  TakeMessages();
  Input input(data, size);
  const std::uint8_t options = input.Byte();
  const std::vector<std::uint8_t> rest = input.Rest();
  if (options & 8) {
    Input units(rest.data(), rest.size());
    Text(units.RestAsText(), options);
  } else {
    Text(std::string(rest.begin(), rest.end()), options);
  }
  File(rest, options);
  return 0;
}
