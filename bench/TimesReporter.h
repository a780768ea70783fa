#pragma once
// A console reporter that also remembers each benchmark's time per iteration, so a benchmark
// program can print ratios between figures measured in the same run.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class TimesReporter : public benchmark::ConsoleReporter {
 public:
  TimesReporter() : ConsoleReporter(OO_Tabular) {}  // no colour codes in logs
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      std::string name = r.benchmark_name();
      name = name.substr(0, name.find('/'));
      times[name] = r.GetAdjustedRealTime();
      counters[name] = r.counters;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
  std::map<std::string, benchmark::UserCounters> counters;
};
