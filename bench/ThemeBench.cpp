// themeFromSettings against a raw libplist read of the same preferences file
// and key, for Clear's binary and XML preferences.

#include <string>
#include <vector>

#include "BenchDevice.h"
#include "PairedTiming.h"
#include "RawReads.h"
#include "VLDynamicReader.h"

namespace {

void BM_ThemeFromSettings(benchmark::State& state, bench::PlistFormat format) {
    bench::BenchDevice device(1, format);
    auto reader = VLDynamicReader::initWithPath(device.clearBundle());
    // Graphite's tint, not the default palette: the file was really read.
    if (bench::rawPlistString(device.preferencesPath(), "ThemeIdentifier") != "THEME_GRAPHITE_ID" ||
        reader->themeFromSettings().at("preferredTintColor").red != 0.396078) {
        state.SkipWithError("the reader or the raw read did not find the theme");
        return;
    }
    bench::pairedLoop(
        state, [&] { benchmark::DoNotOptimize(reader->themeFromSettings()); },
        [&] { benchmark::DoNotOptimize(bench::rawPlistString(device.preferencesPath(), "ThemeIdentifier")); });
}

BENCHMARK_CAPTURE(BM_ThemeFromSettings, binary, bench::PlistFormat::Binary)
    ->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(0.3);
BENCHMARK_CAPTURE(BM_ThemeFromSettings, xml, bench::PlistFormat::Xml)
    ->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(0.3);

[[maybe_unused]] const bool goals = [] {
    bench::registerGoal("BM_ThemeFromSettings/binary", 1.10);
    bench::registerGoal("BM_ThemeFromSettings/xml", 1.10);
    return true;
}();

}  // namespace
