// Loading VLIPC.so the way the loader does. Each case runs in a child
// process so the library's constructor runs afresh, whatever ran before.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "CompanionTestSupport.h"
#include "MainQueue.h"
#include "NSDistributedNotificationCenter.h"
#include "PropertyList.h"
#include "SpringBoardServices.h"
#include "TestDevice.h"

namespace {

using companiontest::linesFromChild;
using companiontest::LogCapture;
using companiontest::RecordingEvents;

TEST(CompanionLoadTest, ConstructorRegistersForSpringBoardAndLogsItsIdentifier) {
    const auto lines = linesFromChild([] {
        TestDevice device;
        auto events = std::make_shared<RecordingEvents>();
        auto services = SpringBoardServices::boot(device.root(), events);
        springboard::setLogToStandardError(false);
        LogCapture log;
        std::vector<std::string> out;
        if (!dlopen(VLIPC_PATH, RTLD_NOW | RTLD_LOCAL)) return std::vector<std::string>{dlerror()};
        out = log.lines();
        // The observer is in place: a kill reaches it through the main queue.
        NSDistributedNotificationCenter::defaultCenter()->postNotificationName(
            "VLIPC.Kill", Value(), Dictionary{{"identifier", Value("com.apple.springboard")}});
        springboard::drainMainQueue();
        for (const auto& line : events->lines) out.push_back("event " + line);
        return out;
    });
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "[Velmora]Registering IPC listener for com.apple.springboard messages...",
                         "event quit",
                     }));
}

TEST(CompanionLoadTest, ConstructorInAProcessWithoutAnApplicationStillRegisters) {
    const auto lines = linesFromChild([] {
        springboard::setLogToStandardError(false);
        LogCapture log;
        if (!dlopen(VLIPC_PATH, RTLD_NOW | RTLD_LOCAL)) return std::vector<std::string>{dlerror()};
        NSDistributedNotificationCenter::defaultCenter()->postNotificationName(
            "VLIPC.Kill", Value(), Dictionary{{"identifier", Value("com.example.app")}});
        springboard::drainMainQueue();
        return log.lines();
    });
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "[Velmora]Registering IPC listener for (null) messages...",
                         "[Velmora]Fire ze missles! com.example.app",
                         "[Velmora]Go back home...",
                         "[Velmora]Done chaining!",
                     }));
}

TEST(CompanionLoadTest, FilterRestrictsTheLibraryToSpringBoard) {
    const auto filter = dictionaryWithContentsOfFile(VLIPC_FILTER_PATH);
    ASSERT_TRUE(filter.has_value());
    EXPECT_EQ(*filter, (Dictionary{{"Filter", Value(Dictionary{{"Bundles", Value(Array{Value("com.apple.springboard")})}})}}));
}

}  // namespace
