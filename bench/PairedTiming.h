#pragma once

// Timing of a subject against its raw baseline in one benchmark loop. Each
// iteration runs both, alternating which goes first, so drifting machine load
// (other builds on the same cores) hits both sides alike. The benchmark's own
// time is the subject's (manual time); the counters carry the baseline's time
// and the ratio of the two medians, which a loaded machine disturbs far less
// than a mean.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

namespace bench {

// Registers the goal printed beside a paired benchmark's ratio in the summary
// at the end of the run. `name` is the benchmark's full name (with its args).
void registerGoal(const std::string& name, double goal);

inline double median(std::vector<double> values) {
    if (values.empty()) return 0;
    auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

template <class Subject, class Baseline>
void pairedLoop(benchmark::State& state, Subject&& subject, Baseline&& baseline) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> subjectSeconds, baselineSeconds;
    bool subjectFirst = true;
    for (auto _ : state) {
        double s, b;
        if (subjectFirst) {
            auto t0 = Clock::now();
            subject();
            auto t1 = Clock::now();
            baseline();
            auto t2 = Clock::now();
            s = std::chrono::duration<double>(t1 - t0).count();
            b = std::chrono::duration<double>(t2 - t1).count();
        } else {
            auto t0 = Clock::now();
            baseline();
            auto t1 = Clock::now();
            subject();
            auto t2 = Clock::now();
            b = std::chrono::duration<double>(t1 - t0).count();
            s = std::chrono::duration<double>(t2 - t1).count();
        }
        subjectFirst = !subjectFirst;
        subjectSeconds.push_back(s);
        baselineSeconds.push_back(b);
        state.SetIterationTime(s);
    }
    const double subjectMedian = median(subjectSeconds);
    const double baselineMedian = median(baselineSeconds);
    state.counters["subject_us"] = subjectMedian * 1e6;
    state.counters["raw_us"] = baselineMedian * 1e6;
    state.counters["ratio"] = baselineMedian > 0 ? subjectMedian / baselineMedian : 0;
}

}  // namespace bench
