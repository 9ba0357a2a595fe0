#ifndef TOLVANE_BENCH_RATIO_REPORTER_H_
#define TOLVANE_BENCH_RATIO_REPORTER_H_

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tolvane::bench {

// The console report, followed by a table that sets each of our benchmarks against its
// reference: "x faster" is the reference's time divided by ours. With repetitions, the
// medians are compared. CPU time is compared unless a pair asks for real time (file work,
// where waiting for the disk counts): on a shared machine, CPU time is the fairer measure of
// computation.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  struct Pair {
    std::string ours;
    std::string reference;
    bool real_time = false;
  };

  explicit RatioReporter(std::vector<Pair> pairs) : pairs_(std::move(pairs)) {}

  void ReportRuns(const std::vector<Run>& runs) override;
  void Finalize() override;

 private:
  std::vector<Pair> pairs_;
  struct Times {
    double real = 0;  // per iteration, in nanoseconds
    double cpu = 0;
  };
  std::map<std::string, Times> times_;
};

}  // namespace tolvane::bench

#endif  // TOLVANE_BENCH_RATIO_REPORTER_H_
