#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "MainQueue.h"
#include "NSDistributedNotificationCenter.h"
#include "NotificationPostListener.h"

namespace {

// A queue that holds blocks until the test runs them.
class ManualQueue : public NSOperationQueue {
public:
    void addOperationWithBlock(std::function<void()> block) override {
        std::lock_guard lock(mutex_);
        blocks_.push_back(std::move(block));
    }
    std::size_t run() {
        std::vector<std::function<void()>> blocks;
        {
            std::lock_guard lock(mutex_);
            blocks.swap(blocks_);
        }
        for (auto& block : blocks) block();
        return blocks.size();
    }

private:
    std::mutex mutex_;
    std::vector<std::function<void()>> blocks_;
};

class NotificationCenterTest : public ::testing::Test {
protected:
    void SetUp() override { springboard::drainMainQueue(); }
    void TearDown() override {
        for (auto& token : tokens_) center_->removeObserver(token);
        springboard::drainMainQueue();
    }
    NSDistributedNotificationCenter::ObserverToken observe(const std::optional<std::string>& name,
                                                           std::shared_ptr<NSOperationQueue> queue,
                                                           std::vector<NSNotification>& into) {
        auto token = center_->addObserverForName(name, Value(), std::move(queue),
                                                 [&into](const NSNotification& n) { into.push_back(n); });
        tokens_.push_back(token);
        return token;
    }

    std::shared_ptr<NSDistributedNotificationCenter> center_ = NSDistributedNotificationCenter::defaultCenter();
    std::vector<NSDistributedNotificationCenter::ObserverToken> tokens_;
};

TEST_F(NotificationCenterTest, DefaultCenterIsOneObject) {
    EXPECT_EQ(NSDistributedNotificationCenter::defaultCenter(), center_);
}

TEST_F(NotificationCenterTest, DeliversOnTheMainQueueOnlyWhenItIsDrained) {
    std::vector<NSNotification> received;
    observe("VLIPC.Kill", nullptr, received);
    const Dictionary userInfo{{"identifier", Value("com.apple.mobilesafari")},
                              {"nested", Value(Array{Value(1), Value("two")})}};
    center_->postNotificationName("VLIPC.Kill", Value(), userInfo);
    EXPECT_TRUE(received.empty()) << "posting must not deliver synchronously";

    EXPECT_EQ(springboard::drainMainQueue(), 1u);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].name, "VLIPC.Kill");
    EXPECT_TRUE(received[0].object.isNil());
    ASSERT_TRUE(received[0].userInfo.has_value());
    EXPECT_EQ(*received[0].userInfo, userInfo);
}

TEST_F(NotificationCenterTest, MatchesByNameAndNilNameMatchesAll) {
    std::vector<NSNotification> kills, others, all;
    observe("VLIPC.Kill", nullptr, kills);
    observe("Other", nullptr, others);
    observe(std::nullopt, nullptr, all);
    center_->postNotificationName("VLIPC.Kill", Value(), std::nullopt);
    center_->postNotificationName("vlipc.kill", Value(), std::nullopt);
    springboard::drainMainQueue();
    EXPECT_EQ(kills.size(), 1u);
    EXPECT_TRUE(others.empty());
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1].name, "vlipc.kill");
    EXPECT_FALSE(all[0].userInfo.has_value());
}

TEST_F(NotificationCenterTest, UsesTheObserversOwnQueue) {
    auto queue = std::make_shared<ManualQueue>();
    std::vector<NSNotification> received;
    observe("N", queue, received);
    center_->postNotificationName("N", Value(), Dictionary{{"k", Value(1)}});
    EXPECT_EQ(springboard::drainMainQueue(), 0u);
    EXPECT_TRUE(received.empty());
    EXPECT_EQ(queue->run(), 1u);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].userInfo->at("k").integerValue(), 1);
}

TEST_F(NotificationCenterTest, RemovedObserverGetsNothingMoreEvenIfAlreadyQueued) {
    std::vector<NSNotification> received;
    auto token = observe("N", nullptr, received);
    center_->postNotificationName("N", Value(), std::nullopt);
    center_->removeObserver(token);
    center_->postNotificationName("N", Value(), std::nullopt);
    springboard::drainMainQueue();
    EXPECT_TRUE(received.empty());
    center_->removeObserver(token);  // twice is harmless
    center_->removeObserver(nullptr);
}

TEST_F(NotificationCenterTest, ObservationOutlivesItsDroppedToken) {
    std::vector<NSNotification> received;
    {
        auto token = center_->addObserverForName("Dropped", Value(), nullptr,
                                                 [&received](const NSNotification& n) { received.push_back(n); });
        tokens_.push_back(token);  // kept only so TearDown can clean up
    }
    center_->postNotificationName("Dropped", Value(), std::nullopt);
    springboard::drainMainQueue();
    EXPECT_EQ(received.size(), 1u);
}

TEST_F(NotificationCenterTest, PostListenerSeesEveryPostAsItHappens) {
    std::vector<std::pair<std::string, std::optional<Dictionary>>> posts;
    auto listener = springboard::addNotificationPostListener(
        [&posts](const std::string& name, const std::optional<Dictionary>& userInfo) {
            posts.emplace_back(name, userInfo);
        });
    center_->postNotificationName("VLIPC.Kill", Value(), Dictionary{{"identifier", Value("x")}});
    center_->postNotificationName("Unobserved", Value(), std::nullopt);
    listener.reset();
    center_->postNotificationName("After", Value(), std::nullopt);
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_EQ(posts[0].first, "VLIPC.Kill");
    EXPECT_EQ(posts[0].second->at("identifier").stringValue(), "x");
    EXPECT_EQ(posts[1].first, "Unobserved");
    EXPECT_FALSE(posts[1].second.has_value());
}

TEST_F(NotificationCenterTest, PostsFromOtherThreadsArriveOnTheDrainingThread) {
    std::vector<NSNotification> received;
    observe("Threaded", nullptr, received);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([this, t] {
            for (int i = 0; i < 50; ++i)
                center_->postNotificationName("Threaded", Value(), Dictionary{{"t", Value(t)}, {"i", Value(i)}});
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(springboard::drainMainQueue(), 200u);
    EXPECT_EQ(received.size(), 200u);
}

}  // namespace
