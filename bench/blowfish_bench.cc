// Our Blowfish set against libcrypto's, and Botan's when it is installed, on the same data
// and key, in one run.
//
//   build/bench/tolvane_bench --benchmark_repetitions=5 --benchmark_enable_random_interleaving
//
// The byte-array benchmarks run each size on one thread ("1thread") and on every core
// ("allcores", SetThreads(0)), and compare real time. Each benchmark of ours has a reference
// named "ref/..."; the table printed at the end gives each of ours as a ratio to its
// references, and all cores as a ratio to one thread. The file benchmarks write two 256 MiB files
// and their results into the folder named by TOLVANE_BENCH_DIR (default: the system's temporary
// folder) and remove them at the end; --benchmark_filter='-File' leaves them out.

#include <benchmark/benchmark.h>
#include <openssl/blowfish.h>
#include <openssl/crypto.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

#if TOLVANE_BENCH_BOTAN
#include <botan/block_cipher.h>
#endif

#include "bench/ratio_reporter.h"
#include "tolvane/cipher/blowfish.h"
#include "tolvane/cipher/byte_array.h"

namespace tolvane::bench {
namespace {

constexpr std::size_t kKiB = 1024;
constexpr std::size_t kMiB = 1024 * kKiB;

std::vector<std::uint8_t> RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
  return bytes;
}

const std::vector<std::uint8_t>& Key() {
  static const std::vector<std::uint8_t> key = RandomBytes(16, 1);
  return key;
}

Blowfish OurCipher() {
  Blowfish bf;
  bf.sInitBF(ByteArray(Key()));
  return bf;
}

BF_KEY ReferenceKey() {
  BF_KEY key;
  BF_set_key(&key, static_cast<int>(Key().size()), Key().data());
  return key;
}

void ReferenceEcb(const std::uint8_t* in, std::uint8_t* out, std::size_t size, const BF_KEY& key,
                  int direction) {
  for (std::size_t i = 0; i < size; i += 8) BF_ecb_encrypt(in + i, out + i, &key, direction);
}

void SetBytes(benchmark::State& state, std::size_t size) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void OurArray(benchmark::State& state, std::size_t size, bool decrypt, unsigned threads) {
  Blowfish bf = OurCipher();
  bf.SetThreads(threads);
  const ByteArray in(RandomBytes(size, 2));
  ByteArray out(size);
  for (auto _ : state) {
    if (decrypt) {
      bf.sDecrypt(in, out);
    } else {
      bf.sEncrypt(in, out);
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  SetBytes(state, size);
}

void ReferenceArray(benchmark::State& state, std::size_t size, bool decrypt) {
  const BF_KEY key = ReferenceKey();
  const std::vector<std::uint8_t> in = RandomBytes(size, 2);
  std::vector<std::uint8_t> out(size);
  for (auto _ : state) {
    ReferenceEcb(in.data(), out.data(), size, key, decrypt ? BF_DECRYPT : BF_ENCRYPT);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  SetBytes(state, size);
}

#if TOLVANE_BENCH_BOTAN
std::unique_ptr<Botan::BlockCipher> BotanCipher() {
  std::unique_ptr<Botan::BlockCipher> cipher = Botan::BlockCipher::create_or_throw("Blowfish");
  cipher->set_key(Key().data(), Key().size());
  return cipher;
}

// Botan's bulk entry point, which interleaves blocks as ours does.
void BotanArray(benchmark::State& state, std::size_t size, bool decrypt) {
  const std::unique_ptr<Botan::BlockCipher> cipher = BotanCipher();
  const std::vector<std::uint8_t> in = RandomBytes(size, 2);
  std::vector<std::uint8_t> out(size);
  for (auto _ : state) {
    if (decrypt) {
      cipher->decrypt_n(in.data(), out.data(), size / 8);
    } else {
      cipher->encrypt_n(in.data(), out.data(), size / 8);
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  SetBytes(state, size);
}
#endif

void OurInit(benchmark::State& state) {
  Blowfish bf;
  const ByteArray key(Key());
  for (auto _ : state) {
    bf.sInitBF(key);
    benchmark::ClobberMemory();
  }
}

void ReferenceInit(benchmark::State& state) {
  BF_KEY key;
  for (auto _ : state) {
    BF_set_key(&key, static_cast<int>(Key().size()), Key().data());
    benchmark::DoNotOptimize(&key);
    benchmark::ClobberMemory();
  }
}

void OurStringEncrypt(benchmark::State& state) {
  Blowfish bf = OurCipher();
  std::mt19937 rng(4);
  std::u16string text(4 * kKiB, u' ');
  for (auto& c : text) c = static_cast<char16_t>(u' ' + rng() % 95);  // printable ASCII
  std::u16string cipher;
  for (auto _ : state) {
    bf.sStringEncrypt(text, cipher);
    benchmark::DoNotOptimize(cipher.data());
  }
  SetBytes(state, text.size());
}

void OurHexCode(benchmark::State& state) {
  Blowfish bf;
  std::mt19937 rng(5);
  std::u16string text(8192, u' ');
  for (auto& c : text) c = static_cast<char16_t>(rng());
  for (auto _ : state) {
    std::u16string hex = bf.fStringToHexCode(text);
    benchmark::DoNotOptimize(hex.data());
  }
  SetBytes(state, 2 * text.size());
}

// libcrypto's hexadecimal writer on the same 16384 bytes, without separators.
void ReferenceHexCode(benchmark::State& state) {
  const std::vector<std::uint8_t> bytes = RandomBytes(2 * 8192, 5);
  std::vector<char> hex(2 * bytes.size() + 1);
  for (auto _ : state) {
    std::size_t length = 0;
    OPENSSL_buf2hexstr_ex(hex.data(), hex.size(), &length, bytes.data(), bytes.size(), '\0');
    benchmark::DoNotOptimize(hex.data());
  }
  SetBytes(state, bytes.size());
}

// The files of the file benchmarks: a random plaintext, its encryption, and the targets.
struct BenchFiles {
  static constexpr std::size_t kPlainBytes = 256 * kMiB;
  std::filesystem::path folder;
  std::filesystem::path plain;
  std::filesystem::path encrypted;
  std::filesystem::path target;

  BenchFiles() {
    const char* dir = std::getenv("TOLVANE_BENCH_DIR");
    folder = dir != nullptr ? std::filesystem::path(dir) : std::filesystem::temp_directory_path();
    const std::string tag = "tolvane-bench-" + std::to_string(::getpid());
    plain = folder / (tag + ".plain");
    encrypted = folder / (tag + ".enc");
    target = folder / (tag + ".out");
    const std::vector<std::uint8_t> bytes = RandomBytes(kPlainBytes, 6);
    std::ofstream(plain, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    OurCipher().sFileEncrypt(plain, encrypted);
  }
  ~BenchFiles() {
    std::error_code ignored;
    for (const auto& p : {plain, encrypted, target}) std::filesystem::remove(p, ignored);
  }
};

// Made on first use, so that a run without the file benchmarks writes no files.
BenchFiles& Files() {
  static BenchFiles files;
  return files;
}

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> bytes(std::filesystem::file_size(path));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

void WriteFile(const std::filesystem::path& path, const std::uint8_t* header,
               std::size_t header_size, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(header), static_cast<std::streamsize>(header_size));
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// Each file run starts as the first would: no target to replace, and no earlier run's writes
// still waiting in the page cache, which a later fsync (ours) would otherwise pay for.
void CleanSlate(benchmark::State& state, const BenchFiles& files) {
  state.PauseTiming();
  std::error_code ignored;
  std::filesystem::remove(files.target, ignored);
  ::sync();
  state.ResumeTiming();
}

void OurFile(benchmark::State& state, bool decrypt, unsigned threads) {
  BenchFiles& files = Files();
  Blowfish bf = OurCipher();
  bf.SetThreads(threads);
  for (auto _ : state) {
    CleanSlate(state, files);
    if (decrypt) {
      bf.sFileDecrypt(files.encrypted, files.target);
    } else {
      bf.sFileEncrypt(files.plain, files.target);
    }
  }
  SetBytes(state, BenchFiles::kPlainBytes);
}

// The same work with libcrypto: read the whole file, transform it, write the result.
void ReferenceFile(benchmark::State& state, bool decrypt) {
  BenchFiles& files = Files();
  const BF_KEY key = ReferenceKey();
  for (auto _ : state) {
    CleanSlate(state, files);
    if (decrypt) {
      std::vector<std::uint8_t> data = ReadFile(files.encrypted);
      std::uint32_t length = 0;
      for (int i = 3; i >= 0; --i) length = length << 8 | data[static_cast<std::size_t>(i)];
      ReferenceEcb(data.data() + 4, data.data() + 4, data.size() - 4, key, BF_DECRYPT);
      WriteFile(files.target, nullptr, 0, data.data() + 4, length);
    } else {
      std::vector<std::uint8_t> data = ReadFile(files.plain);
      const std::uint32_t length = static_cast<std::uint32_t>(data.size());
      data.resize((data.size() + 7) / 8 * 8);
      ReferenceEcb(data.data(), data.data(), data.size(), key, BF_ENCRYPT);
      const std::uint8_t header[4] = {
          static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
          static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24)};
      WriteFile(files.target, header, sizeof header, data.data(), data.size());
    }
  }
  SetBytes(state, BenchFiles::kPlainBytes);
}

// Refuses to measure anything unless both produce the same bytes.
bool SameResults() {
  const std::vector<std::uint8_t> plain = RandomBytes(64 * kKiB + 8, 3);
  Blowfish bf = OurCipher();
  const BF_KEY key = ReferenceKey();
  for (const bool decrypt : {false, true}) {
    ByteArray ours(plain.size());
    std::vector<std::uint8_t> reference(plain.size());
    if (decrypt) {
      bf.sDecrypt(ByteArray(plain), ours);
    } else {
      bf.sEncrypt(ByteArray(plain), ours);
    }
    ReferenceEcb(plain.data(), reference.data(), plain.size(), key,
                 decrypt ? BF_DECRYPT : BF_ENCRYPT);
    if (std::memcmp(ours.data(), reference.data(), plain.size()) != 0) return false;
    // And on every core, on an input large enough to be shared among them.
    const std::vector<std::uint8_t> large = RandomBytes(4 * kMiB + 8, 7);
    ByteArray one(large.size());
    ByteArray all(large.size());
    Blowfish threaded = bf;
    threaded.SetThreads(0);
    if (decrypt) {
      bf.sDecrypt(ByteArray(large), one);
      threaded.sDecrypt(ByteArray(large), all);
    } else {
      bf.sEncrypt(ByteArray(large), one);
      threaded.sEncrypt(ByteArray(large), all);
    }
    if (!(one == all)) return false;
#if TOLVANE_BENCH_BOTAN
    std::vector<std::uint8_t> botan(plain.size());
    if (decrypt) {
      BotanCipher()->decrypt_n(plain.data(), botan.data(), plain.size() / 8);
    } else {
      BotanCipher()->encrypt_n(plain.data(), botan.data(), plain.size() / 8);
    }
    if (botan != reference) return false;
#endif
  }
  return true;
}

struct Size {
  const char* label;
  std::size_t bytes;
  benchmark::TimeUnit unit;
};

std::vector<RatioReporter::Pair> RegisterAll() {
  std::vector<RatioReporter::Pair> pairs;
  auto add = [&](const std::string& ours, const std::string& reference, auto our_body,
                 auto reference_body, benchmark::TimeUnit unit, bool real_time = false) {
    auto* a = benchmark::RegisterBenchmark(ours.c_str(), our_body)->Unit(unit);
    auto* b = benchmark::RegisterBenchmark(reference.c_str(), reference_body)->Unit(unit);
    if (real_time) {
      a->UseRealTime();
      b->UseRealTime();
    }
    pairs.push_back({ours, reference, real_time});
  };
  // The byte arrays: every contender on its own, then the pairs to compare. Real time, since
  // the threads' work does not show in the calling thread's CPU time.
  auto one = [](benchmark::internal::Benchmark* b, benchmark::TimeUnit unit) {
    b->Unit(unit)->UseRealTime();
  };
  const Size sizes[] = {{"8B", 8, benchmark::kNanosecond},
                        {"4KiB", 4 * kKiB, benchmark::kMicrosecond},
                        {"64KiB", 64 * kKiB, benchmark::kMicrosecond},
                        {"16MiB", 16 * kMiB, benchmark::kMillisecond}};
  for (const bool decrypt : {false, true}) {
    for (const Size& s : sizes) {
      const std::size_t bytes = s.bytes;
      const std::string ours = std::string(decrypt ? "sDecrypt/" : "sEncrypt/");
      const std::string single = ours + "1thread/" + s.label;
      const std::string all = ours + "allcores/" + s.label;
      const std::string libcrypto =
          std::string(decrypt ? "ref/BF_ecb_decrypt/" : "ref/BF_ecb_encrypt/") + s.label;
      one(benchmark::RegisterBenchmark(
              single.c_str(), [=](benchmark::State& st) { OurArray(st, bytes, decrypt, 1); }),
          s.unit);
      one(benchmark::RegisterBenchmark(
              all.c_str(), [=](benchmark::State& st) { OurArray(st, bytes, decrypt, 0); }),
          s.unit);
      one(benchmark::RegisterBenchmark(
              libcrypto.c_str(), [=](benchmark::State& st) { ReferenceArray(st, bytes, decrypt); }),
          s.unit);
      pairs.push_back({all, single, true});
      pairs.push_back({single, libcrypto, true});
      pairs.push_back({all, libcrypto, true});
#if TOLVANE_BENCH_BOTAN
      const std::string botan =
          std::string(decrypt ? "ref/Botan_decrypt_n/" : "ref/Botan_encrypt_n/") + s.label;
      one(benchmark::RegisterBenchmark(
              botan.c_str(), [=](benchmark::State& st) { BotanArray(st, bytes, decrypt); }),
          s.unit);
      pairs.push_back({single, botan, true});
      pairs.push_back({all, botan, true});
#endif
    }
  }
  add("sInitBF", "ref/BF_set_key", OurInit, ReferenceInit, benchmark::kMicrosecond);
  one(benchmark::RegisterBenchmark("sStringEncrypt/4KiB", OurStringEncrypt),
      benchmark::kMicrosecond);
  pairs.push_back({"sStringEncrypt/4KiB", "ref/BF_ecb_encrypt/4KiB", true});
  add("fStringToHexCode/8192", "ref/OPENSSL_buf2hexstr_ex/16KiB", OurHexCode, ReferenceHexCode,
      benchmark::kMicrosecond);
  for (const bool decrypt : {false, true}) {
    const std::string method = decrypt ? "sFileDecrypt/" : "sFileEncrypt/";
    const std::string all = method + "allcores/256MiB";
    add(
        method + "1thread/256MiB",
        decrypt ? "ref/read+BF_ecb_decrypt+write/256MiB" : "ref/read+BF_ecb_encrypt+write/256MiB",
        [=](benchmark::State& st) { OurFile(st, decrypt, 1); },
        [=](benchmark::State& st) { ReferenceFile(st, decrypt); }, benchmark::kMillisecond, true);
    benchmark::RegisterBenchmark(all.c_str(),
                                 [=](benchmark::State& st) { OurFile(st, decrypt, 0); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    pairs.push_back({all, pairs.back().ours, true});
    pairs.push_back({all, pairs[pairs.size() - 2].reference, true});
  }
  return pairs;
}

}  // namespace
}  // namespace tolvane::bench

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (!tolvane::bench::SameResults()) {
    std::fprintf(stderr, "tolvane_bench: our cipher and libcrypto's disagree; not measuring\n");
    return 1;
  }
  tolvane::bench::RatioReporter reporter(tolvane::bench::RegisterAll());
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
