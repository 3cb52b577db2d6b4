#include "Dpkg.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

extern char** environ;

namespace sim {
namespace {

constexpr std::size_t kMaxOutputKept = 1u << 20;

// dpkg looks for ldconfig and start-stop-daemon on PATH before it starts,
// and ordinary users' PATHs lack the sbin folders.
std::string dpkgPath() {
    const char* path = std::getenv("PATH");
    return std::string("PATH=/usr/local/sbin:/usr/sbin:/sbin:") + (path && *path ? path : "/usr/local/bin:/usr/bin:/bin");
}

struct Output {
    int status = -1;
    std::string text;
};

Output spawn(std::vector<std::string> arguments, bool frontendLocked) {
    Output output;
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        std::string_view variable(*entry);
        if (variable.rfind("PATH=", 0) == 0 || variable.rfind("DPKG_", 0) == 0) continue;
        environment.emplace_back(variable);
    }
    environment.push_back(dpkgPath());
    if (frontendLocked) environment.push_back("DPKG_FRONTEND_LOCKED=1");
    std::vector<char*> argv, envp;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    for (auto& variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return output;
    springboard::FileDescriptor readEnd(pipeFds[0]), writeEnd(pipeFds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDERR_FILENO);
    pid_t pid = -1;
    // PATH of the environment given, so the host's dpkg is found as a shell would.
    const std::string path = dpkgPath().substr(5);
    std::string program = "dpkg";
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        std::string candidate = path.substr(start, end - start) + "/" + arguments[0];
        if (::access(candidate.c_str(), X_OK) == 0) {
            program = candidate;
            break;
        }
        start = end + 1;
    }
    int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.reset();
    if (spawned != 0) {
        output.text = "dpkg: cannot run " + arguments[0] + ": " + std::strerror(spawned);
        return output;
    }
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(readEnd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (output.text.size() < kMaxOutputKept) output.text.append(buffer, static_cast<std::size_t>(n));
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    output.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return output;
}

// "dpkg: error processing archive X (--install):" says where; the reason
// follows on the next, indented line.
std::string firstErrorLine(const std::string& text) {
    std::size_t start = text.find("dpkg: error");
    if (start == std::string::npos) start = text.find("dpkg: ");
    if (start == std::string::npos) start = 0;
    std::size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == ':' && end != std::string::npos) {
        std::size_t next = text.find('\n', end + 1);
        std::string reason = text.substr(end + 1, next == std::string::npos ? std::string::npos : next - end - 1);
        std::size_t first = reason.find_first_not_of(" \t");
        if (first != std::string::npos) line += " " + reason.substr(first);
    }
    return line.empty() ? "dpkg failed without saying why" : line;
}

}  // namespace

std::unique_ptr<DpkgFrontendLock> DpkgFrontendLock::acquire(const std::string& device, std::string* error) {
    const std::string path = device + "/var/lib/dpkg/lock-frontend";
    springboard::FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0640));
    // dpkg's own kind of lock: a whole-file fcntl write lock.
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (!fd || ::fcntl(fd.get(), F_SETLK, &lock) != 0) {
        if (error)
            *error = fd ? "another package tool (dpkg or apt) is using " + device + "'s database; try again when it is done"
                        : "cannot open " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<DpkgFrontendLock>(new DpkgFrontendLock(std::move(fd)));
}

bool runDpkg(const std::string& device, const std::vector<std::string>& arguments, std::string* error) {
    std::vector<std::string> command{"dpkg", "--root=" + device, "--log=" + device + "/var/log/dpkg.log"};
    if (::geteuid() != 0) command.push_back("--force-not-root");
    command.insert(command.end(), arguments.begin(), arguments.end());
    Output output = spawn(std::move(command), /*frontendLocked=*/true);
    if (output.status == 0) return true;
    if (error) *error = firstErrorLine(output.text);
    return false;
}

bool compareVersions(const std::string& a, const std::string& relation, const std::string& b) {
    return spawn({"dpkg", "--compare-versions", a, relation, b}, /*frontendLocked=*/false).status == 0;
}

}  // namespace sim
