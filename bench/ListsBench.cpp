// listsFromDatabase against the plainest read of the same titles: one
// read-only connection, one statement, each title copied into a vector.

#include <memory>
#include <string>
#include <vector>

#include "BenchDevice.h"
#include "PairedTiming.h"
#include "RawReads.h"
#include "VLDynamicReader.h"

namespace {

void BM_ListsFromDatabase(benchmark::State& state) {
    const int lists = static_cast<int>(state.range(0));
    bench::BenchDevice device(lists, bench::PlistFormat::Binary);
    auto reader = VLDynamicReader::initWithPath(device.clearBundle());
    if (reader->listsFromDatabase().size() != static_cast<std::size_t>(lists) ||
        bench::rawListTitles(device.databasePath()).size() != static_cast<std::size_t>(lists)) {
        state.SkipWithError("the reader or the raw loop did not see every list");
        return;
    }
    bench::pairedLoop(
        state, [&] { benchmark::DoNotOptimize(reader->listsFromDatabase()); },
        [&] { benchmark::DoNotOptimize(bench::rawListTitles(device.databasePath())); }, bench::PairClock::ThreadCpu);
    state.counters["lists"] = lists;
}

BENCHMARK(BM_ListsFromDatabase)->Arg(10)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMicrosecond)
    ->MinTime(0.3);

[[maybe_unused]] const bool goals = [] {
    bench::registerGoal("BM_ListsFromDatabase/1000", 1.05);
    bench::registerGoal("BM_ListsFromDatabase/10000", 1.05);
    return true;
}();

}  // namespace
