// SpringBoard booted, shut down and booted again in one process, with readers
// made in between: the controller class slot then holds a class looked up
// under the first boot. Its own program, so the slot starts empty.

#include <gtest/gtest.h>

#include "SpringBoardServices.h"
#include "TestDevice.h"
#include "VLDynamicReader.h"

namespace {

TEST(ControllerClassLifetime, ReadersMadeAfterARebootSeeTheNewSpringBoard) {
    TestDevice first, second;
    const std::string firstClear = first.installClear({"A"});
    const std::string secondClear = second.installClear({"B"}, "com.realmacsoftware.clear.universal");

    {
        const auto services = SpringBoardServices::boot(first.root());
        EXPECT_EQ(VLDynamicReader::init()->clearPath(), firstClear);  // fills the slot
    }
    // Between boots the kept class answers, but with no registry behind it.
    const auto between = VLDynamicReader::init();
    EXPECT_EQ(between->clearPath(), std::nullopt);
    EXPECT_EQ(between->clearIdentifier(), std::nullopt);

    const auto services = SpringBoardServices::boot(second.root());
    const auto after = VLDynamicReader::init();
    EXPECT_EQ(after->clearPath(), secondClear);
    EXPECT_EQ(after->clearIdentifier(), "com.realmacsoftware.clear.universal");
}

}  // namespace
