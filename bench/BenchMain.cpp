// velmora-bench: Google Benchmark's usual console output, followed by a
// summary of every measured ratio (subject time / raw baseline time, medians
// of interleaved pairs) with its goal, and the machine it ran on.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "PairedTiming.h"

namespace bench {

namespace {

std::map<std::string, double>& goals() {
    static std::map<std::string, double> table;
    return table;
}

struct RatioRow {
    std::string name;
    double subjectMicros, rawMicros, ratio;
};

// The goal for a run named "KEY/…" or "KEY".
const double* goalFor(const std::string& runName) {
    for (const auto& [key, goal] : goals()) {
        if (runName.compare(0, key.size(), key) == 0 && (runName.size() == key.size() || runName[key.size()] == '/'))
            return &goal;
    }
    return nullptr;
}

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
            auto ratio = run.counters.find("ratio");
            if (ratio == run.counters.end()) continue;
            rows.push_back({run.benchmark_name(), run.counters.at("subject_us").value,
                            run.counters.at("raw_us").value, ratio->second.value});
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::vector<RatioRow> rows;
};

std::string cpuModel() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("model name", 0) == 0) {
            auto colon = line.find(':');
            if (colon != std::string::npos) return line.substr(line.find_first_not_of(" \t", colon + 1));
        }
    }
    return "unknown";
}

// Returns whether every ratio that has a goal met it.
bool printSummary(const std::vector<RatioRow>& rows) {
    std::printf("\nRatios against raw baselines (median of interleaved pairs)\n");
    std::printf("machine: nproc=%u, cpu=%s\n", std::thread::hardware_concurrency(), cpuModel().c_str());
    std::printf("%-58s %12s %12s %8s %6s  %s\n", "benchmark", "subject(us)", "raw(us)", "ratio", "goal", "");
    bool allMet = true;
    for (const RatioRow& row : rows) {
        const double* goal = goalFor(row.name);
        const char* verdict = "";
        char goalText[16] = "-";
        if (goal != nullptr) {
            std::snprintf(goalText, sizeof goalText, "%.2f", *goal);
            verdict = row.ratio <= *goal ? "met" : "MISSED";
            allMet = allMet && row.ratio <= *goal;
        }
        std::printf("%-58s %12.2f %12.2f %8.3f %6s  %s\n", row.name.c_str(), row.subjectMicros, row.rawMicros,
                    row.ratio, goalText, verdict);
    }
    return allMet;
}

}  // namespace

void registerGoal(const std::string& name, double goal) { goals()[name] = goal; }

}  // namespace bench

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    bench::SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    bench::printSummary(reporter.rows);
    // Missed goals are reported, not failed: timings on a shared machine are
    // for people to read, not for CI to gate on.
    return 0;
}
