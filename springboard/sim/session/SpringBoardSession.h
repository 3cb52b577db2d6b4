#pragma once

// The simulated SpringBoard on one device: boots it the way a device does
// (services, the companion through the loader, the widget host) and carries
// out script commands as the user and other apps would. Main thread only,
// one session per process.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DeviceLock.h"
#include "IPCServer.h"
#include "PWHost.h"
#include "Registration.h"
#include "ScriptParser.h"
#include "SpringBoardServices.h"
#include "SpringBoardTracer.h"
#include "Trace.h"

namespace sim {

// Whether `directory` looks like a device: it has var/mobile (the home
// directory) and Applications (the system apps), as every device has.
bool isDevice(const std::string& directory);

// Why `device` cannot be booted (no directory there, or one that is no
// device), in one line that says how to make one; absent when it can.
std::optional<std::string> deviceProblem(const std::string& device);

class SpringBoardSession {
public:
    // Boots on the device at `device`, tracing to `trace` (which must outlive
    // the session). nullptr with `error` set when the device cannot be used
    // (no such directory, a directory that is no device, another SpringBoard
    // or a package install holding the device's lock, ...); nothing but the
    // lock file is written then.
    static std::unique_ptr<SpringBoardSession> boot(const std::string& device, Trace& trace, std::string* error);

    // Records the app in front in the device: the problem when it could not
    // be written (the run must then fail), absent when it was.
    std::optional<std::string> saveState();

    // Records the app in front (unless saveState did), stops IPC, detaches listeners.
    ~SpringBoardSession();
    SpringBoardSession(const SpringBoardSession&) = delete;
    SpringBoardSession& operator=(const SpringBoardSession&) = delete;

    // Carries out one script line, then runs what it queued on the main queue.
    // A command that cannot be done is traced as an "error" event naming
    // the line (and the script, once one is named).
    void execute(const ScriptCommand& command);
    void setScriptName(std::string name) { scriptName_ = std::move(name); }

    // Runs the main queue until it is empty.
    void drain();

    const std::string& device() const { return device_; }
    PWHost& host() { return *host_; }
    SpringBoardServices& services() { return *services_; }

    // For completion and the sheet: the open widget's list choice titles
    // ({} when no widget is open) and the identifiers of installed apps.
    std::vector<std::string> listTitles() const;
    std::vector<std::string> installedApplications() const;

private:
    SpringBoardSession(std::string device, Trace& trace) : device_(std::move(device)), trace_(trace) {}
    bool start(std::string* error);
    void error(const std::string& text);
    void check(const PWResult& result);
    void front(const std::string& identifier);
    void pick(const std::string& title);
    void pickIndex(long long index);
    void sendIPC(const std::string& message, const nlohmann::json& payload);
    void notify(const std::string& name, const nlohmann::json& payload);

    std::string device_;
    Trace& trace_;
    // Held until everything else has stopped and written its state.
    std::unique_ptr<DeviceLock> lock_;
    std::string scriptName_;
    int line_ = 0;  // the line being carried out; 0 while booting
    bool stateSaved_ = false;
    std::shared_ptr<SpringBoardTracer> tracer_;
    std::unique_ptr<SpringBoardServices> services_;
    std::unique_ptr<objcipc::IPCServer> ipc_;
    std::unique_ptr<PWHost> host_;
    springboard::Registration logSink_;
    springboard::Registration postListener_;
};

}  // namespace sim
