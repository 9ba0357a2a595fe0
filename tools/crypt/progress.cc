#include "tools/crypt/progress.h"

#include <cstdio>
#include <iterator>

#include "tools/crypt/terminal.h"

namespace tolvane::crypt {
namespace {

constexpr std::chrono::seconds kQuietTime{1};

// "512.0 MiB": binary units, one decimal.
void FormatSize(char* out, std::size_t size, double bytes) {
  static constexpr const char* kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  std::size_t unit = 0;
  while (bytes >= 1024 && unit + 1 < std::size(kUnits)) {
    bytes /= 1024;
    ++unit;
  }
  std::snprintf(out, size, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
}

}  // namespace

ProgressDisplay::ProgressDisplay(Mode mode, std::FILE* out)
    : mode_(mode == Mode::kAuto && !StderrIsTerminal() ? Mode::kSilent : mode),
      out_(out),
      start_(std::chrono::steady_clock::now()) {}

// A failure ended the work midway: leave the line as it stands and start a fresh one.
ProgressDisplay::~ProgressDisplay() { EndLine(); }

void ProgressDisplay::EndLine() {
  if (line_open_) std::fputc('\n', out_);
  line_open_ = false;
}

void ProgressDisplay::Update(std::uint64_t done, std::uint64_t total) {
  if (mode_ == Mode::kSilent) return;
  const auto elapsed = std::chrono::steady_clock::now() - start_;
  if (!shown_ && mode_ == Mode::kAuto && elapsed < kQuietTime) return;
  shown_ = true;
  const double seconds = std::chrono::duration<double>(elapsed).count();
  char done_text[32], total_text[32], rate_text[32];
  FormatSize(done_text, sizeof done_text, static_cast<double>(done));
  FormatSize(total_text, sizeof total_text, static_cast<double>(total));
  FormatSize(rate_text, sizeof rate_text, seconds > 0 ? static_cast<double>(done) / seconds : 0);
  const unsigned percent = total == 0 ? 100 : static_cast<unsigned>(done * 100 / total);
  // Trailing spaces cover what a longer earlier line left.
  std::fprintf(out_, "\r%s of %s (%u%%), %s/s    ", done_text, total_text, percent, rate_text);
  line_open_ = done < total;
  if (!line_open_) std::fputc('\n', out_);
  std::fflush(out_);
}

}  // namespace tolvane::crypt
