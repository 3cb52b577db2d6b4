// listsFromDatabase against its floor (RawReads.h): the same titles read
// with one statement into one buffer.

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
    const Array names = reader->listsFromDatabase();
    const bench::ListTitles floor = bench::floorListTitles(device.clearBundle());
    bool same = names.size() == static_cast<std::size_t>(lists) && floor.size() == names.size();
    for (std::size_t i = 0; same && i < names.size(); ++i) same = names[i].asString() == floor[i];
    if (!same) {
        state.SkipWithError("the reader and its floor did not read the same titles");
        return;
    }
    bench::pairedLoop(
        state, [&] { benchmark::DoNotOptimize(reader->listsFromDatabase()); },
        [&] { benchmark::DoNotOptimize(bench::floorListTitles(device.clearBundle())); }, bench::PairClock::ThreadCpu);
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
