// One core, side by side: each of our bulk kernels (the one chosen for this processor marked),
// libcrypto's BF_ecb_encrypt loop, Botan's encrypt_n and Crypto++'s ECB mode where installed,
// on the same 16 MiB and key, timed in one run. Prints MB/s and cycles per block from the
// processor's measured clock, key setup against the others', and the ratio of the chosen
// kernel to this processor's bound (see docs/performance.md for how the bound is counted).
//
//   build/bench/tolvane_one_core [MiB]

#include <openssl/blowfish.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#if TOLVANE_BENCH_BOTAN
#include <botan/block_cipher.h>
#endif
#if TOLVANE_BENCH_CRYPTOPP
#include <cryptopp/blowfish.h>
#include <cryptopp/modes.h>
#endif

#include "tolvane/core/bulk_kernel.h"
#include "tolvane/core/key_schedule.h"
#include "tolvane/core/processor.h"

namespace tolvane::bench {
namespace {

constexpr int kRuns = 7;

double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Best of kRuns, in thread CPU seconds: what one core spends, whatever else the machine runs.
double Best(const std::function<void()>& run) {
  double best = 1e30;
  for (int i = 0; i < kRuns; ++i) {
    const double start = ThreadSeconds();
    run();
    best = std::min(best, ThreadSeconds() - start);
  }
  return best;
}

// The core's clock while it works, in GHz: a chain of dependent one-cycle additions runs at
// one a cycle. The nominal or time-stamp frequency is not the clock under load. Zero where
// there is no such chain to time (other architectures).
double MeasuredClockGHz() {
#if defined(__x86_64__) || defined(__i386__)
  constexpr std::uint64_t kAdds = 200'000'000;
  return kAdds / Best([] {
           std::uint32_t x = 0;
           for (std::uint64_t i = 0; i < kAdds / 8; ++i) {
             asm volatile(
                 "add $1, %0\n\tadd $1, %0\n\tadd $1, %0\n\tadd $1, %0\n\t"
                 "add $1, %0\n\tadd $1, %0\n\tadd $1, %0\n\tadd $1, %0"
                 : "+r"(x));
           }
         }) /
         1e9;
#else
  return 0;
#endif
}

// The bound on one core: every block needs, per round, four S-box loads and one P-array
// load, four byte indices (one shift for the top byte, a shift and a zero-extension for the
// second, one zero-extension each for the other two: 5 operations), three to combine the
// S-box words and two exclusive-ors (the P entry and the other half); then two more loads
// and exclusive-ors for P(17) and P(18). That is 16 * 5 + 2 = 82 loads and 16 * 10 + 2 = 162
// arithmetic operations, spread at best over the core's load ports and arithmetic units.
constexpr double kLoadsPerBlock = 82;
constexpr double kAluOpsPerBlock = 162;

struct Ports {
  const char* core;
  int loads;
  int alus;
};

// What the optimisation manuals give for the designs we know; nothing for others.
Ports PortsOf(const Processor& cpu) {
  switch (DesignOf(cpu)) {
    case CoreDesign::kZen:
      return {"Zen/Zen 2", 2, 4};
    case CoreDesign::kZen3:
      return {"Zen 3/Zen 4", 3, 4};
    case CoreDesign::kZen5:
      return {"Zen 5", 4, 6};
    case CoreDesign::kSkylake:
      return {"Skylake to Ice Lake", 2, 4};
    case CoreDesign::kGoldenCove:
      return {"Golden Cove or later", 3, 5};
    case CoreDesign::kUnknown:
      break;
  }
  return {nullptr, 0, 0};
}

// The name the system gives the first processor ("model name"), or "unknown".
std::string ProcessorName() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    const std::size_t colon = line.find(':');
    if (line.rfind("model name", 0) == 0 && colon != std::string::npos) {
      return line.substr(line.find_first_not_of(' ', colon + 1));
    }
  }
  return "unknown";
}

std::vector<std::uint8_t> RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
  return bytes;
}

struct Row {
  std::string name;
  double encrypt_seconds;
  double decrypt_seconds;
};

void PrintRow(const Row& row, std::size_t bytes, double ghz, double chosen_seconds) {
  const double blocks = static_cast<double>(bytes) / 8;
  const auto mbps = [&](double s) { return static_cast<double>(bytes) / s / 1e6; };
  const auto cycles = [&](double s) { return s / blocks * ghz * 1e9; };
  std::printf("%-28s %9.0f %9.0f", row.name.c_str(), mbps(row.encrypt_seconds),
              mbps(row.decrypt_seconds));
  if (ghz > 0) {
    std::printf(" %9.1f %9.1f", cycles(row.encrypt_seconds), cycles(row.decrypt_seconds));
  }
  std::printf(" %8.2fx\n", row.encrypt_seconds / chosen_seconds);
}

int Run(std::size_t mib) {
  const std::size_t bytes = mib * 1024 * 1024;
  const std::size_t blocks = bytes / 8;
  const std::vector<std::uint8_t> key = RandomBytes(16, 1);
  const std::vector<std::uint8_t> plain = RandomBytes(bytes, 2);
  std::vector<std::uint8_t> out(bytes);
  std::vector<std::uint8_t> expected(bytes);
  const KeySchedule schedule(key);
  schedule.EncryptBlocks(plain.data(), expected.data(), blocks);
  const BulkKernel& chosen = ChosenBulkKernel();

  const Processor cpu = ThisProcessor();
  const double ghz = MeasuredClockGHz();
  std::printf("Processor: %s (family 0x%X, model 0x%X)\n", ProcessorName().c_str(), cpu.family,
              cpu.model);
  if (ghz > 0) std::printf("Measured clock: %.2f GHz\n", ghz);
  std::printf("Chosen kernel: %s\n\n", chosen.name);

  int mismatches = 0;
  const auto check = [&](const std::string& name) {
    if (out != expected) {
      std::printf("%s: bytes differ from ours\n", name.c_str());
      ++mismatches;
    }
  };
  std::vector<Row> rows;
  double chosen_seconds = 0;
  for (const BulkKernel& kernel : BulkKernels()) {
    Row row{std::string("tolvane, ") + kernel.name + (&kernel == &chosen ? " (chosen)" : ""), 0, 0};
    row.encrypt_seconds =
        Best([&] { schedule.EncryptBlocks(kernel, plain.data(), out.data(), blocks); });
    check(row.name);
    row.decrypt_seconds =
        Best([&] { schedule.DecryptBlocks(kernel, expected.data(), out.data(), blocks); });
    if (out != plain) ++mismatches;
    if (&kernel == &chosen) chosen_seconds = row.encrypt_seconds;
    rows.push_back(row);
  }

  BF_KEY reference;
  BF_set_key(&reference, static_cast<int>(key.size()), key.data());
  const auto openssl = [&](const std::vector<std::uint8_t>& from, int direction) {
    for (std::size_t i = 0; i < bytes; i += 8) {
      BF_ecb_encrypt(from.data() + i, out.data() + i, &reference, direction);
    }
  };
  Row libcrypto{"libcrypto BF_ecb_encrypt", Best([&] { openssl(plain, BF_ENCRYPT); }), 0};
  check(libcrypto.name);
  libcrypto.decrypt_seconds = Best([&] { openssl(expected, BF_DECRYPT); });
  rows.push_back(libcrypto);

#if TOLVANE_BENCH_BOTAN
  const auto botan = Botan::BlockCipher::create_or_throw("Blowfish");
  botan->set_key(key.data(), key.size());
  Row botan_row{"Botan encrypt_n",
                Best([&] { botan->encrypt_n(plain.data(), out.data(), blocks); }), 0};
  check(botan_row.name);
  botan_row.decrypt_seconds = Best([&] { botan->decrypt_n(expected.data(), out.data(), blocks); });
  rows.push_back(botan_row);
#endif
#if TOLVANE_BENCH_CRYPTOPP
  CryptoPP::ECB_Mode<CryptoPP::Blowfish>::Encryption cryptopp_encrypt(key.data(), key.size());
  CryptoPP::ECB_Mode<CryptoPP::Blowfish>::Decryption cryptopp_decrypt(key.data(), key.size());
  Row cryptopp_row{"Crypto++ ECB_Mode",
                   Best([&] { cryptopp_encrypt.ProcessData(out.data(), plain.data(), bytes); }), 0};
  check(cryptopp_row.name);
  cryptopp_row.decrypt_seconds =
      Best([&] { cryptopp_decrypt.ProcessData(out.data(), expected.data(), bytes); });
  rows.push_back(cryptopp_row);
#endif

  std::printf("%zu MiB on one core, best of %d (thread CPU time)\n", mib, kRuns);
  std::printf("%-28s %9s %9s", "", "enc MB/s", "dec MB/s");
  if (ghz > 0) std::printf(" %9s %9s", "enc cyc/b", "dec cyc/b");
  std::printf(" %9s\n", "time/ours");
  for (const Row& row : rows) PrintRow(row, bytes, ghz, chosen_seconds);

  // Key setup: 2000 schedules of the 16-byte key, best of kRuns.
  constexpr int kKeys = 2000;
  const double ours = Best([&] {
    for (int i = 0; i < kKeys; ++i) KeySchedule k(key);
  });
  BF_KEY scratch;
  const double theirs = Best([&] {
    for (int i = 0; i < kKeys; ++i) BF_set_key(&scratch, static_cast<int>(key.size()), key.data());
  });
  std::printf("\nKey setup: %.2f us, libcrypto BF_set_key %.2f us (ours %.2fx as fast)\n",
              ours / kKeys * 1e6, theirs / kKeys * 1e6, theirs / ours);

  const Ports ports = PortsOf(cpu);
  if (ports.core != nullptr && ghz > 0) {
    const double bound = std::max(kLoadsPerBlock / ports.loads, kAluOpsPerBlock / ports.alus);
    const double chosen_cycles = chosen_seconds / static_cast<double>(blocks) * ghz * 1e9;
    std::printf(
        "Bound (%s: %d load ports, %d arithmetic units): max(%.0f loads / %d, %.0f operations "
        "/ %d) = %.1f cycles a block; chosen kernel %.1f, %.2fx the bound\n",
        ports.core, ports.loads, ports.alus, kLoadsPerBlock, ports.loads, kAluOpsPerBlock,
        ports.alus, bound, chosen_cycles, chosen_cycles / bound);
  } else {
    std::printf("Bound: no port figures for this processor\n");
  }
  return mismatches == 0 ? 0 : 1;
}

}  // namespace
}  // namespace tolvane::bench

int main(int argc, char** argv) {
  const long mib = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 16;
  if (mib < 1 || mib > 1024) {
    std::fprintf(stderr, "usage: tolvane_one_core [MiB, 1 to 1024]\n");
    return 2;
  }
  return tolvane::bench::Run(static_cast<std::size_t>(mib));
}
