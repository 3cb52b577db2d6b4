// themeFromSettings against its floor (RawReads.h): the one key read in
// place, for Clear's binary and XML preferences.

#include <string>

#include "BenchDevice.h"
#include "PairedTiming.h"
#include "RawReads.h"
#include "VLDynamicReader.h"

namespace {

void BM_ThemeFromSettings(benchmark::State& state, bench::PlistFormat format) {
    bench::BenchDevice device(1, format);
    auto reader = VLDynamicReader::initWithPath(device.clearBundle());
    // Graphite's tint, not the default palette: the file was really read.
    const ThemeComponents theme = reader->themeFromSettings();
    if (theme.at("preferredTintColor").red != 0.396078 || bench::floorTheme(device.clearBundle()) != theme) {
        state.SkipWithError("the reader or its floor did not find the theme");
        return;
    }
    bench::pairedLoop(
        state, [&] { benchmark::DoNotOptimize(reader->themeFromSettings()); },
        [&] { benchmark::DoNotOptimize(bench::floorTheme(device.clearBundle())); });
}

BENCHMARK_CAPTURE(BM_ThemeFromSettings, binary, bench::PlistFormat::Binary)
    ->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(0.3);
BENCHMARK_CAPTURE(BM_ThemeFromSettings, xml, bench::PlistFormat::Xml)
    ->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(0.3);

[[maybe_unused]] const bool goals = [] {
    bench::registerGoal("BM_ThemeFromSettings/binary", 1.20);
    bench::registerGoal("BM_ThemeFromSettings/xml", 1.20);
    return true;
}();

}  // namespace
