#include "NSLog.h"

#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <vector>

#include "NSString.h"
#include "Platform.h"

namespace {

struct LogState {
    std::mutex mutex;
    std::vector<std::pair<std::size_t, springboard::LogSink>> sinks;
    std::size_t nextId = 1;
    bool toStandardError = true;
};

// Never destroyed, so code that logs while the process exits still can.
LogState& state() {
    static auto* s = new LogState;
    return *s;
}

// NSLog's line: "2026-12-08 21:56:15.123 name[pid:tid] message".
std::string logLine(const std::string& message) {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    std::tm tm{};
    localtime_r(&tv.tv_sec, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
    char prefix[128];
    std::snprintf(prefix, sizeof prefix, "%s.%03ld %s[%d:%ld] ", stamp, static_cast<long>(tv.tv_usec / 1000),
                  program_invocation_short_name, static_cast<int>(getpid()), static_cast<long>(syscall(SYS_gettid)));
    return prefix + message + "\n";
}

}  // namespace

namespace springboard {

Registration addLogSink(LogSink sink) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    const auto id = s.nextId++;
    s.sinks.emplace_back(id, std::move(sink));
    return Registration([id] {
        auto& s = state();
        std::lock_guard lock(s.mutex);
        std::erase_if(s.sinks, [id](const auto& entry) { return entry.first == id; });
    });
}

void setLogToStandardError(bool enabled) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.toStandardError = enabled;
}

}  // namespace springboard

void NSLog(std::string_view format, std::initializer_list<Value> arguments) {
    std::string message = stringWithFormat(format, arguments);
    auto& s = state();
    std::vector<springboard::LogSink> sinks;
    bool toStandardError;
    {
        std::lock_guard lock(s.mutex);
        for (const auto& entry : s.sinks) sinks.push_back(entry.second);
        toStandardError = s.toStandardError;
    }
    if (toStandardError) {
        std::string line = logLine(message);
        std::fwrite(line.data(), 1, line.size(), stderr);
    }
    // Sinks run outside the lock, so one that logs in turn cannot deadlock.
    for (const auto& sink : sinks) sink(message);
}
