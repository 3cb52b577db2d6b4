#pragma once

// Helpers for the fault tests: child processes that are killed or limited,
// and exact looks at the files they leave behind.

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace faults {

// Runs `body` in a forked child and returns its pid. The child leaves with
// _exit (no atexit handlers, no gtest teardown) with body's result as status.
inline pid_t forkChild(const std::function<int()>& body) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    return pid;
}

// The child's exit status, or -signal when a signal ended it.
inline int waitChild(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return -WTERMSIG(status);
    return -1000;
}

// The names in `directory`, sorted.
inline std::vector<std::string> entries(const std::filesystem::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace faults
