#include "bench/ratio_reporter.h"

#include <cstdio>
#include <ostream>

namespace tolvane::bench {
namespace {

double ToNanoseconds(double value, benchmark::TimeUnit unit) {
  switch (unit) {
    case benchmark::kSecond:
      return value * 1e9;
    case benchmark::kMillisecond:
      return value * 1e6;
    case benchmark::kMicrosecond:
      return value * 1e3;
    case benchmark::kNanosecond:
      break;
  }
  return value;
}

std::string FormatTime(double ns) {
  char text[32];
  if (ns >= 1e6) {
    std::snprintf(text, sizeof text, "%.2f ms", ns / 1e6);
  } else if (ns >= 1e3) {
    std::snprintf(text, sizeof text, "%.2f us", ns / 1e3);
  } else {
    std::snprintf(text, sizeof text, "%.1f ns", ns);
  }
  return text;
}

}  // namespace

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
  ConsoleReporter::ReportRuns(runs);
  for (const Run& run : runs) {
    if (run.error_occurred) continue;
    // A single run stands for itself; with repetitions only the median counts.
    const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
    const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
    if (!single && !median) continue;
    // The registered name, without suffixes such as "/real_time".
    times_[run.run_name.function_name] = {ToNanoseconds(run.GetAdjustedRealTime(), run.time_unit),
                                          ToNanoseconds(run.GetAdjustedCPUTime(), run.time_unit)};
  }
}

void RatioReporter::Finalize() {
  ConsoleReporter::Finalize();
  std::ostream& out = GetOutputStream();
  bool header = false;
  for (const Pair& pair : pairs_) {
    const auto ours = times_.find(pair.ours);
    const auto reference = times_.find(pair.reference);
    if (ours == times_.end() || reference == times_.end()) continue;
    const double our_time = pair.real_time ? ours->second.real : ours->second.cpu;
    const double reference_time = pair.real_time ? reference->second.real : reference->second.cpu;
    if (our_time <= 0) continue;
    if (!header) {
      out << "\nRatio to reference (reference time / our time; above 1 means we are faster)\n";
      header = true;
    }
    char line[256];
    std::snprintf(line, sizeof line, "%-26s %11s   vs %-30s %11s  %6.2fx  (%s)\n",
                  pair.ours.c_str(), FormatTime(our_time).c_str(), pair.reference.c_str(),
                  FormatTime(reference_time).c_str(), reference_time / our_time,
                  pair.real_time ? "real time" : "CPU time");
    out << line;
  }
}

}  // namespace tolvane::bench
