#include "NSLog.h"

#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "FoundationState.h"
#include "NSString.h"

namespace {

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

void NSLog(std::string_view format, std::initializer_list<Value> arguments) {
    std::string message = stringWithFormat(format, arguments);
    const auto targets = springboard::logTargets();
    if (targets.toStandardError) {
        std::string line = logLine(message);
        std::fwrite(line.data(), 1, line.size(), stderr);
    }
    // Sinks run on a copy of the list, outside its lock, so one that logs in
    // turn cannot deadlock.
    for (const auto& sink : targets.sinks) sink(message);
}
