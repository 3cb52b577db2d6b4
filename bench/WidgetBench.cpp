// The widget popping up: the host creates the widget, calls configure (Clear
// looked up, theme read) and load (form pushed and loaded: layout, list
// names, default list), then the user closes it. Against the sum of the raw
// reads that takes: Clear's preferences, its database, the widget settings
// file and the item layout.

#include <memory>
#include <string>

#include "BenchDevice.h"
#include "PWHost.h"
#include "PWWidgetItemListValue.h"
#include "PairedTiming.h"
#include "Platform.h"
#include "RawReads.h"
#include "SpringBoardServices.h"

namespace {

// One device and one SpringBoard for the whole process, as on a phone: the
// plug-in, loaded once, keeps the registry it found for every later run.
struct PopUpDevice {
    static constexpr int kLists = 1000;
    bench::BenchDevice device{kLists, bench::PlistFormat::Binary};
    std::unique_ptr<SpringBoardServices> services = [this] {
        springboard::setLogToStandardError(false);
        return SpringBoardServices::boot(device.root());
    }();
    static PopUpDevice& instance() {
        static PopUpDevice shared;
        return shared;
    }
};

void BM_WidgetPopUp(benchmark::State& state) {
    const int lists = PopUpDevice::kLists;
    const bench::BenchDevice& device = PopUpDevice::instance().device;
    const auto& services = PopUpDevice::instance().services;
    PWHost host;
    const std::string bundle = VELMORA_WIDGET_BUNDLE;
    const std::string layout = bundle + "/VLAddItem.plist";
    std::shared_ptr<PWWidgetItemListValue> list;
    if (services && host.loadBundle(bundle).ok() && host.openWidget().ok() && host.page())
        list = std::dynamic_pointer_cast<PWWidgetItemListValue>(host.page()->itemWithKey("list"));
    // Every list plus "Create List...".
    if (!list || list->listItemValues().size() != static_cast<std::size_t>(lists) + 1) {
        state.SkipWithError("the widget did not come up with every list");
        return;
    }
    host.closeWidget();
    bench::pairedLoop(
        state,
        [&] {
            host.openWidget();
            host.closeWidget();
            // The host's record of plug-in calls is a test aid; keep it from growing.
            host.calls()->clear();
        },
        [&] {
            benchmark::DoNotOptimize(bench::rawPlistString(device.preferencesPath(), "ThemeIdentifier"));
            benchmark::DoNotOptimize(bench::rawListTitles(device.databasePath()));
            benchmark::DoNotOptimize(bench::rawPlistString(device.settingsPath(), "defaultList"));
            bench::rawPlistRead(layout);
        },
        bench::PairClock::ThreadCpu);
}

BENCHMARK(BM_WidgetPopUp)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(0.3);

[[maybe_unused]] const bool goals = [] {
    bench::registerGoal("BM_WidgetPopUp", 1.20);
    return true;
}();

}  // namespace
