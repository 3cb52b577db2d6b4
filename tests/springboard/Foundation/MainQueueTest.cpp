#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "MainQueue.h"
#include "NSOperationQueue.h"

namespace {

class MainQueueTest : public ::testing::Test {
protected:
    void SetUp() override { springboard::drainMainQueue(); }
};

TEST_F(MainQueueTest, IsOneObjectForTheLifeOfTheProcess) {
    EXPECT_EQ(NSOperationQueue::mainQueue(), NSOperationQueue::mainQueue());
}

TEST_F(MainQueueTest, RunsNothingUntilDrainedThenEverythingInOrder) {
    std::vector<int> ran;
    for (int i = 0; i < 5; ++i) NSOperationQueue::mainQueue()->addOperationWithBlock([&ran, i] { ran.push_back(i); });
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(springboard::pendingMainQueueOperations(), 5u);
    EXPECT_EQ(springboard::drainMainQueue(), 5u);
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(springboard::drainMainQueue(), 0u);
}

TEST_F(MainQueueTest, DrainAlsoRunsWorkQueuedWhileDraining) {
    std::vector<std::string> ran;
    auto queue = NSOperationQueue::mainQueue();
    queue->addOperationWithBlock([&] {
        ran.push_back("first");
        queue->addOperationWithBlock([&] {
            ran.push_back("queued by first");
            queue->addOperationWithBlock([&] { ran.push_back("queued by that"); });
        });
    });
    queue->addOperationWithBlock([&] { ran.push_back("second"); });
    EXPECT_EQ(springboard::drainMainQueue(), 4u);
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "second", "queued by first", "queued by that"}));
}

TEST_F(MainQueueTest, AddsFromManyThreadsKeepEachThreadsOrder) {
    constexpr int kThreads = 8, kPerThread = 500;
    std::vector<std::pair<int, int>> ran;  // touched only by the draining thread
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&ran, t] {
            for (int i = 0; i < kPerThread; ++i)
                NSOperationQueue::mainQueue()->addOperationWithBlock([&ran, t, i] { ran.emplace_back(t, i); });
        });
    // Drain while the producers are still adding.
    std::size_t total = 0;
    while (total < static_cast<std::size_t>(kThreads * kPerThread)) {
        springboard::waitForMainQueueWork(std::chrono::milliseconds(50));
        total += springboard::drainMainQueue();
    }
    for (auto& thread : threads) thread.join();
    ASSERT_EQ(ran.size(), static_cast<std::size_t>(kThreads * kPerThread));
    std::map<int, int> next;
    for (const auto& [t, i] : ran) EXPECT_EQ(i, next[t]++) << "thread " << t;
}

TEST_F(MainQueueTest, WaitReportsWhetherWorkIsWaiting) {
    EXPECT_FALSE(springboard::waitForMainQueueWork(std::chrono::milliseconds(1)));
    std::thread producer([] { NSOperationQueue::mainQueue()->addOperationWithBlock([] {}); });
    EXPECT_TRUE(springboard::waitForMainQueueWork(std::chrono::minutes(1)));
    producer.join();
    EXPECT_EQ(springboard::drainMainQueue(), 1u);
}

TEST_F(MainQueueTest, AnEmptyBlockIsIgnored) {
    NSOperationQueue::mainQueue()->addOperationWithBlock(nullptr);
    EXPECT_EQ(springboard::drainMainQueue(), 0u);
}

}  // namespace
