// "VLIPC.Lists" over the socket: an app sends the message, SpringBoard's IPC
// server hands it to the companion's handler (the real VLIPC.so, loaded as
// the loader loads it), which reads Clear's lists; the reply comes back.
// Against a raw read of the same database plus a raw Unix-socket ping-pong
// of the same request and reply sizes on a fresh connection (one connection
// per message, as the IPC library makes). At 1,000 and 10,000 lists (with
// goals) and 100,000 (ratio only); at 1,000 and 10,000 also against a raw
// server that reads itself (no goal). Then an empty message against a bare
// ping-pong, and the message rate with 8 apps asking at once.

#include "Frame.h"
#include "IPCBenchSupport.h"
#include "PairedTiming.h"
#include "RawReads.h"

namespace {

using bench::askForLists;
using bench::IPCDevice;
using bench::listsIn;

void BM_IPCListsRoundTrip(benchmark::State& state) {
    IPCDevice& ipc = IPCDevice::instance();
    const int lists = static_cast<int>(state.range(0));
    ipc.installLists(lists);
    const auto reply = askForLists();
    if (!ipc.loaded || !ipc.server || listsIn(reply) != static_cast<std::size_t>(lists)) {
        state.SkipWithError("VLIPC did not answer with every list");
        ipc.installLists(IPCDevice::kDefaultLists);
        return;
    }
    const std::size_t requestSize = objcipc::encodeFrame(objcipc::requestBody("VLIPC.Lists", Dictionary{})).size();
    const std::size_t replySize = objcipc::encodeFrame(objcipc::replyBody(*reply)).size();
    {
        bench::RawServer pingPong(ipc.device.root() + "/pingpong.sock", requestSize, replySize, 1);
        if (!pingPong.ok() || !pingPong.exchange()) {
            state.SkipWithError("the raw ping-pong server did not answer");
        } else {
            bench::pairedLoop(
                state, [&] { benchmark::DoNotOptimize(askForLists()); },
                [&] {
                    benchmark::DoNotOptimize(bench::rawListTitles(ipc.device.databasePath()));
                    pingPong.exchange();
                });
        }
    }
    state.counters["reply_bytes"] = static_cast<double>(replySize);
    ipc.installLists(IPCDevice::kDefaultLists);
}

BENCHMARK(BM_IPCListsRoundTrip)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(0.3);
// A read and reply of 100,000 lists: no goal, the ratio only.
BENCHMARK(BM_IPCListsRoundTrip)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The same round trip against a raw server thread that does the raw read
// itself and then writes a reply of the same size, as SpringBoard must. No
// goal: it shows what the shape of the baseline above is worth. There the
// app's thread reads and then waits a few microseconds for an echo; here,
// as in the real round trip, it waits out the whole read, and on this
// machine the wake-up after a long wait costs more.
void BM_IPCListsAgainstServerRead(benchmark::State& state) {
    IPCDevice& ipc = IPCDevice::instance();
    const int lists = static_cast<int>(state.range(0));
    ipc.installLists(lists);
    const auto reply = askForLists();
    const std::size_t requestSize = objcipc::encodeFrame(objcipc::requestBody("VLIPC.Lists", Dictionary{})).size();
    const std::size_t replySize = reply ? objcipc::encodeFrame(objcipc::replyBody(*reply)).size() : 0;
    {
        const std::string database = ipc.device.databasePath();
        bench::RawServer readingServer(ipc.device.root() + "/reading.sock", requestSize, replySize, 1,
                                       [&] { benchmark::DoNotOptimize(bench::rawListTitles(database)); });
        if (listsIn(reply) != static_cast<std::size_t>(lists) || !readingServer.ok() || !readingServer.exchange()) {
            state.SkipWithError("VLIPC or the raw reading server did not answer");
        } else {
            bench::pairedLoop(
                state, [&] { benchmark::DoNotOptimize(askForLists()); }, [&] { readingServer.exchange(); });
        }
    }
    ipc.installLists(IPCDevice::kDefaultLists);
}

BENCHMARK(BM_IPCListsAgainstServerRead)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(0.3);

// The fixed cost of a message: an empty request answered with an empty
// dictionary, against a bare ping-pong of the same bytes.
void BM_IPCEmptyRoundTrip(benchmark::State& state) {
    IPCDevice& ipc = IPCDevice::instance();
    auto empty = [] { return OBJCIPC::sendMessageToSpringBoardWithMessageName("Bench.Empty", Dictionary{}); };
    if (!ipc.server || empty() != Dictionary{}) {
        state.SkipWithError("the empty message went unanswered");
        return;
    }
    const std::size_t requestSize = objcipc::encodeFrame(objcipc::requestBody("Bench.Empty", Dictionary{})).size();
    const std::size_t replySize = objcipc::encodeFrame(objcipc::replyBody(Dictionary{})).size();
    bench::RawServer pingPong(ipc.device.root() + "/pingpong.sock", requestSize, replySize, 1);
    if (!pingPong.ok() || !pingPong.exchange()) {
        state.SkipWithError("the raw ping-pong server did not answer");
        return;
    }
    bench::pairedLoop(
        state, [&] { benchmark::DoNotOptimize(empty()); }, [&] { pingPong.exchange(); });
}

BENCHMARK(BM_IPCEmptyRoundTrip)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(0.3);

// Messages answered per second with 8 apps sending at once.
void BM_IPCListsThroughput(benchmark::State& state) {
    IPCDevice& ipc = IPCDevice::instance();
    std::size_t failed = 0;
    for (auto _ : state) {
        if (listsIn(askForLists()) != IPCDevice::kDefaultLists) ++failed;
    }
    if (!ipc.loaded || failed > 0) state.SkipWithError("some messages went unanswered");
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_IPCListsThroughput)->Threads(8)->UseRealTime()->Unit(benchmark::kMicrosecond)->MinTime(0.5);

[[maybe_unused]] const bool goals = [] {
    bench::registerGoal("BM_IPCListsRoundTrip/1000", 1.30);
    bench::registerGoal("BM_IPCListsRoundTrip/10000", 1.30);
    bench::registerGoal("BM_IPCEmptyRoundTrip", 1.50);
    return true;
}();

}  // namespace
