// SpringBoard's IPC server under load. 8 and 64 apps each send "VLIPC.Lists"
// (1,000 lists) at once, a fresh connection per message; against the same
// load on the floor server (IPCFloor.h: an epoll loop with our worker count,
// the floor's read and one-pass reply) asked by the floor client. The ratio
// is of the burst's wall time; the counters give throughput and the p50/p99
// latency of single messages on each side. Then the server's peak resident
// memory under 8 and 64 apps asking for 10,000 lists and 8 asking for
// 100,000, and its resident size a second after the load.

#include <sys/wait.h>

#include <chrono>
#include <fstream>

#include "Frame.h"
#include "IPCBenchSupport.h"
#include "PairedTiming.h"
#include "SocketIO.h"

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
    const std::string floorRoot = ipc.device.root() + "/floor";
    const std::string floorSocket = objcipc::socketPathForDevice(floorRoot);
    const std::string request = bench::listsRequest();
    const auto floor = bench::floorListsServer(floorRoot, static_cast<int>(objcipc::IPCServer::Options{}.maxWorkers),
                                               ipc.device.databasePath());
    if (!floor->ok() || bench::floorAskForLists(floorSocket, request) != IPCDevice::kDefaultLists) {
        state.SkipWithError("the floor server did not answer");
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
        [&] {
            allAnswered &= burst(
                apps, [&] { return bench::floorAskForLists(floorSocket, request) == IPCDevice::kDefaultLists; },
                rawLatencies);
        });
    if (!allAnswered) state.SkipWithError("some messages went unanswered");
    // Throughput from the burst medians the ratio is made of.
    const double perBurst = static_cast<double>(apps * kMessagesPerApp);
    state.counters["msgs_per_s"] = state.counters["subject_us"] > 0 ? perBurst / (state.counters["subject_us"] / 1e6) : 0;
    state.counters["floor_msgs_per_s"] = state.counters["raw_us"] > 0 ? perBurst / (state.counters["raw_us"] / 1e6) : 0;
    state.counters["p50_us"] = percentile(subjectLatencies, 0.50) * 1e6;
    state.counters["p99_us"] = percentile(subjectLatencies, 0.99) * 1e6;
    state.counters["floor_p50_us"] = percentile(rawLatencies, 0.50) * 1e6;
    state.counters["floor_p99_us"] = percentile(rawLatencies, 0.99) * 1e6;
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
// server costs, libraries included. Its size when it began serving, and a
// second after the load ended, are reported beside it: the server must give
// back what the load took.
void BM_IPCServerPeakMemory(benchmark::State& state) {
    IPCDevice& ipc = IPCDevice::instance();
    const int apps = static_cast<int>(state.range(0));
    const int lists = static_cast<int>(state.range(1));
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
            apps,
            [&] {
                const auto result = objcipc::sendMessage(serverRoot, "VLIPC.Lists", {}, 30);
                return bench::listsIn(result.reply) == static_cast<std::size_t>(lists);
            },
            latencies);
    }
    const long peak = up ? statusKilobytes(child, "VmHWM") : -1;
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long idle = up ? statusKilobytes(child, "VmRSS") : -1;
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
    state.counters["server_idle_MiB"] = static_cast<double>(idle) / 1024;
    state.counters["server_idle_growth_MiB"] = static_cast<double>(idle - before) / 1024;
}

BENCHMARK(BM_IPCServerPeakMemory)
    ->Args({8, 10000})
    ->Args({64, 10000})
    ->Args({8, 100000})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

[[maybe_unused]] const bool limits = [] {
    bench::registerGoal("BM_IPCConcurrentApps/8", 1.10);
    bench::registerGoal("BM_IPCConcurrentApps/64", 1.10);
    bench::registerLimit("BM_IPCServerPeakMemory/8/10000", "server_peak_MiB", 24);
    bench::registerLimit("BM_IPCServerPeakMemory/64/10000", "server_peak_MiB", 40);
    bench::registerLimit("BM_IPCServerPeakMemory/8/100000", "server_peak_MiB", 64);
    bench::registerLimit("BM_IPCServerPeakMemory", "server_idle_growth_MiB", 8);
    return true;
}();

}  // namespace
