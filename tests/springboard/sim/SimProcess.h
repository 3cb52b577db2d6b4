#pragma once

// Runs the real velmora-sim binary for end-to-end tests, and reads what it
// leaves behind (the trace, the devices it makes).

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "BuildPaths.h"
namespace simtest {

namespace fs = std::filesystem;

inline std::string simBinary() {
    const std::string build = buildDirectory();
    return (build.empty() ? std::string(".") : build) + "/bin/velmora-sim";
}

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;

    // The trace on standard output, one JSON object per line.
    std::vector<nlohmann::json> events() const {
        std::vector<nlohmann::json> list;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            if (!line.empty()) list.push_back(nlohmann::json::parse(line));
        return list;
    }
};

// A scratch directory under /tmp with a short name (the IPC socket path
// inside a device must stay short), removed at the end.
class Scratch {
public:
    Scratch() {
        std::string pattern = "/tmp/vsim-XXXXXX";
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

// Starts the binary (`program`: the build's unless named) with `args`,
// standard input from `input`, standard output and error into files of
// `scratch`. Returns the child's pid.
inline pid_t spawn(const std::vector<std::string>& args, const std::string& input, const fs::path& outFile,
                   const fs::path& errFile, const fs::path& inFile, const std::string& program = simBinary()) {
    { std::ofstream(inFile, std::ios::binary) << input; }
    pid_t pid = ::fork();
    if (pid == 0) {
        int in = ::open(inFile.c_str(), O_RDONLY);
        int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        std::vector<std::string> all{program};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

inline int waitFor(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

inline Result runSim(const Scratch& scratch, const std::vector<std::string>& args, const std::string& input = "",
                     const std::string& program = simBinary()) {
    static int counter = 0;
    std::string tag = std::to_string(++counter);
    fs::path out = scratch / ("out" + tag), err = scratch / ("err" + tag), in = scratch / ("in" + tag);
    Result result;
    result.exitCode = waitFor(spawn(args, input, out, err, in, program));
    result.out = readFile(out);
    result.err = readFile(err);
    return result;
}

// The events named `name`, in order.
inline std::vector<nlohmann::json> named(const std::vector<nlohmann::json>& events, const std::string& name) {
    std::vector<nlohmann::json> found;
    for (const auto& e : events)
        if (e["event"] == name) found.push_back(e);
    return found;
}

}  // namespace simtest
