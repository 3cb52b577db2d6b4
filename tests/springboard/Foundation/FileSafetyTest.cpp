// Files that are not what they seem: every Foundation read treats a FIFO,
// socket, device or directory as unreadable without blocking, and the atomic
// writer never writes through whatever sits at its temporary name.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <csignal>
#include <functional>
#include <thread>

#include "AtomicFile.h"
#include "FileDescriptor.h"
#include "PropertyList.h"
#include "TempDirectory.h"

namespace fs = std::filesystem;

namespace {

// Places a file of some kind at `path`; the socket stays bound (and the
// descriptor open) for the test's length.
using Maker = std::function<void(const fs::path&)>;

void makeFifo(const fs::path& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0); }
void makeSocket(const fs::path& path) {
    static int fd = -1;
    fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(fd, 1), 0);
}
void makeDevice(const fs::path& path) { fs::create_symlink("/dev/zero", path); }
void makeDirectory(const fs::path& path) { fs::create_directory(path); }

struct NonRegular {
    const char* name;
    Maker make;
};

const NonRegular kKinds[] = {
    {"Fifo", makeFifo}, {"Socket", makeSocket}, {"Device", makeDevice}, {"Directory", makeDirectory}};

class NonRegularFileTest : public ::testing::TestWithParam<NonRegular> {};

TEST_P(NonRegularFileTest, EveryReaderSaysUnreadableWithoutBlocking) {
    TempDirectory dir;
    const fs::path path = dir.path() / "Info.plist";
    GetParam().make(path);
    // A reader that blocks never returns: the alarm ends the test with a failure.
    ::alarm(10);
    EXPECT_FALSE(dictionaryWithContentsOfFile(path.string()).has_value());
    EXPECT_FALSE(springboard::readRegularFile(path.string(), 1 << 20).has_value());
    EXPECT_FALSE(springboard::isRegularFile(path.string()));
    EXPECT_FALSE(springboard::openRegularFile(path.string()));
    ::alarm(0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, NonRegularFileTest, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReadRegularFile, ReadsWholeUpToTheBoundAndFollowsLinks) {
    TempDirectory dir;
    writeFile(dir.path() / "f", "12345");
    fs::create_symlink(dir.path() / "f", dir.path() / "link");
    EXPECT_EQ(springboard::readRegularFile((dir.path() / "f").string(), 5), "12345");
    EXPECT_EQ(springboard::readRegularFile((dir.path() / "link").string(), 5), "12345");
    EXPECT_FALSE(springboard::readRegularFile((dir.path() / "f").string(), 4).has_value());
    EXPECT_FALSE(springboard::readRegularFile((dir.path() / "missing").string(), 5).has_value());
}

// What a hostile app may leave at "<settings>.tmp" before a write.
struct PlantedTemporary {
    const char* name;
    std::function<void(const fs::path& temporary, const fs::path& victim)> plant;
};

const PlantedTemporary kPlanted[] = {
    {"SymbolicLink", [](const fs::path& t, const fs::path& v) { fs::create_symlink(v, t); }},
    {"HardLink", [](const fs::path& t, const fs::path& v) { fs::create_hard_link(v, t); }},
    {"Fifo", [](const fs::path& t, const fs::path&) { ASSERT_EQ(::mkfifo(t.c_str(), 0644), 0); }},
    {"LeftoverFile", [](const fs::path& t, const fs::path&) { writeFile(t, "half a write"); }},
};

class PlantedTemporaryTest : public ::testing::TestWithParam<PlantedTemporary> {};

TEST_P(PlantedTemporaryTest, IsRemovedNeverWrittenThrough) {
    TempDirectory dir;
    const fs::path target = dir.path() / "settings.plist", victim = dir.path() / "victim";
    writeFile(victim, "not ours");
    GetParam().plant(fs::path(target.string() + ".tmp"), victim);
    ::alarm(10);
    ASSERT_TRUE(springboard::writeFileAtomically(target.string(), "new"));
    ::alarm(0);
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(readFile(victim), "not ours");
    EXPECT_FALSE(fs::exists(fs::symlink_status(fs::path(target.string() + ".tmp"))));
}

INSTANTIATE_TEST_SUITE_P(Planted, PlantedTemporaryTest, ::testing::ValuesIn(kPlanted),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AtomicWrite, KeepsAnExistingModeAndGivesNewFilesTheirs) {
    TempDirectory dir;
    const fs::path kept = dir.path() / "private.plist", fresh = dir.path() / "fresh.plist";
    writeFile(kept, "old");
    ASSERT_EQ(::chmod(kept.c_str(), 0600), 0);
    ASSERT_TRUE(springboard::writeFileAtomically(kept.string(), "new"));
    ASSERT_TRUE(springboard::writeFileAtomically(fresh.string(), "new", 0644));
    struct stat st {};
    ASSERT_EQ(::stat(kept.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(readFile(kept), "new");
}

}  // namespace

// A pipe takes a few pages per write, so a buffer many times its size only
// arrives whole if writeAll goes on after each short write.
TEST(WriteAll, WritesPastShortWritesAndFailsOnAClosedReader) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    springboard::FileDescriptor readEnd(ends[0]), writeEnd(ends[1]);
    const std::string bytes(1 << 20, 'x');
    std::string received;
    std::thread reader([&] {
        char chunk[4096];
        ssize_t n;
        while ((n = ::read(readEnd.get(), chunk, sizeof chunk)) > 0) received.append(chunk, static_cast<std::size_t>(n));
    });
    EXPECT_TRUE(springboard::writeAll(writeEnd.get(), bytes));
    writeEnd.reset();
    reader.join();
    EXPECT_EQ(received, bytes);

    ASSERT_EQ(::pipe(ends), 0);
    springboard::FileDescriptor closedRead(ends[0]), toNobody(ends[1]);
    closedRead.reset();
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    EXPECT_FALSE(springboard::writeAll(toNobody.get(), "x"));
    std::signal(SIGPIPE, previous);
    EXPECT_TRUE(springboard::writeAll(toNobody.get(), ""));
}
