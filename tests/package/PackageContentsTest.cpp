// The install tree and the .deb made of it: exactly the device layout, with
// package modes, the control fields, and deliverables that export only their
// entry points.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include "BuildPaths.h"

namespace fs = std::filesystem;

namespace {

const std::string kBuild = buildDirectory();
const std::string kPackage = kBuild + "/" VELMORA_PACKAGE_FILE_NAME;

// Path (relative to the device root, folders ending in "/") → mode.
const std::map<std::string, unsigned> kTree = {
    {"Library/", 0755},
    {"Library/MobileSubstrate/", 0755},
    {"Library/MobileSubstrate/DynamicLibraries/", 0755},
    {"Library/MobileSubstrate/DynamicLibraries/VLIPC.so", 0755},
    {"Library/MobileSubstrate/DynamicLibraries/VLIPC.plist", 0644},
    {"Library/ProWidgets/", 0755},
    {"Library/ProWidgets/Widgets/", 0755},
    {"Library/ProWidgets/Widgets/Velmora.widget/", 0755},
    {"Library/ProWidgets/Widgets/Velmora.widget/Velmora", 0755},
    {"Library/ProWidgets/Widgets/Velmora.widget/Info.plist", 0644},
    {"Library/ProWidgets/Widgets/Velmora.widget/VLAddItem.plist", 0644},
};

std::string output(const std::string& command, int* status = nullptr) {
    std::string text;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    int result = ::pclose(pipe);
    if (status) *status = result;
    return text;
}

class InstallTree : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vlinst-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        int status = -1;
        std::string log = output("'" CMAKE_COMMAND "' --install '" + kBuild + "' --prefix '" + root_.string() + "' 2>&1", &status);
        ASSERT_EQ(status, 0) << log;
    }
    void TearDown() override { fs::remove_all(root_); }
    fs::path root_;
};

TEST_F(InstallTree, IsTheDeviceLayoutAndNothingElse) {
    std::map<std::string, unsigned> tree;
    for (auto it = fs::recursive_directory_iterator(root_); it != fs::recursive_directory_iterator(); ++it) {
        struct stat info {};
        ASSERT_EQ(::lstat(it->path().c_str(), &info), 0);
        tree[fs::relative(it->path(), root_).string() + (S_ISDIR(info.st_mode) ? "/" : "")] = info.st_mode & 07777;
    }
    EXPECT_EQ(tree, kTree);
}

TEST_F(InstallTree, DeliverablesExportOnlyTheirEntryPoints) {
    struct Case {
        const char* library;
        const char* symbols;
    };
    const Case cases[] = {
        {"Library/MobileSubstrate/DynamicLibraries/VLIPC.so", "VLIPCInitialize\n"},
        {"Library/ProWidgets/Widgets/Velmora.widget/Velmora", "PWWidgetBundleInterfaceVersion\nPWWidgetBundleLoad\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(output("nm -D --defined-only --format=just-symbols '" + (root_ / c.library).string() + "' | sort"),
                  c.symbols)
            << c.library;
}

TEST(Package, HoldsTheTreeWithPackageModesAndItsControlFields) {
    ASSERT_TRUE(fs::is_regular_file(kPackage)) << kPackage;
    // "drwxr-xr-x root/root 0 2026-01-01 00:00 ./Library/"
    std::map<std::string, unsigned> tree;
    std::istringstream lines(output("dpkg-deb --contents '" + kPackage + "'"));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string mode, owner, size, date, time, path;
        fields >> mode >> owner >> size >> date >> time >> path;
        EXPECT_EQ(owner, "root/root") << line;
        if (path == "./") continue;
        unsigned bits = 0;
        for (std::size_t i = 1; i < 10; ++i) bits = (bits << 1) | (mode[i] != '-');
        tree[path.substr(2)] = bits;
    }
    EXPECT_EQ(tree, kTree);

    const std::pair<const char*, std::string> fields[] = {
        {"Package", "com.kelbrin.velmora"},
        {"Name", "Velmora"},
        {"Version", VELMORA_VERSION},
        {"Architecture", output("dpkg --print-architecture")},
        {"Maintainer", "Kelbrin\n"},
        {"Section", "Widgets\n"},
        {"Depends", "mobilesubstrate, prowidgets, libobjcipc\n"},
    };
    for (const auto& [field, value] : fields) {
        std::string expected = value.back() == '\n' ? value : value + "\n";
        EXPECT_EQ(output("dpkg-deb --field '" + kPackage + "' " + field), expected) << field;
    }
    std::string description = output("dpkg-deb --field '" + kPackage + "' Description");
    EXPECT_EQ(std::count(description.begin(), description.end(), '\n'), 1) << description;
    EXPECT_GT(description.size(), 10u);
}

}  // namespace
