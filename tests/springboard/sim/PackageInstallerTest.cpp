// Installing packages into devices: what a good package leaves, and that a
// hostile or broken one leaves the device (and everything around it) as it was.

#include <gtest/gtest.h>

#include <archive.h>
#include <archive_entry.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "BuildPaths.h"
#include "DeviceState.h"
#include "PackageInstaller.h"

namespace fs = std::filesystem;

namespace {

struct Entry {
    char kind;  // 'd' directory, 'f' file, 'l' symbolic link, 'h' hard link, 'p' FIFO
    std::string name;
    std::string content;  // file bytes, or the link target
};

// The bytes of a tar.gz holding `entries`.
std::string tarGz(const std::vector<Entry>& entries) {
    std::string bytes(1 << 20, '\0');
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

// A .deb (ar: debian-binary, control.tar.gz, data.tar.gz) of `data`.
std::string deb(const std::vector<Entry>& data, const std::string& version = "1.0.0",
                const std::string& package = "com.kelbrin.velmora") {
    std::string control = "Package: " + package + "\nVersion: " + version + "\nArchitecture: amd64\n";
    std::vector<std::pair<std::string, std::string>> members{
        {"debian-binary", "2.0\n"},
        {"control.tar.gz", tarGz({{'f', "./control", control}})},
        {"data.tar.gz", tarGz(data)},
    };
    std::string bytes(4 << 20, '\0');
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

// Every path under `root` with its kind and contents (or link target).
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        std::string key = fs::relative(it->path(), root).string();
        if (it->is_symlink()) tree[key] = "-> " + fs::read_symlink(it->path()).string();
        else if (it->is_directory()) tree[key] = "dir";
        else tree[key] = readAll(it->path());
    }
    return tree;
}

class PackageInstall : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vlpkg-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        scratch_ = pattern;
        device_ = scratch_ / "device";
        fs::create_directories(device_ / "var/mobile");
        fs::create_directories(scratch_ / "outside");
        std::ofstream(device_ / "var/mobile/keep") << "mine";
    }
    void TearDown() override { fs::remove_all(scratch_); }

    fs::path write(const std::string& name, const std::string& bytes) {
        std::ofstream(scratch_ / name, std::ios::binary) << bytes;
        return scratch_ / name;
    }

    fs::path scratch_, device_;
};

const std::vector<Entry> kGood = {
    {'d', "./", ""},
    {'d', "./Library/", ""},
    {'d', "./Library/MobileSubstrate/", ""},
    {'f', "./Library/MobileSubstrate/VLIPC.so", "new library"},
    {'f', "./Library/MobileSubstrate/VLIPC.plist", "filter"},
    {'l', "./Library/MobileSubstrate/Alias.so", "VLIPC.so"},
};

TEST_F(PackageInstall, RefusesHostileAndBrokenPackagesLeavingTheDeviceAsItWas) {
    std::string real = readAll(buildDirectory() + "/" VELMORA_PACKAGE_FILE_NAME);
    ASSERT_GT(real.size(), 1000u);
    struct Case {
        const char* name;
        std::string bytes;
        const char* error;
    };
    const Case cases[] = {
        {"dot-dot", deb({{'f', "./Library/../../outside/owned", "x"}}), "\"..\" in the path"},
        {"absolute", deb({{'f', "/tmp/owned", "x"}}), "absolute path"},
        {"link out", deb({{'d', "./Library/", ""}, {'l', "./Library/out", "../../outside"}}), "leads outside the device"},
        {"absolute link", deb({{'l', "./etc", "/etc"}}), "leads outside the device"},
        {"through a link", deb({{'l', "./Library", "var"}, {'f', "./Library/x", "x"}}), "lies behind a symbolic link"},
        {"hard link", deb({{'f', "./a", "x"}, {'h', "./b", "./a"}}), "hard link"},
        {"fifo", deb({{'p', "./fifo", ""}}), "neither a file"},
        {"other package", deb(kGood, "1.0.0", "com.example.other"), "not com.kelbrin.velmora"},
        {"not a deb", "Package: com.kelbrin.velmora\n", "not a Debian package"},
        {"empty", "", "not a Debian package"},
        {"truncated", real.substr(0, real.size() / 2), "truncated or damaged"},
        {"truncated tail", real.substr(0, real.size() - 20), "truncated or damaged"},
        {"late escape", deb({{'f', "./Library/first", "ok"}, {'f', "../second", "x"}}), "\"..\" in the path"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto before = snapshot(scratch_);
        fs::path package = write("p.deb", c.bytes);
        std::string error;
        EXPECT_FALSE(sim::installPackage(device_.string(), package.string(), &error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        fs::remove(package);
        EXPECT_EQ(snapshot(scratch_), before);
    }
}

TEST_F(PackageInstall, RefusesADeviceWhoseFoldersLeadOut) {
    fs::create_symlink(scratch_ / "outside", device_ / "Library");
    fs::path package = write("p.deb", deb(kGood));
    auto before = snapshot(scratch_);
    std::string error;
    EXPECT_FALSE(sim::installPackage(device_.string(), package.string(), &error));
    EXPECT_NE(error.find("is not a directory"), std::string::npos) << error;
    EXPECT_EQ(snapshot(scratch_), before);
    EXPECT_TRUE(fs::is_empty(scratch_ / "outside"));
}

TEST_F(PackageInstall, InstallsThenReplacesWholeFilesAndDropsFilesNoLongerShipped) {
    std::string error;
    ASSERT_TRUE(sim::installPackage(device_.string(), write("a.deb", deb(kGood, "1.0.0")).string(), &error)) << error;
    EXPECT_EQ(readAll(device_ / "Library/MobileSubstrate/VLIPC.so"), "new library");
    EXPECT_EQ(fs::read_symlink(device_ / "Library/MobileSubstrate/Alias.so"), "VLIPC.so");
    struct stat info {};
    ASSERT_EQ(::stat((device_ / "Library/MobileSubstrate").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0755u);

    std::vector<Entry> next(kGood.begin(), kGood.begin() + 4);
    next[3].content = "newer library";
    ASSERT_TRUE(sim::installPackage(device_.string(), write("b.deb", deb(next, "1.1.0")).string(), &error)) << error;
    EXPECT_EQ(readAll(device_ / "Library/MobileSubstrate/VLIPC.so"), "newer library");
    EXPECT_FALSE(fs::exists(device_ / "Library/MobileSubstrate/VLIPC.plist"));
    EXPECT_FALSE(fs::is_symlink(device_ / "Library/MobileSubstrate/Alias.so"));
    EXPECT_EQ(readAll(device_ / "var/mobile/keep"), "mine");

    auto installed = sim::readInstalledPackage(device_.string());
    ASSERT_TRUE(installed);
    EXPECT_EQ(installed->version, "1.1.0");
    EXPECT_EQ(installed->files, std::vector<std::string>{"Library/MobileSubstrate/VLIPC.so"});
    // Nothing of the staging folder is left behind.
    for (const auto& entry : fs::directory_iterator(device_))
        EXPECT_EQ(entry.path().filename().string().find(".velmora-install"), std::string::npos);
}

TEST_F(PackageInstall, NeedsADevice) {
    std::string error;
    fs::path package = write("p.deb", deb(kGood));
    EXPECT_FALSE(sim::installPackage((scratch_ / "outside").string(), package.string(), &error));
    EXPECT_NE(error.find("no device at"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_empty(scratch_ / "outside"));
}

}  // namespace
