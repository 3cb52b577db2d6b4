// A process killed at random points while it rewrites the widget settings
// file: the file is always the complete old or the complete new contents,
// and killed writes leave at most one temporary file behind.

#include <gtest/gtest.h>

#include <signal.h>
#include <time.h>

#include <chrono>
#include <random>
#include <string>

#include "FaultSupport.h"
#include "Platform.h"
#include "PropertyList.h"
#include "TempDirectory.h"
#include "VLDynamicReader.h"

namespace {

constexpr const char* kSettingsName = "com.kelbrin.velmora.plist";

class SavePathKillTest : public ::testing::Test {
protected:
    void SetUp() override {
        preferences_ = temp_.make("home/Library/Preferences");
        settings_ = preferences_ / kSettingsName;
        springboard::setHomeDirectory((temp_.path() / "home").string());
        springboard::setLogToStandardError(false);
    }

    // The bytes savePath writes for `path`, keeping the settings' other
    // entries (a default list and enough padding that a write takes a while).
    std::string settingsBytesFor(const std::string& path) {
        Dictionary settings{{"defaultList", Value("Groceries")}, {"padding", Value(std::string(64 * 1024, 'p'))}};
        EXPECT_TRUE(writeToFile(settings, settings_.string(), true));
        EXPECT_TRUE(VLDynamicReader::initWithPath(path)->savePath());
        return readFile(settings_);
    }

    TempDirectory temp_;
    std::filesystem::path preferences_, settings_;
};

TEST_F(SavePathKillTest, FileIsAlwaysWholeAndTemporariesDoNotAccumulate) {
    const std::string pathA = "/var/mobile/Applications/AAAA/Clear.app";
    const std::string pathB = "/var/mobile/Applications/BBBB/Clear.app";
    const std::string bytesA = settingsBytesFor(pathA);
    const std::string bytesB = settingsBytesFor(pathB);
    ASSERT_NE(bytesA, bytesB);

    std::mt19937 random(20140214);
    std::uniform_int_distribution<long> killDelayMicros(0, 25000);
    int sawA = 0, sawB = 0;
    constexpr int kKills = 200;
    for (int i = 0; i < kKills; ++i) {
        const pid_t child = faults::forkChild([&] {
            for (unsigned n = 0;; ++n) VLDynamicReader::initWithPath(n % 2 ? pathA : pathB)->savePath();
            return 0;
        });
        ASSERT_GT(child, 0);
        const long micros = killDelayMicros(random);
        timespec pause{0, micros * 1000};
        nanosleep(&pause, nullptr);
        ::kill(child, SIGKILL);
        ASSERT_EQ(faults::waitChild(child), -SIGKILL);

        const std::string now = readFile(settings_);
        ASSERT_TRUE(now == bytesA || now == bytesB) << "kill " << i << " after " << micros
                                                    << "us left a settings file of " << now.size() << " bytes";
        (now == bytesA ? sawA : sawB)++;
        // The settings file, plus at most one temporary of a killed write.
        ASSERT_LE(faults::entries(preferences_).size(), 2u) << "kill " << i << " after " << micros << "us";
    }
    // The kills landed between writes of both kinds, not all before the first.
    EXPECT_GT(sawA, 0);
    EXPECT_GT(sawB, 0);

    // A finished write after all that leaves exactly the settings file, readable.
    ASSERT_TRUE(VLDynamicReader::initWithPath(pathA)->savePath());
    EXPECT_EQ(readFile(settings_), bytesA);
    EXPECT_EQ(faults::entries(preferences_), std::vector<std::string>{kSettingsName});
}

}  // namespace
