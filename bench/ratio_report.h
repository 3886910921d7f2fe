#pragma once
// Runs the registered benchmarks and then prints, for each pair (ours, peer), the ratio of
// the peer's time to ours: above 1 means ours is faster.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) times_[r.benchmark_name()] = r.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
  double time(const std::string& name) const {
    const auto it = times_.find(name);
    return it == times_.end() ? 0 : it->second;
  }

 private:
  std::map<std::string, double> times_;
};

inline int runWithRatios(int argc, char** argv, const std::vector<std::pair<std::string, std::string>>& pairs) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n%-44s %-44s %s\n", "ours", "peer", "peer time / our time");
  for (const auto& [ours, peer] : pairs) {
    const double a = reporter.time(ours), b = reporter.time(peer);
    if (a > 0 && b > 0) std::printf("%-44s %-44s %.2f\n", ours.c_str(), peer.c_str(), b / a);
  }
  benchmark::Shutdown();
  return 0;
}
