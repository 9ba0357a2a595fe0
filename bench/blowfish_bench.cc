// Our Blowfish set against libcrypto's on the same data and key, in one run.
//
//   build/bench/tolvane_bench --benchmark_repetitions=5 --benchmark_enable_random_interleaving
//
// Each benchmark of ours has a reference named "ref/..."; the table printed at the end gives
// each of ours as a ratio to its reference.

#include <benchmark/benchmark.h>
#include <openssl/blowfish.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

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

void OurArray(benchmark::State& state, std::size_t size, bool decrypt) {
  Blowfish bf = OurCipher();
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
                 auto reference_body, benchmark::TimeUnit unit) {
    benchmark::RegisterBenchmark(ours.c_str(), our_body)->Unit(unit);
    benchmark::RegisterBenchmark(reference.c_str(), reference_body)->Unit(unit);
    pairs.push_back({ours, reference});
  };
  const Size sizes[] = {{"8B", 8, benchmark::kNanosecond},
                        {"64KiB", 64 * kKiB, benchmark::kMicrosecond},
                        {"16MiB", 16 * kMiB, benchmark::kMillisecond}};
  for (const bool decrypt : {false, true}) {
    for (const Size& s : sizes) {
      const std::size_t bytes = s.bytes;
      add(
          std::string(decrypt ? "sDecrypt/" : "sEncrypt/") + s.label,
          std::string(decrypt ? "ref/BF_ecb_decrypt/" : "ref/BF_ecb_encrypt/") + s.label,
          [=](benchmark::State& st) { OurArray(st, bytes, decrypt); },
          [=](benchmark::State& st) { ReferenceArray(st, bytes, decrypt); }, s.unit);
    }
  }
  add("sInitBF", "ref/BF_set_key", OurInit, ReferenceInit, benchmark::kMicrosecond);
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
