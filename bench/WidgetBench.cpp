// The widget popping up: the host creates the widget, calls configure (Clear
// looked up, theme read) and load (form pushed and loaded: layout, list
// names, default list), then the user closes it. Against its floor
// (RawReads.h): the same files read for the same form, as plainly as can be.

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
    // Every list plus "Create List...", the default list chosen, as the floor has them.
    const bench::FloorPopUp floor = bench::floorPopUp(device.clearBundle(), layout, device.settingsPath());
    if (!list || list->listItemValues().size() != static_cast<std::size_t>(lists) + 1 ||
        floor.choices.size() != list->listItemValues().size() || floor.layoutItems != 2 || !floor.preselected ||
        !list->value().asArray() || list->value().asArray()->empty() ||
        list->value().asArray()->front().asString() != floor.choices[*floor.preselected].title) {
        state.SkipWithError("the widget or its floor did not come up with every list and the default");
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
        [&] { benchmark::DoNotOptimize(bench::floorPopUp(device.clearBundle(), layout, device.settingsPath())); },
        bench::PairClock::ThreadCpu);
}

BENCHMARK(BM_WidgetPopUp)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(0.3);

[[maybe_unused]] const bool goals = [] {
    bench::registerGoal("BM_WidgetPopUp", 1.10);
    return true;
}();

}  // namespace
