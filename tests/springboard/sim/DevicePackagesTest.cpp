// Installing packages into devices with dpkg: what a good package leaves,
// and that a hostile or broken one leaves the device (and everything around
// it) as it was, apart from dpkg's own bookkeeping.

#include <gtest/gtest.h>

#include <archive.h>
#include <archive_entry.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "DevicePackages.h"
#include "DpkgDatabase.h"

namespace fs = std::filesystem;

namespace {

struct Entry {
    char kind;  // 'd' directory, 'f' file, 'l' symbolic link, 'h' hard link, 'p' FIFO
    std::string name;
    std::string content;  // file bytes, or the link target
};

// The bytes of a tar.gz holding `entries`.
std::string tarGz(const std::vector<Entry>& entries) {
    std::string bytes(8 << 20, '\0');
    std::size_t used = 0;
    archive* a = archive_write_new();
    archive_write_set_format_pax_restricted(a);
    archive_write_add_filter_gzip(a);
    archive_write_open_memory(a, bytes.data(), bytes.size(), &used);
    for (const auto& e : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.name.c_str());
        archive_entry_set_perm(entry, e.kind == 'd' ? 0755 : 0644);
        archive_entry_set_filetype(entry, e.kind == 'd' ? AE_IFDIR : e.kind == 'l' ? AE_IFLNK : e.kind == 'p' ? AE_IFIFO : AE_IFREG);
        if (e.kind == 'l') archive_entry_set_symlink(entry, e.content.c_str());
        if (e.kind == 'h') archive_entry_set_hardlink(entry, e.content.c_str());
        if (e.kind == 'f') archive_entry_set_size(entry, static_cast<la_int64_t>(e.content.size()));
        archive_write_header(a, entry);
        if (e.kind == 'f') archive_write_data(a, e.content.data(), e.content.size());
        archive_entry_free(entry);
    }
    archive_write_close(a);
    archive_write_free(a);
    bytes.resize(used);
    return bytes;
}

struct Control {
    std::string version = "1.0.0";
    // A tweak depends on the platform, as Velmora does; dpkg would let a
    // platform package whose folders it fills disappear otherwise.
    std::string fields = "Package: test.tweak\nArchitecture: all\nDepends: mobilesubstrate\n";
    std::vector<Entry> extra;  // more control members
};

// A .deb (ar: debian-binary, control.tar.gz, data.tar.gz) of `data`.
std::string deb(const std::vector<Entry>& data, const Control& control = {}) {
    std::vector<Entry> controlMember{{'f', "./control", control.fields + "Version: " + control.version +
                                                            "\nMaintainer: t\nDescription: t\n"}};
    controlMember.insert(controlMember.end(), control.extra.begin(), control.extra.end());
    std::vector<std::pair<std::string, std::string>> members{
        {"debian-binary", "2.0\n"}, {"control.tar.gz", tarGz(controlMember)}, {"data.tar.gz", tarGz(data)}};
    std::string bytes(16 << 20, '\0');
    std::size_t used = 0;
    archive* a = archive_write_new();
    archive_write_set_format_ar_svr4(a);
    archive_write_open_memory(a, bytes.data(), bytes.size(), &used);
    for (const auto& [name, content] : members) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, name.c_str());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, static_cast<la_int64_t>(content.size()));
        archive_write_header(a, entry);
        archive_write_data(a, content.data(), content.size());
        archive_entry_free(entry);
    }
    archive_write_close(a);
    archive_write_free(a);
    bytes.resize(used);
    return bytes;
}

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// dpkg's own bookkeeping, which may change whatever the outcome.
bool isBookkeeping(const std::string& path) {
    for (const char* name : {"device/var/lib/dpkg/lock", "device/var/lib/dpkg/status-old", "device/var/lib/dpkg/triggers",
                             "device/var/lib/dpkg/updates", "device/var/lib/dpkg/info/format", "device/var/log",
                             "device/var/run"})
        if (path.rfind(name, 0) == 0) return true;
    return false;
}

// Every path under `root` with its kind and contents (or link target).
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        std::string key = it->path().lexically_relative(root).string();
        if (isBookkeeping(key)) continue;
        if (it->is_symlink()) tree[key] = "-> " + fs::read_symlink(it->path()).string();
        else if (it->is_directory()) tree[key] = "dir";
        else tree[key] = readAll(it->path());
    }
    return tree;
}

class DevicePackages : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vlpkg-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        scratch_ = pattern;
        device_ = scratch_ / "device";
        fs::create_directories(device_ / "var/mobile/Library");
        fs::create_directories(scratch_ / "outside");
        std::ofstream(device_ / "var/mobile/keep") << "mine";
        std::string error;
        ASSERT_TRUE(sim::createPlatformDatabase(device_.string(), &error)) << error;
    }
    void TearDown() override { fs::remove_all(scratch_); }

    fs::path write(const std::string& name, const std::string& bytes) {
        std::ofstream(scratch_ / name, std::ios::binary) << bytes;
        return scratch_ / name;
    }
    std::optional<sim::PackageChange> install(const std::string& bytes, std::string* error) {
        fs::path package = write("p.deb", bytes);
        auto change = sim::installPackage(device_.string(), package.string(), error);
        fs::remove(package);
        return change;
    }
    // What `dpkg -l` (not our reader) says is installed: name and version.
    std::string dpkgList() {
        std::string command = "dpkg-query --root=" + device_.string() + " -W -f='${Package} ${Version} ${Status}\\n' 2>&1";
        std::string out;
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[4096];
            for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
            ::pclose(pipe);
        }
        return out;
    }

    fs::path scratch_, device_;
};

const std::vector<Entry> kGood = {
    {'d', "./", ""},
    {'d', "./Library/", ""},
    {'d', "./Library/MobileSubstrate/", ""},
    {'d', "./Library/MobileSubstrate/DynamicLibraries/", ""},
    {'f', "./Library/MobileSubstrate/DynamicLibraries/T.so", "new library"},
    {'f', "./Library/MobileSubstrate/DynamicLibraries/T.plist", "filter"},
    {'l', "./Library/MobileSubstrate/DynamicLibraries/Alias.so", "T.so"},
};

std::vector<Entry> manyFiles(std::size_t count) {
    std::vector<Entry> entries{{'d', "./Library/", ""}};
    for (std::size_t i = 0; i < count; ++i) entries.push_back({'f', "./Library/f" + std::to_string(i), ""});
    return entries;
}

TEST_F(DevicePackages, RefusesHostileAndBrokenPackagesLeavingTheDeviceAsItWas) {
    Control script;
    script.extra = {{'f', "./postinst", "#!/bin/sh\ntouch /tmp/owned\n"}};
    Control otherArch;
    otherArch.fields = "Package: test.tweak\nArchitecture: iphoneos-arm\nDepends: mobilesubstrate\n";
    Control badVersion;
    badVersion.version = "not a version!";
    Control needs;
    needs.fields = "Package: test.tweak\nArchitecture: all\nDepends: mobilesubstrate, firmware (>= 7.0)\n";
    Control tooNew;
    tooNew.fields = "Package: test.tweak\nArchitecture: all\nDepends: prowidgets (>= 2.0) | nothing\n";
    const std::string good = deb(kGood);
    struct Case {
        const char* name;
        std::string bytes;
        const char* error;
    };
    const Case cases[] = {
        {"dot-dot", deb({{'f', "./Library/../../outside/owned", "x"}}), "has a \"..\" component"},
        {"absolute", deb({{'f', "/tmp/owned", "x"}}), "is an absolute path"},
        {"link out", deb({{'d', "./Library/", ""}, {'l', "./Library/out", "../../outside"}}), "is absolute or has a \"..\""},
        {"absolute link", deb({{'l', "./etc", "/etc"}}), "is absolute or has a \"..\""},
        {"link chain", deb({{'l', "./s", "."}, {'f', "./s/s/s/../../../outside/owned", "x"}}), "has a \"..\" component"},
        {"behind its own link", deb({{'l', "./s", "."}, {'f', "./s/s/x", "x"}}), "lies behind a link of the package"},
        {"hard link", deb({{'f', "./a", "x"}, {'h', "./b", "./a"}}), "is a hard link"},
        {"fifo", deb({{'p', "./fifo", ""}}), "is a device file, FIFO or socket"},
        {"user data", deb({{'f', "./var/mobile/Library/Preferences/x.plist", "x"}}), "lies under var/"},
        {"the server's socket", deb({{'f', "./var/run/objcipc.sock", "x"}}), "lies under var/"},
        {"an app", deb({{'f', "./Applications/MobileSafari.app/Info.plist", "x"}}), "lies under Applications/"},
        {"maintainer script", deb(kGood, script), "has a maintainer script (postinst)"},
        {"too many entries", deb(manyFiles(10001)), "more than 10000 entries"},
        {"missing dependency", deb(kGood, needs), "depends on firmware (>= 7.0), which the device does not have"},
        {"dependency too old", deb(kGood, tooNew), "depends on prowidgets (>= 2.0) | nothing"},
        {"other architecture", deb(kGood, otherArch), "dpkg: error processing archive"},
        {"bad version", deb(kGood, badVersion), "dpkg: error processing archive"},
        {"not a deb", "Package: test.tweak\n", "not a Debian package"},
        {"empty", "", "not a Debian package"},
        {"truncated", good.substr(0, good.size() / 2), "damaged"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto before = snapshot(scratch_);
        std::string error;
        EXPECT_FALSE(install(c.bytes, &error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_EQ(snapshot(scratch_), before);
    }
    EXPECT_FALSE(fs::exists("/tmp/owned"));
}

TEST_F(DevicePackages, RefusesADeviceWhoseFoldersLeadOutOrIntoUserData) {
    struct Case {
        const char* name;
        fs::path link;
        fs::path target;
        const char* error;
    };
    const Case cases[] = {
        {"out", device_ / "Library/MobileSubstrate/DynamicLibraries", "../../../outside", "is a link that leads out of it"},
        {"absolute", device_ / "Library/MobileSubstrate/DynamicLibraries", scratch_ / "outside", "is a link that leads out"},
        {"into var", device_ / "Library/MobileSubstrate", "../var/mobile/Library", "leads to var/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(c.link);
        fs::create_directory_symlink(c.target, c.link);
        auto before = snapshot(scratch_);
        std::string error;
        EXPECT_FALSE(install(deb(kGood), &error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(snapshot(scratch_), before);
        EXPECT_TRUE(fs::is_empty(scratch_ / "outside"));
        fs::remove(c.link);
        fs::create_directories(c.link);
    }
}

TEST_F(DevicePackages, InstallsUpgradesDowngradesAndRemovesAsDpkgSeesIt) {
    std::string error;
    Control v1;
    auto change = install(deb(kGood, v1), &error);
    ASSERT_TRUE(change) << error;
    EXPECT_EQ(sim::describeChange(*change, "D", false), "installed test.tweak 1.0.0 into D");
    EXPECT_EQ(readAll(device_ / "Library/MobileSubstrate/DynamicLibraries/T.so"), "new library");
    EXPECT_NE(dpkgList().find("test.tweak 1.0.0 install ok installed"), std::string::npos) << dpkgList();

    std::vector<Entry> next(kGood.begin(), kGood.begin() + 5);
    next[4].content = "newer library";
    Control v2;
    v2.version = "1.1.0";
    change = install(deb(next, v2), &error);
    ASSERT_TRUE(change) << error;
    EXPECT_EQ(sim::describeChange(*change, "D", false), "upgraded test.tweak from 1.0.0 to 1.1.0 in D");
    EXPECT_EQ(readAll(device_ / "Library/MobileSubstrate/DynamicLibraries/T.so"), "newer library");
    EXPECT_FALSE(fs::exists(device_ / "Library/MobileSubstrate/DynamicLibraries/T.plist"));
    EXPECT_FALSE(fs::is_symlink(device_ / "Library/MobileSubstrate/DynamicLibraries/Alias.so"));

    change = install(deb(kGood, v1), &error);
    ASSERT_TRUE(change) << error;
    EXPECT_EQ(sim::describeChange(*change, "D", false), "downgraded test.tweak from 1.1.0 to 1.0.0 in D");

    change = sim::removePackage(device_.string(), "test.tweak", &error);
    ASSERT_TRUE(change) << error;
    EXPECT_EQ(dpkgList().find("test.tweak 1.0.0 install ok installed"), std::string::npos) << dpkgList();
    // The platform packages own the folders, so they stay, empty.
    EXPECT_TRUE(fs::is_empty(device_ / "Library/MobileSubstrate/DynamicLibraries"));
    EXPECT_EQ(readAll(device_ / "var/mobile/keep"), "mine");
    EXPECT_FALSE(sim::removePackage(device_.string(), "test.tweak", &error));
    EXPECT_NE(error.find("has no package test.tweak installed"), std::string::npos) << error;
    EXPECT_FALSE(sim::removePackage(device_.string(), "mobilesubstrate", &error));
    EXPECT_NE(error.find("dpkg: error"), std::string::npos) << error;
}

TEST_F(DevicePackages, AFailureAfterFilesHaveMovedRollsTheDeviceBack) {
    std::string error;
    ASSERT_TRUE(install(deb(kGood), &error)) << error;
    Control owner;
    owner.fields = "Package: other.tweak\nArchitecture: all\nDepends: mobilesubstrate\n";
    ASSERT_TRUE(install(deb({{'d', "./Library/", ""}, {'f', "./Library/Other", "theirs"}}, owner), &error)) << error;
    // Version 2 replaces T.so, then meets a file another package owns.
    std::vector<Entry> next = kGood;
    next[4].content = "newer library";
    next.push_back({'f', "./Library/Other", "mine now"});
    Control v2;
    v2.version = "2.0";
    auto before = snapshot(scratch_);
    EXPECT_FALSE(install(deb(next, v2), &error));
    EXPECT_NE(error.find("dpkg: error processing archive"), std::string::npos) << error;
    EXPECT_NE(error.find("which is also in package other.tweak"), std::string::npos) << error;
    EXPECT_EQ(snapshot(scratch_), before);
    EXPECT_NE(dpkgList().find("test.tweak 1.0.0 install ok installed"), std::string::npos) << dpkgList();
}

TEST_F(DevicePackages, ConcurrentInstallsTakeTurnsOrAreTurnedAway) {
    const fs::path a = write("a.deb", deb(kGood));
    std::vector<Entry> other(kGood.begin(), kGood.begin() + 4);
    other.push_back({'f', "./Library/MobileSubstrate/DynamicLibraries/Other.so", "x"});
    Control v2;
    v2.version = "2.0";
    const fs::path b = write("b.deb", deb(other, v2));
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        // Processes, not threads: the locks are per process, as they are between two velmora-sim runs.
        std::vector<pid_t> children;
        for (const fs::path& package : {a, b}) {
            pid_t pid = ::fork();
            if (pid == 0) {
                std::string error;
                bool ok = sim::installPackage(device_.string(), package.string(), &error).has_value();
                ::_exit(ok ? 0 : error.find("is changing it") != std::string::npos ? 3 : 1);
            }
            children.push_back(pid);
        }
        for (pid_t pid : children) {
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_TRUE(WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 3) << WEXITSTATUS(status);
        }
        // Whatever won, the files there are the ones dpkg lists.
        std::set<std::string> listed, present;
        std::istringstream list(readAll(device_ / "var/lib/dpkg/info/test.tweak.list"));
        for (std::string line; std::getline(list, line);)
            if (fs::is_regular_file(device_.string() + line) || fs::is_symlink(device_.string() + line)) listed.insert(line);
        for (const auto& entry : fs::directory_iterator(device_ / "Library/MobileSubstrate/DynamicLibraries"))
            present.insert("/" + entry.path().lexically_relative(device_).string());
        EXPECT_EQ(listed, present);
    }
}

TEST_F(DevicePackages, NeedsADevice) {
    std::string error;
    fs::path package = write("p.deb", deb(kGood));
    EXPECT_FALSE(sim::installPackage((scratch_ / "outside").string(), package.string(), &error));
    EXPECT_NE(error.find("no device at"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_empty(scratch_ / "outside"));
}

}  // namespace
