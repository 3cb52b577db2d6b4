#include <gtest/gtest.h>

#include "FakeApplicationRegistry.h"
#include "ObjCRuntime.h"
#include "VLDynamicReader.h"

using fakes::FakeRegistry;
using fakes::FakeRegistryClass;

namespace {

const std::string kClear = "com.realmacsoftware.clear";
const std::string kClearPlus = "com.realmacsoftware.clear.universal";

class ReaderConstruction : public testing::Test {
protected:
    void SetUp() override {
        FakeRegistryClass::instance().registry = registry;
        objc_registerClass(&FakeRegistryClass::instance());
    }
    void TearDown() override { objc_unregisterClass(&FakeRegistryClass::instance()); }

    std::shared_ptr<FakeRegistry> registry = std::make_shared<FakeRegistry>();
};

struct InstalledCase {
    const char* name;
    bool clearInstalled;
    bool clearPlusInstalled;
    std::optional<std::string> expectedPath;
    std::optional<std::string> expectedIdentifier;
};

void PrintTo(const InstalledCase& c, std::ostream* os) { *os << c.name; }

class ReaderFindsClear : public ReaderConstruction, public testing::WithParamInterface<InstalledCase> {};

TEST_P(ReaderFindsClear, TakesClearFirstAndAlwaysAsksForBoth) {
    const InstalledCase& c = GetParam();
    if (c.clearInstalled) registry->install(kClear, "/var/mobile/Applications/A/Clear.app");
    if (c.clearPlusInstalled) registry->install(kClearPlus, "/var/mobile/Applications/B/Clear.app");

    auto reader = VLDynamicReader::init();

    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->clearPath(), c.expectedPath);
    EXPECT_EQ(reader->clearIdentifier(), c.expectedIdentifier);
    EXPECT_EQ(registry->lookups, (std::vector<std::string>{kClear, kClearPlus}));
}

INSTANTIATE_TEST_SUITE_P(
    Installed, ReaderFindsClear,
    testing::Values(InstalledCase{"ClearOnly", true, false, "/var/mobile/Applications/A/Clear.app", kClear},
                    InstalledCase{"ClearPlusOnly", false, true, "/var/mobile/Applications/B/Clear.app", kClearPlus},
                    InstalledCase{"Both", true, true, "/var/mobile/Applications/A/Clear.app", kClear},
                    InstalledCase{"Neither", false, false, std::nullopt, std::nullopt}),
    [](const testing::TestParamInfo<InstalledCase>& info) { return std::string(info.param.name); });

TEST_F(ReaderConstruction, EveryInitAsksTheRegistryAfresh) {
    auto before = VLDynamicReader::init();
    registry->install(kClearPlus, "/apps/plus/Clear.app");
    auto after = VLDynamicReader::init();

    EXPECT_EQ(before->clearPath(), std::nullopt);
    EXPECT_EQ(after->clearPath(), "/apps/plus/Clear.app");
    EXPECT_EQ(registry->lookups.size(), 4u);
}

TEST_F(ReaderConstruction, NoRegistryGivesAReaderWithoutPathOrIdentifier) {
    FakeRegistryClass::instance().registry = nullptr;

    auto reader = VLDynamicReader::init();

    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->clearPath(), std::nullopt);
    EXPECT_EQ(reader->clearIdentifier(), std::nullopt);
}

TEST(ReaderWithPath, KeepsAnyPathUncheckedAndHasNoIdentifier) {
    for (const std::optional<std::string>& path :
         {std::optional<std::string>{}, std::optional<std::string>{""},
          std::optional<std::string>{"/no/such/dir/Clear.app"}, std::optional<std::string>{"relative//x/../Clear.app/"}}) {
        auto reader = VLDynamicReader::initWithPath(path);
        ASSERT_NE(reader, nullptr);
        EXPECT_EQ(reader->clearPath(), path);
        EXPECT_EQ(reader->clearIdentifier(), std::nullopt);
    }
}

}  // namespace
