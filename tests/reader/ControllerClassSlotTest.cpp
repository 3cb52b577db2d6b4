// The controller class slot lives as long as the process, so this runs as
// its own program: one test that walks the slot from empty to filled.

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "FakeApplicationRegistry.h"
#include "ObjCRuntime.h"
#include "VLDynamicReader.h"

using fakes::FakeRegistry;
using fakes::FakeRegistryClass;

namespace {

TEST(ControllerClassSlot, LooksUpUntilFoundThenKeepsTheClass) {
    ASSERT_EQ(objc_getClass("SBApplicationController"), nullptr) << "this program must start without the class";
    auto registry = std::make_shared<FakeRegistry>();
    registry->install("com.realmacsoftware.clear", "/apps/c1/Clear.app");
    FakeRegistryClass::instance().registry = registry;

    // Outside SpringBoard: nothing found, twice, and no failure.
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto reader = VLDynamicReader::init();
        ASSERT_NE(reader, nullptr);
        EXPECT_EQ(reader->clearPath(), std::nullopt);
        EXPECT_EQ(reader->clearIdentifier(), std::nullopt);
    }

    // A class of that name that is no application controller class does
    // not count as found.
    ObjCClass impostor("SBApplicationController");
    objc_registerClass(&impostor);
    EXPECT_EQ(VLDynamicReader::init()->clearPath(), std::nullopt);
    objc_unregisterClass(&impostor);

    // The earlier misses were not remembered: the class is found now, also
    // by readers made on several threads at once (the companion answers on
    // its own thread while the widget runs on the main one).
    objc_registerClass(&FakeRegistryClass::instance());
    std::vector<std::shared_ptr<VLDynamicReader>> found(4);
    {
        std::vector<std::thread> threads;
        for (auto& reader : found) threads.emplace_back([&reader] { reader = VLDynamicReader::init(); });
        for (auto& thread : threads) thread.join();
    }
    for (const auto& reader : found) {
        EXPECT_EQ(reader->clearPath(), "/apps/c1/Clear.app");
        EXPECT_EQ(reader->clearIdentifier(), "com.realmacsoftware.clear");
    }

    // Once found it is kept: gone from the run time, yet still used.
    objc_unregisterClass(&FakeRegistryClass::instance());
    ASSERT_EQ(objc_getClass("SBApplicationController"), nullptr);
    auto cached = VLDynamicReader::init();
    EXPECT_EQ(cached->clearPath(), "/apps/c1/Clear.app");
    EXPECT_EQ(registry->lookups.size(), 10u);
}

}  // namespace
