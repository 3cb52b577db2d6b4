#include "SharedStringArena.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "StringArrayBuilder.h"
#include "Value.h"

namespace {

std::string textOf(std::size_t length, char seed) {
    std::string text(length, seed);
    for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>('a' + (seed + i) % 26);
    return text;
}

// Strings of every size around the block sizes outlive their arena and
// their dropped siblings with their bytes intact (a block freed too early
// is a use-after-free under AddressSanitizer, one never freed a leak).
TEST(SharedStringArena, StringsOutliveTheArenaAndTheirSiblings) {
    const std::size_t lengths[] = {0, 1, 15, 1007, 1008, 1009, 3, 2040, 5000, 70000, 2, 65520, 1};
    std::vector<SharedString> kept;
    std::vector<std::string> expected;
    {
        SharedStringArena arena;
        std::vector<SharedString> dropped;
        char seed = 0;
        for (std::size_t length : lengths) {
            kept.push_back(arena.make(textOf(length, seed)));
            expected.push_back(textOf(length, seed++));
            dropped.push_back(arena.make(textOf(length, 'z')));
        }
    }
    ASSERT_EQ(kept.size(), expected.size());
    for (std::size_t i = 0; i < kept.size(); ++i) EXPECT_EQ(kept[i].view(), expected[i]) << "string " << i;
}

// Two strings of every short length fill a first block of exactly their
// size; the second is copied in line, so a copy that writes a byte too many
// overflows the heap under AddressSanitizer, and one too few shows here.
TEST(SharedStringArena, EveryShortLengthIsCopiedExactly) {
    for (std::size_t length = 1; length <= 40; ++length) {
        SharedStringArena arena(2 * length);
        const std::string first = textOf(length, 'a'), second = textOf(length, static_cast<char>(length));
        const SharedString made = arena.make(first);
        EXPECT_EQ(arena.make(second).view(), second) << length;
        EXPECT_EQ(made.view(), first) << length;
    }
}

TEST(SharedStringArena, ShortStringsLieSideBySideAndCommitTakesOnlyWhatWasWritten) {
    SharedStringArena arena(64);
    const SharedString first = arena.make("Groceries");
    char* room = arena.reserve(30);  // room for ten UTF-16 units
    std::memcpy(room, "Caf\xC3\xA9", 5);
    const SharedString second = arena.commit(5);
    const SharedString third = arena.make("Work");
    EXPECT_EQ(first.view(), "Groceries");
    EXPECT_EQ(second.view(), "Caf\xC3\xA9");
    EXPECT_EQ(third.view(), "Work");
    EXPECT_EQ(second.view().data(), first.view().data() + first.size());
    EXPECT_EQ(third.view().data(), second.view().data() + second.size());
    // Past the first block's 64 bytes: a new block, the old strings intact.
    const SharedString fourth = arena.make(std::string(100, 'x'));
    EXPECT_EQ(fourth.view(), std::string(100, 'x'));
    EXPECT_EQ(first.view(), "Groceries");
}

TEST(SharedStringArena, EmptyRoomIsRoomAndCommitStaysWithinIt) {
    SharedStringArena arena;
    EXPECT_NE(arena.reserve(0), nullptr) << "before any block";
    EXPECT_EQ(arena.commit(0).view(), "");
    std::memcpy(arena.reserve(4), "abcd", 4);
    EXPECT_THROW(arena.commit(5), std::length_error);
    EXPECT_EQ(arena.make("e").view(), "e");
}

// Copies share the bytes and may be dropped on any thread, while the arena
// that made their block still makes strings from it.
TEST(SharedString, CopiesShareBytesAndAreReleasedOnAnyThread) {
    const Value original(std::string(40, 'q'));
    const Value copy = original;
    EXPECT_EQ(copy.asString()->data(), original.asString()->data());

    SharedStringArena arena;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        std::vector<Value> batch;
        for (int i = 0; i < 50; ++i) batch.emplace_back(arena.make("title " + std::to_string(t * 50 + i)));
        threads.emplace_back([batch = std::move(batch), copy]() mutable {
            for (int round = 0; round < 100; ++round) {
                std::vector<Value> copies = batch;
                EXPECT_EQ(copies.back().asString()->substr(0, 6), "title ");
            }
            batch.clear();
        });
    }
    for (int i = 0; i < 200; ++i) EXPECT_EQ(arena.make("more").view(), "more");
    for (auto& thread : threads) thread.join();
}

// Arrays copy and drop their strings' references a run of one block at a
// time. Whatever the order in which the source, the copy and single values
// taken out of them go, each string keeps its bytes while anything holds it
// and every block goes with the last holder (too early is a use-after-free
// under AddressSanitizer, never a leak).
TEST(SharedString, ArraysShareAndDropTheirStringsARunAtATime) {
    enum class Order { sourceFirst, copyFirst };
    for (const Order order : {Order::sourceFirst, Order::copyFirst}) {
        std::vector<Value> kept;
        {
            SharedStringArena small(16);  // a few strings to a block: runs end mid-array
            Array source;
            for (int i = 0; i < 12; ++i) source.emplace_back(small.make("t" + std::to_string(i)));
            source.emplace_back(std::string(40, 'o'));  // a block of its own
            source.emplace_back("");
            source.emplace_back();
            source.emplace_back(7);
            source.emplace_back(Array{Value(small.make("nested")), Value(1.5)});
            source.emplace_back(Dictionary{{"k", Value(small.make("in a dictionary"))}});
            source.emplace_back(Data{{1, 2, 3}});
            source.emplace_back(small.make("t0"));  // back to a block seen before
            const Array expected = source;

            Value original(std::move(source));
            Value copy(arrayByAddingObject(*original.asArray(), Value("last")));
            const Array& copied = *copy.asArray();
            ASSERT_EQ(copied.size(), expected.size() + 1);
            for (std::size_t i = 0; i < expected.size(); ++i) {
                EXPECT_EQ(copied[i], expected[i]) << i;
                if (expected[i].isString() && !expected[i].asString()->empty()) {
                    EXPECT_EQ(copied[i].asString()->data(), original.asArray()->at(i).asString()->data()) << i;
                }
            }
            EXPECT_EQ(copied.back(), Value("last"));
            kept = {original.asArray()->at(3), copied.at(11), copied.at(16), copied.at(12)};
            if (order == Order::sourceFirst) original = Value();
            copy = Value();
            original = Value();
        }
        EXPECT_EQ(*kept[0].asString(), "t3");
        EXPECT_EQ(*kept[1].asString(), "t11");
        EXPECT_EQ(*kept[2].asArray()->front().asString(), "nested");
        EXPECT_EQ(*kept[3].asString(), std::string(40, 'o'));
    }
}

// What a deliverable builds a list with: the strings come out in order,
// outlive the builder, and take() starts it over.
TEST(StringArrayBuilder, TakesTheStringsInOrderAndStartsOver) {
    Array first, second;
    {
        StringArrayBuilder builder;
        for (std::size_t length : {3, 0, 1500, 70000, 7}) builder.append(textOf(length, 'b'));
        first = builder.take();
        EXPECT_TRUE(builder.appendUTF8("again"));
        EXPECT_FALSE(builder.appendUTF8("caf\xE9"));   // Latin-1, no UTF-8: nothing added
        EXPECT_FALSE(builder.appendUTF8("\xC3"));      // a sequence cut short
        second = builder.take();
        EXPECT_TRUE(builder.take().empty());
    }
    ASSERT_EQ(first.size(), 5u);
    std::size_t i = 0;
    for (std::size_t length : {3, 0, 1500, 70000, 7}) EXPECT_EQ(*first[i++].asString(), textOf(length, 'b'));
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(*second[0].asString(), "again");
    // However it grew, no more than half of the array it hands over is unused.
    for (const std::size_t count : {1u, 17u, 100u, 1000u, 5000u, 20000u}) {
        StringArrayBuilder builder;
        for (std::size_t n = 0; n < count; ++n) builder.append("x");
        const Array taken = builder.take();
        EXPECT_EQ(taken.size(), count);
        EXPECT_LE(taken.capacity(), 2 * count) << count;
    }
}

}  // namespace
