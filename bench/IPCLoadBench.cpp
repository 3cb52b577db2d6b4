// SpringBoard's IPC server under load. 8 and 64 apps each send "VLIPC.Lists"
// (1,000 lists) at once, a fresh connection per message; against the same
// load on a raw server (32 threads accepting on one socket, each doing the
// raw database read and writing a reply of the same size). The ratio is of
// the burst's wall time; the counters give throughput and the p50/p99
// latency of single messages on each side. Then the server's peak resident
// memory while 8 apps ask for 10,000 lists at once.

#include <sys/wait.h>

#include <chrono>
#include <fstream>

#include "Frame.h"
#include "IPCBenchSupport.h"
#include "PairedTiming.h"
#include "RawReads.h"

namespace {

using bench::IPCDevice;
using Clock = std::chrono::steady_clock;

constexpr int kMessagesPerApp = 4;

// Runs `apps` threads each sending kMessagesPerApp messages with `send`
// (true when answered rightly), released together; appends each message's
// latency in seconds. False when any went unanswered.
template <class Send>
bool burst(int apps, Send&& send, std::vector<double>& latencies) {
    std::atomic<bool> go{false};
    std::atomic<int> failed{0};
    std::vector<std::vector<double>> perApp(static_cast<std::size_t>(apps));
    std::vector<std::thread> threads;
    for (int a = 0; a < apps; ++a) {
        threads.emplace_back([&, a] {
            while (!go.load(std::memory_order_acquire)) std::this_thread::yield();
            for (int i = 0; i < kMessagesPerApp; ++i) {
                const auto start = Clock::now();
                if (!send()) ++failed;
                perApp[static_cast<std::size_t>(a)].push_back(std::chrono::duration<double>(Clock::now() - start).count());
            }
        });
    }
    go.store(true, std::memory_order_release);
    for (auto& thread : threads) thread.join();
    for (const auto& list : perApp) latencies.insert(latencies.end(), list.begin(), list.end());
    return failed == 0;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at), values.end());
    return values[at];
}

void BM_IPCConcurrentApps(benchmark::State& state) {
    IPCDevice& ipc = IPCDevice::instance();
    const int apps = static_cast<int>(state.range(0));
    const auto reply = bench::askForLists();
    if (!ipc.loaded || !ipc.server || bench::listsIn(reply) != IPCDevice::kDefaultLists) {
        state.SkipWithError("VLIPC did not answer with every list");
        return;
    }
    const std::size_t requestSize = objcipc::encodeFrame(objcipc::requestBody("VLIPC.Lists", Dictionary{})).size();
    const std::size_t replySize = objcipc::encodeFrame(objcipc::replyBody(*reply)).size();
    const std::string database = ipc.device.databasePath();
    bench::RawServer raw(ipc.device.root() + "/raw.sock", requestSize, replySize, 32,
                         [&] { benchmark::DoNotOptimize(bench::rawListTitles(database)); });
    if (!raw.ok() || !raw.exchange()) {
        state.SkipWithError("the raw server did not answer");
        return;
    }
    std::vector<double> subjectLatencies, rawLatencies;
    bool allAnswered = true;
    bench::pairedLoop(
        state,
        [&] {
            allAnswered &= burst(
                apps, [] { return bench::listsIn(bench::askForLists()) == IPCDevice::kDefaultLists; },
                subjectLatencies);
        },
        [&] { allAnswered &= burst(apps, [&] { return raw.exchange(); }, rawLatencies); });
    if (!allAnswered) state.SkipWithError("some messages went unanswered");
    // Throughput from the burst medians the ratio is made of.
    const double perBurst = static_cast<double>(apps * kMessagesPerApp);
    state.counters["msgs_per_s"] = state.counters["subject_us"] > 0 ? perBurst / (state.counters["subject_us"] / 1e6) : 0;
    state.counters["raw_msgs_per_s"] = state.counters["raw_us"] > 0 ? perBurst / (state.counters["raw_us"] / 1e6) : 0;
    state.counters["p50_us"] = percentile(subjectLatencies, 0.50) * 1e6;
    state.counters["p99_us"] = percentile(subjectLatencies, 0.99) * 1e6;
    state.counters["raw_p50_us"] = percentile(rawLatencies, 0.50) * 1e6;
    state.counters["raw_p99_us"] = percentile(rawLatencies, 0.99) * 1e6;
}

BENCHMARK(BM_IPCConcurrentApps)->Arg(8)->Arg(64)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);

// A /proc/PID/status field in kB.
long statusKilobytes(pid_t pid, const char* field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    const std::string prefix = std::string(field) + ":";
    for (std::string line; std::getline(status, line);)
        if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
    return -1;
}

// The server runs in a process of its own (velmora-bench-server: SpringBoard
// booted on this device, VLIPC loaded), so its memory is measured apart from
// the apps' and from the benchmark's own: its peak resident size is what a
// server costs, libraries included. Its size when it began serving and the
// growth between the two are reported beside it.
void BM_IPCServerPeakMemory(benchmark::State& state) {
    IPCDevice& ipc = IPCDevice::instance();
    const int lists = static_cast<int>(state.range(0));
    ipc.installLists(lists);
    // The server's own device directory: its socket must not be the shared server's.
    const std::string serverRoot = ipc.device.root() + "/peak";
    std::filesystem::create_directories(serverRoot);
    int ready[2], release[2];
    if (!ipc.loaded || ::pipe(ready) != 0 || ::pipe(release) != 0) {
        state.SkipWithError("no companion, or no pipes");
        return;
    }
    // Made before the fork: the child of a threaded process may only exec.
    const std::string readyFd = std::to_string(ready[1]), releaseFd = std::to_string(release[0]);
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl(VELMORA_BENCH_SERVER, VELMORA_BENCH_SERVER, ipc.device.root().c_str(), serverRoot.c_str(),
                readyFd.c_str(), releaseFd.c_str(), static_cast<char*>(nullptr));
        const char failed = 0;
        (void)!::write(ready[1], &failed, 1);
        ::_exit(127);
    }
    char started = 0;
    const bool up = child > 0 && ::read(ready[0], &started, 1) == 1 && started == 1;
    const long before = up ? statusKilobytes(child, "VmRSS") : -1;
    bool answered = up;
    for (auto _ : state) {
        std::vector<double> latencies;
        answered &= burst(
            8,
            [&] {
                const auto result = objcipc::sendMessage(serverRoot, "VLIPC.Lists", {}, 30);
                return bench::listsIn(result.reply) == static_cast<std::size_t>(lists);
            },
            latencies);
    }
    const long peak = up ? statusKilobytes(child, "VmHWM") : -1;
    if (child > 0) {
        (void)!::write(release[1], "x", 1);
        ::waitpid(child, nullptr, 0);
    }
    for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
    ipc.installLists(IPCDevice::kDefaultLists);
    if (!answered) {
        state.SkipWithError("the forked server did not answer every message");
        return;
    }
    state.counters["server_peak_MiB"] = static_cast<double>(peak) / 1024;
    state.counters["server_start_MiB"] = static_cast<double>(before) / 1024;
    state.counters["server_growth_MiB"] = static_cast<double>(peak - before) / 1024;
}

BENCHMARK(BM_IPCServerPeakMemory)->Arg(10000)->Iterations(5)->Unit(benchmark::kMillisecond);

[[maybe_unused]] const bool limits = [] {
    bench::registerLimit("BM_IPCServerPeakMemory", "server_peak_MiB", 64);
    return true;
}();

}  // namespace
