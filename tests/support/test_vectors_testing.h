#ifndef TOLVANE_TESTS_SUPPORT_TEST_VECTORS_TESTING_H_
#define TOLVANE_TESTS_SUPPORT_TEST_VECTORS_TESTING_H_

#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace tolvane::testing {

// One published Blowfish vector: the plaintext block under `key` enciphers to `cipher`.
struct BlowfishVector {
  std::vector<std::uint8_t> key;
  std::vector<std::uint8_t> plain;
  std::vector<std::uint8_t> cipher;
};

inline std::vector<std::uint8_t> FromHex(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

// Reads both sets of the published vectors file: the 8-byte keys of [ecb], and the
// variable key lengths of [set_key] (the first N bytes of one long key).
inline std::vector<BlowfishVector> LoadPublishedVectors() {
  const std::string path = std::string(TOLVANE_SOURCE_DIR) + "/tests/data/blowfish-published.txt";
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot open " + path);
  const std::vector<std::uint8_t> long_key =
      FromHex("F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677");
  const std::vector<std::uint8_t> set_key_plain = FromHex("FEDCBA9876543210");
  std::vector<BlowfishVector> vectors;
  std::string line;
  std::string section;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      section = line;
      continue;
    }
    std::istringstream fields(line);
    if (section == "[ecb]") {
      std::string key, plain, cipher;
      fields >> key >> plain >> cipher;
      vectors.push_back({FromHex(key), FromHex(plain), FromHex(cipher)});
    } else if (section == "[set_key]") {
      std::size_t n = 0;
      std::string cipher;
      fields >> n >> cipher;
      vectors.push_back({std::vector<std::uint8_t>(long_key.begin(), long_key.begin() + n),
                         set_key_plain, FromHex(cipher)});
    }
  }
  return vectors;
}

}  // namespace tolvane::testing

#endif  // TOLVANE_TESTS_SUPPORT_TEST_VECTORS_TESTING_H_
