#pragma once

// Shared by the companion suites: log capture, an event recorder for the
// application object, and running a piece of a test in a child process.

#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "Platform.h"
#include "SpringBoardEvents.h"

namespace companiontest {

using ::LogCapture;

class RecordingEvents : public SpringBoardEvents {
public:
    std::vector<std::string> lines;
    void quitTopApplication() override { lines.push_back("quit"); }
    void launchApplication(const std::string& id, bool suspended) override {
        lines.push_back("launch " + id + (suspended ? " suspended" : " not suspended"));
    }
    void frontChanged(const std::shared_ptr<InstalledApplication>& front) override {
        lines.push_back("front " + (front ? front->identifier() : std::string("home")));
    }
};

// Runs `body` in a forked child and returns the lines it produced, or
// {"child failed"} when it did not exit normally. The child never returns
// into the test framework.
inline std::vector<std::string> linesFromChild(const std::function<std::vector<std::string>()>& body) {
    int fds[2];
    if (::pipe(fds) != 0) return {"pipe failed"};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string out;
        for (const auto& line : body()) out += line + "\n";
        for (std::size_t done = 0; done < out.size();) {
            const ssize_t n = ::write(fds[1], out.data() + done, out.size() - done);
            if (n <= 0) ::_exit(2);
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {"child failed"};
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace companiontest
