// The widget settings file when writing it fails: a file-size limit that
// stops the write midway (what a full disk does to a writer), and a settings
// directory the process may not write. savePath says false and the old file
// stays byte-identical, with no temporary file left beside it.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "FaultSupport.h"
#include "Platform.h"
#include "PropertyList.h"
#include "TempDirectory.h"
#include "VLDynamicReader.h"

namespace {

constexpr const char* kSettingsName = "com.kelbrin.velmora.plist";
constexpr int kSaved = 10, kNotSaved = 11, kSetupFailed = 12;

class SettingsWriteFailureTest : public ::testing::Test {
protected:
    void SetUp() override {
        preferences_ = temp_.make("home/Library/Preferences");
        settings_ = preferences_ / kSettingsName;
        springboard::setHomeDirectory((temp_.path() / "home").string());
        springboard::setLogToStandardError(false);
        ASSERT_TRUE(writeToFile({{"savedPath", Value("/old/Clear.app")}, {"defaultList", Value("Work")}},
                                settings_.string(), true));
        old_ = readFile(settings_);
    }

    // savePath of a reader with a long path, in a child set up by `limit`.
    int saveInChild(const std::function<bool()>& limit) {
        const std::string longPath = "/new/" + std::string(64 * 1024, 'n') + "/Clear.app";
        const pid_t child = faults::forkChild([&] {
            if (!limit()) return kSetupFailed;
            return VLDynamicReader::initWithPath(longPath)->savePath() ? kSaved : kNotSaved;
        });
        return faults::waitChild(child);
    }

    TempDirectory temp_;
    std::filesystem::path preferences_, settings_;
    std::string old_;
};

// Limits below the new file's size: nothing may be written, a few bytes, most of it.
class FileSizeLimitTest : public SettingsWriteFailureTest, public ::testing::WithParamInterface<rlim_t> {};

TEST_P(FileSizeLimitTest, WriteStoppedMidwayLeavesOldFile) {
    const rlim_t limit = GetParam();
    const int status = saveInChild([limit] {
        // Past the limit, write() fails with EFBIG instead of killing us.
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit size{limit, limit};
        return ::setrlimit(RLIMIT_FSIZE, &size) == 0;
    });
    EXPECT_EQ(status, kNotSaved) << "file size limit " << limit;
    EXPECT_EQ(readFile(settings_), old_);
    EXPECT_EQ(faults::entries(preferences_), std::vector<std::string>{kSettingsName});
}

INSTANTIATE_TEST_SUITE_P(Limits, FileSizeLimitTest, ::testing::Values(0, 1, 4096, 60 * 1024),
                         [](const auto& info) { return "Bytes" + std::to_string(info.param); });

TEST_F(SettingsWriteFailureTest, UnwritableDirectoryLeavesOldFile) {
    // Root ignores permission bits, so the child gives up root first.
    ASSERT_EQ(::chmod(temp_.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(preferences_.c_str(), 0555), 0);
    const int status = saveInChild([] {
        if (::geteuid() == 0) return ::setgid(65534) == 0 && ::setuid(65534) == 0;
        return true;
    });
    ::chmod(preferences_.c_str(), 0755);
    EXPECT_EQ(status, kNotSaved);
    EXPECT_EQ(readFile(settings_), old_);
    EXPECT_EQ(faults::entries(preferences_), std::vector<std::string>{kSettingsName});
}

TEST_F(SettingsWriteFailureTest, TheSameWriteSucceedsWithoutTheLimit) {
    // The failures above come from the limits, not from the write itself.
    EXPECT_EQ(saveInChild([] { return true; }), kSaved);
    EXPECT_NE(readFile(settings_), old_);
    EXPECT_EQ(faults::entries(preferences_), std::vector<std::string>{kSettingsName});
}

}  // namespace
