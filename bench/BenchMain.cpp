// velmora-bench: Google Benchmark's usual console output, followed by one
// table of every measured ratio (subject time / its floor's time) with its
// spread, its goal, and the machine's load while it ran.
//
// The whole set of benchmarks runs several times over (--rounds=N, default
// five), so each benchmark's rounds are spread across the run and a burst of
// load from other work spoils at most one of them. Within a round subject and
// baseline alternate (PairedTiming.h) and the round's ratio is the ratio of
// the two medians; the table gives the median of the rounds' ratios and their
// range. Other options are Google Benchmark's own.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "PairedTiming.h"

namespace bench {

namespace {

constexpr int kDefaultRounds = 5;
constexpr int kFewestRounds = 3;

std::map<std::string, double>& goals() {
    static std::map<std::string, double> table;
    return table;
}

struct Limit {
    std::string name, counter;
    double limit;
};

std::vector<Limit>& limits() {
    static std::vector<Limit> table;
    return table;
}

// Whether `runName` is `key` or "key/…".
bool named(const std::string& runName, const std::string& key) {
    return runName.compare(0, key.size(), key) == 0 && (runName.size() == key.size() || runName[key.size()] == '/');
}

// The goal for a run named "KEY/…" or "KEY".
const double* goalFor(const std::string& runName) {
    for (const auto& [key, goal] : goals()) {
        if (named(runName, key)) return &goal;
    }
    return nullptr;
}

// The 1-minute load average now; negative when it cannot be read.
double loadNow() {
    double load[1];
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

// A benchmark's name without the run settings Google Benchmark appends
// ("/min_time:0.300", "/manual_time", "/real_time").
std::string shortName(const benchmark::BenchmarkReporter::Run& run) {
    const auto& name = run.run_name;
    std::string out = name.function_name;
    if (!name.args.empty()) out += "/" + name.args;
    if (!name.threads.empty()) out += "/" + name.threads;
    return out;
}

struct Ratio {
    std::string name;  // full name, for the goal
    std::vector<double> rounds, subjectMicros, rawMicros;
};

struct Checked {
    std::string counter;
    double limit;
    std::vector<double> rounds;
};

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        sampleLoad();
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
            for (const Limit& limit : limits()) {
                const auto value = run.counters.find(limit.counter);
                if (!named(run.benchmark_name(), limit.name) || value == run.counters.end()) continue;
                auto [it, added] = checked.try_emplace(shortName(run) + " " + limit.counter);
                if (added) checkedOrder.push_back(it->first);
                it->second.counter = limit.counter;
                it->second.limit = limit.limit;
                it->second.rounds.push_back(value->second.value);
            }
            const auto ratio = run.counters.find("ratio");
            if (ratio == run.counters.end()) continue;
            auto [it, added] = ratios.try_emplace(shortName(run));
            if (added) order.push_back(it->first);
            Ratio& row = it->second;
            row.name = run.benchmark_name();
            row.rounds.push_back(ratio->second.value);
            row.subjectMicros.push_back(run.counters.at("subject_us").value);
            row.rawMicros.push_back(run.counters.at("raw_us").value);
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void sampleLoad() {
        const double load = loadNow();
        if (load < 0) return;
        minLoad = std::min(minLoad, load);
        maxLoad = std::max(maxLoad, load);
    }

    std::map<std::string, Ratio> ratios;
    std::vector<std::string> order;  // first seen first
    std::map<std::string, Checked> checked;
    std::vector<std::string> checkedOrder;
    double minLoad = 1e9, maxLoad = -1;
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

void printSummary(const SummaryReporter& reporter) {
    std::printf("\nRatios against floors: median of the rounds (each round: the ratio of the medians of\n"
                "alternated subject and floor runs), the rounds' range as spread\n");
    std::printf("machine: nproc=%u, cpu=%s; load average (1 min) during the run: ", std::thread::hardware_concurrency(),
                cpuModel().c_str());
    if (reporter.maxLoad < 0)
        std::printf("unknown\n");
    else
        std::printf("%.2f to %.2f\n", reporter.minLoad, reporter.maxLoad);
    std::printf("%-34s %7s %15s %7s %6s %-7s %12s %12s\n", "benchmark", "ratio", "spread", "rounds", "goal", "",
                "subject(us)", "floor(us)");
    for (const std::string& key : reporter.order) {
        const Ratio& row = reporter.ratios.at(key);
        const double ratio = median(row.rounds);
        const auto [lo, hi] = std::minmax_element(row.rounds.begin(), row.rounds.end());
        char spread[32], goalText[16] = "-";
        std::snprintf(spread, sizeof spread, "%.3f-%.3f", *lo, *hi);
        const char* verdict = "";
        if (const double* goal = goalFor(row.name)) {
            std::snprintf(goalText, sizeof goalText, "%.2f", *goal);
            verdict = row.rounds.size() < kFewestRounds ? "(few)" : ratio <= *goal ? "met" : "MISSED";
        }
        std::printf("%-34s %7.3f %15s %7zu %6s %-7s %12.2f %12.2f\n", key.c_str(), ratio, spread, row.rounds.size(),
                    goalText, verdict, median(row.subjectMicros), median(row.rawMicros));
    }
    if (reporter.checkedOrder.empty()) return;
    std::printf("\nOther figures against their limits (median of the rounds, range as spread)\n");
    std::printf("%-44s %10s %21s %7s %10s %s\n", "benchmark and figure", "value", "spread", "rounds", "limit", "");
    for (const std::string& key : reporter.checkedOrder) {
        const Checked& row = reporter.checked.at(key);
        const double value = median(row.rounds);
        const auto [lo, hi] = std::minmax_element(row.rounds.begin(), row.rounds.end());
        char spread[48];
        std::snprintf(spread, sizeof spread, "%.2f-%.2f", *lo, *hi);
        const char* verdict = row.rounds.size() < kFewestRounds ? "(few)" : value <= row.limit ? "met" : "MISSED";
        std::printf("%-44s %10.2f %21s %7zu %10.2f %s\n", key.c_str(), value, spread, row.rounds.size(), row.limit,
                    verdict);
    }
}

// Takes "--rounds=N" out of the arguments; the rest are Google Benchmark's.
int takeRounds(int& argc, char** argv) {
    int rounds = kDefaultRounds;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--rounds=", 9) == 0)
            rounds = std::max(1, std::atoi(argv[i] + 9));
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    return rounds;
}

}  // namespace

void registerGoal(const std::string& name, double goal) { goals()[name] = goal; }

void registerLimit(const std::string& name, const std::string& counter, double limit) {
    limits().push_back({name, counter, limit});
}

}  // namespace bench

int main(int argc, char** argv) {
    const int rounds = bench::takeRounds(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    bench::SummaryReporter reporter;
    reporter.sampleLoad();
    // Round after round of every benchmark, so each benchmark's rounds are
    // spread over the whole run and a burst of load spoils at most one.
    for (int round = 0; round < rounds; ++round) benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.sampleLoad();
    benchmark::Shutdown();
    bench::printSummary(reporter);
    // Missed goals are reported, not failed: timings on a shared machine are
    // for people to read, not for CI to gate on.
    return 0;
}
