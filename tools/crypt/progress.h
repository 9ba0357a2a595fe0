#ifndef TOOLS_CRYPT_PROGRESS_H_
#define TOOLS_CRYPT_PROGRESS_H_

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace tolvane::crypt {

// A one-line progress display on standard error for the file subcommands: bytes done, total,
// share and rate, redrawn in place. Shown when standard error is a terminal and the work has
// taken more than a second, or always when forced; never when silenced.
class ProgressDisplay {
 public:
  enum class Mode { kAuto, kForced, kSilent };
  // Draws on `out`: standard error but in tests.
  explicit ProgressDisplay(Mode mode, std::FILE* out = stderr);
  ~ProgressDisplay();
  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;

  // For Blowfish::SetProgressCallback; ends the line when `done` reaches `total`.
  void Update(std::uint64_t done, std::uint64_t total);
  // Ends a line left open, so that a message can follow on a line of its own.
  void EndLine();

 private:
  Mode mode_;
  std::FILE* out_;
  bool shown_ = false;
  bool line_open_ = false;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace tolvane::crypt

#endif  // TOOLS_CRYPT_PROGRESS_H_
