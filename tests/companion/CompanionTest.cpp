// The companion library as SpringBoard loads it: the real VLIPC.so, opened
// once per process, against SpringBoard's real services on a test device.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <thread>

#include "ApplicationController.h"
#include "CompanionTestSupport.h"
#include "IPCServer.h"
#include "MainQueue.h"
#include "NSDistributedNotificationCenter.h"
#include "OBJCIPC.h"
#include "ObjCRuntime.h"
#include "SpringBoardApplication.h"
#include "TestDevice.h"

namespace {

using companiontest::LogCapture;
using companiontest::RecordingEvents;

class CompanionTest : public ::testing::Test {
protected:
    // The class object stays registered for the whole process, as in
    // SpringBoard: the library's reader caches it once found.
    static void SetUpTestSuite() {
        static ApplicationControllerClass cls(controller());
        objc_registerClass(&cls);
        springboard::setLogToStandardError(false);
        if (!dlopen(VLIPC_PATH, RTLD_NOW | RTLD_LOCAL)) FAIL() << dlerror();
    }
    static const std::shared_ptr<ApplicationController>& controller() {
        static const auto instance = std::make_shared<ApplicationController>(nullptr);
        return instance;
    }

    void SetUp() override {
        device_.installSystemApp("MobileSafari", "com.apple.mobilesafari", {"http"});
        clear_ = device_.installClear({"Home", "Work", "Caf\xc3\xa9"});
        boot();
    }
    void TearDown() override {
        springboard::drainMainQueue();
        springboard::setSharedApplication(nullptr);
        controller()->setRegistry(nullptr);
    }

    // Scans the device and makes a SpringBoard application for it.
    void boot() {
        springboard::setDeviceRoot(device_.root());
        const auto registry = ApplicationRegistry::scan(device_.root());
        controller()->setRegistry(registry);
        app_ = SpringBoardApplication::applicationWithRegistry(registry, events_);
        springboard::setSharedApplication(app_);
    }

    void postKill(const std::optional<Dictionary>& userInfo) {
        NSDistributedNotificationCenter::defaultCenter()->postNotificationName("VLIPC.Kill", Value(), userInfo);
    }

    static std::optional<Dictionary> lists(const Dictionary& request = {}) {
        return OBJCIPC::sendMessageToSpringBoardWithMessageName("VLIPC.Lists", request, 30);
    }
    static Dictionary listsReply(std::vector<std::string> names) {
        Array array;
        for (auto& name : names) array.emplace_back(std::move(name));
        return {{"lists", Value(array)}};
    }

    TestDevice device_;
    std::string clear_;
    std::shared_ptr<RecordingEvents> events_ = std::make_shared<RecordingEvents>();
    std::shared_ptr<SpringBoardApplication> app_;
};

TEST_F(CompanionTest, KillForSpringBoardQuitsTheTopApplication) {
    app_->setFrontMostApplication(app_->registry()->applicationWithIdentifier("com.apple.mobilesafari"));
    events_->lines.clear();
    LogCapture log;
    postKill(Dictionary{{"identifier", Value("com.apple.springboard")}});
    EXPECT_TRUE(log.lines().empty()) << "the observer runs on the main queue, not at post";

    springboard::drainMainQueue();
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"[Velmora]Fire ze missles! com.apple.springboard",
                                                     "[Velmora]Done chaining!"}));
    EXPECT_EQ(events_->lines, (std::vector<std::string>{"quit", "front home"}));
}

TEST_F(CompanionTest, KillForAnotherAppLaunchesItToTheFront) {
    LogCapture log;
    postKill(Dictionary{{"identifier", Value("com.apple.mobilesafari")}});
    springboard::drainMainQueue();
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"[Velmora]Fire ze missles! com.apple.mobilesafari",
                                                     "[Velmora]Go back home...", "[Velmora]Done chaining!"}));
    EXPECT_EQ(events_->lines,
              (std::vector<std::string>{"launch com.apple.mobilesafari not suspended", "front com.apple.mobilesafari"}));
}

TEST_F(CompanionTest, KillComparesTheIdentifierExactly) {
    LogCapture log;
    postKill(Dictionary{{"identifier", Value("com.apple.SpringBoard")}});
    springboard::drainMainQueue();
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"[Velmora]Fire ze missles! com.apple.SpringBoard",
                                                     "[Velmora]Go back home...", "[Velmora]Done chaining!"}));
    EXPECT_EQ(events_->lines, (std::vector<std::string>{"launch com.apple.SpringBoard not suspended"}));
}

TEST_F(CompanionTest, KillWithoutAStringIdentifierIsLoggedAndIgnored) {
    const std::optional<Dictionary> payloads[] = {
        std::nullopt,
        Dictionary{},
        Dictionary{{"identifier", Value(42)}},
        Dictionary{{"identifier", Value(Array{Value("com.apple.springboard")})}},
        Dictionary{{"Identifier", Value("com.apple.springboard")}},
    };
    for (const auto& payload : payloads) {
        LogCapture log;
        postKill(payload);
        springboard::drainMainQueue();
        const auto lines = log.lines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].rfind("[Velmora]Ignoring VLIPC.Kill without a string identifier", 0), 0u) << lines[0];
    }
    EXPECT_TRUE(events_->lines.empty());
}

TEST_F(CompanionTest, KillWithNoApplicationObjectStillLogsTheSequence) {
    springboard::setSharedApplication(nullptr);
    LogCapture log;
    postKill(Dictionary{{"identifier", Value("com.apple.springboard")}});
    springboard::drainMainQueue();
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"[Velmora]Fire ze missles! com.apple.springboard",
                                                     "[Velmora]Done chaining!"}));
}

TEST_F(CompanionTest, ListsAreServedOverTheSocketToAnotherThread) {
    std::string error;
    auto server = objcipc::IPCServer::start(device_.root(), &error);
    ASSERT_NE(server, nullptr) << error;
    std::optional<Dictionary> empty, other;
    std::thread app([&] {
        empty = lists();
        other = lists({{"anything", Value("ignored")}, {"n", Value(3)}});
    });
    app.join();
    EXPECT_EQ(empty, listsReply({"Home", "Work", "Caf\xc3\xa9"}));
    EXPECT_EQ(other, empty);
}

TEST_F(CompanionTest, AListAddedBetweenTwoMessagesIsInTheSecondReply) {
    auto server = objcipc::IPCServer::start(device_.root(), nullptr);
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(lists(), listsReply({"Home", "Work", "Caf\xc3\xa9"}));
    TestDevice::addClearList(clear_, "Groceries");
    EXPECT_EQ(lists(), listsReply({"Home", "Work", "Caf\xc3\xa9", "Groceries"}));
}

TEST_F(CompanionTest, WithoutClearTheListsAreEmpty) {
    TestDevice bare;
    bare.installSystemApp("MobileSafari", "com.apple.mobilesafari", {"http"});
    springboard::setDeviceRoot(bare.root());
    controller()->setRegistry(ApplicationRegistry::scan(bare.root()));
    auto server = objcipc::IPCServer::start(bare.root(), nullptr);
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(lists(), listsReply({}));
}

TEST_F(CompanionTest, ListsAreServedToAnotherProcess) {
    // Fork before any server thread exists; the child waits for the go-ahead.
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(go[1]);
        char byte;
        if (::read(go[0], &byte, 1) != 1) ::_exit(3);
        const auto reply = lists();
        if (!reply) ::_exit(4);
        std::printf("child got %s\n", describe(*reply).c_str());
        std::fflush(stdout);
        ::_exit(*reply == listsReply({"Home", "Work", "Caf\xc3\xa9"}) ? 0 : 5);
    }
    ::close(go[0]);
    auto server = objcipc::IPCServer::start(device_.root(), nullptr);
    ASSERT_NE(server, nullptr);
    ASSERT_EQ(::write(go[1], "x", 1), 1);
    ::close(go[1]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: no go-ahead, 4: no reply, 5: wrong reply";
}

}  // namespace
