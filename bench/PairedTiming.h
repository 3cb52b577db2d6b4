#pragma once

// Timing of a subject against its raw baseline in one benchmark loop. Each
// iteration runs both, alternating which goes first, so drifting machine load
// (other builds on the same cores) hits both sides alike. The benchmark's own
// time is the subject's (manual time); the counters carry the baseline's time
// and the ratio of the two medians, which a loaded machine disturbs far less
// than a mean. One such loop is one round: velmora-bench runs several rounds
// of each benchmark and its closing table reports their median and range.
// Any benchmark that sets the counters "ratio", "subject_us" and "raw_us"
// (pairedLoop does) gets a row there; registerGoal adds its goal.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <time.h>

#include <chrono>
#include <string>
#include <vector>

namespace bench {

// Registers the goal printed beside a paired benchmark's ratio in the summary
// at the end of the run. `name` is the benchmark's full name (with its args).
void registerGoal(const std::string& name, double goal);

// Adds a row for a figure that is no ratio: counter `counter` of the
// benchmark `name` (full name, with its args), checked against an upper
// limit in the counter's own unit (e.g. a server's peak memory in MiB). The
// table gives the median over the rounds and their range, like a ratio.
void registerLimit(const std::string& name, const std::string& counter, double limit);

inline double median(std::vector<double> values) {
    if (values.empty()) return 0;
    auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// What a pair is timed with. Wall time for anything that waits on another
// thread or process (IPC). Thread CPU time for work done on the calling
// thread alone: on a loaded machine a side that waits for a core is not
// charged for the wait, which otherwise falls on the longer side more often
// than on the shorter one. Its clock costs a system call, so keep it for
// paths that take tens of microseconds or more.
enum class PairClock { Wall, ThreadCpu };

inline double secondsOn(PairClock clock) {
    if (clock == PairClock::Wall)
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

template <class Subject, class Baseline>
void pairedLoop(benchmark::State& state, Subject&& subject, Baseline&& baseline, PairClock clock = PairClock::Wall) {
    std::vector<double> subjectSeconds, baselineSeconds;
    bool subjectFirst = true;
    for (auto _ : state) {
        double s, b;
        if (subjectFirst) {
            const double t0 = secondsOn(clock);
            subject();
            const double t1 = secondsOn(clock);
            baseline();
            const double t2 = secondsOn(clock);
            s = t1 - t0;
            b = t2 - t1;
        } else {
            const double t0 = secondsOn(clock);
            baseline();
            const double t1 = secondsOn(clock);
            subject();
            const double t2 = secondsOn(clock);
            b = t1 - t0;
            s = t2 - t1;
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
