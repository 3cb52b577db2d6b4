// velmora-sim: the simulated SpringBoard. See the usage (velmora-sim --help).

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>

#include <CLI/CLI.hpp>

#include "Client.h"
#include "ClearDatabase.h"
#include "BuiltPackage.h"
#include "DeviceCommand.h"
#include "InteractiveConsole.h"
#include "MainQueue.h"
#include "Platform.h"
#include "ScriptParser.h"
#include "SpringBoardSession.h"
#include "Trace.h"

namespace fs = std::filesystem;
using namespace sim;

namespace {

constexpr int kUsageError = 2;
constexpr int kFailure = 1;

int usageError(const std::string& message) {
    std::cerr << "velmora-sim: " << message << "\n";
    return kUsageError;
}

int failure(const std::string& message) {
    std::cerr << "velmora-sim: " << message << "\n";
    return kFailure;
}

std::atomic<bool> stopRequested{false};
extern "C" void requestStop(int) { stopRequested = true; }

// SIGINT, SIGTERM and SIGHUP ask for an orderly stop (so the session shuts
// down and a sample device is removed); blocking reads are interrupted.
void stopOnSignals() {
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

// A temporary directory removed on destruction (the sample device of `run`).
class TemporaryDirectory {
public:
    TemporaryDirectory() {
        std::string pattern = (fs::temp_directory_path() / "velmora-sim-XXXXXX").string();
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TemporaryDirectory() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Where the trace goes: a file, standard output, or nowhere.
struct TraceTarget {
    std::ofstream file;
    std::ostream* stream = nullptr;

    bool open(const std::string& target, std::string* error) {
        if (target.empty()) return true;
        if (target == "-") {
            stream = &std::cout;
            return true;
        }
        file.open(target, std::ios::trunc);
        if (!file) {
            *error = "cannot write the trace to " + target;
            return false;
        }
        stream = &file;
        return true;
    }
};

struct RunOptions {
    std::string device;
    std::string script;
    std::string trace;
    bool traceGiven = false;
    bool demo = false;
};

// What `run --demo` plays on the sample device: the road a newcomer should
// see first, from Safari to Clear and back.
const char* const kDemoScript[] = {
    "# Safari is in front. The user calls up the widget:",
    "open",
    "pick Bread & Butter",
    "type Jam & toast",
    "submit",
    "# Clear got the task, and Safari is back in front. Now a new list:",
    "open",
    "pick Create List...",
    "answer Holidays",
    "# Another app asks SpringBoard for Clear's lists:",
    "ipc VLIPC.Lists",
};

// Clear's database as the demo leaves it.
void showClearDatabase(SpringBoardSession& session, std::ostream& out) {
    auto clear = session.services().registry()->applicationWithIdentifier("com.realmacsoftware.clear");
    if (!clear || !clear->path()) return;
    std::string container = clear->path()->substr(0, clear->path()->find_last_of('/'));
    std::string error;
    auto db = ClearDatabase::open(ClearDatabase::pathInContainer(container), /*create=*/false, &error);
    if (!db) return;
    out << "\nClear's database now holds\n  lists:";
    for (const auto& list : db->lists()) out << " [" << list << "]";
    out << "\n  tasks:";
    for (const auto& [list, task] : db->tasks()) out << " [" << task << "] in [" << list << "]";
    out << "\n\nTry it yourself: build/bin/velmora-sim run (on a terminal), or see README.md.\n";
}

int run(const RunOptions& options) {
    const bool fromStandardInput = options.script.empty() || options.script == "-";
    const bool interactive = !options.demo && fromStandardInput && ::isatty(STDIN_FILENO) && ::isatty(STDOUT_FILENO);

    // The whole script is read and checked before SpringBoard boots, so a bad
    // line changes nothing.
    ParsedScript script;
    if (!interactive && !options.demo) {
        std::string text;
        if (fromStandardInput) {
            text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        } else {
            std::ifstream in(options.script, std::ios::binary);
            if (!in) return usageError("cannot read the script " + options.script);
            text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        script = parseScript(text);
        if (script.error) {
            std::string name = fromStandardInput ? "<stdin>" : options.script;
            return usageError(name + ":" + std::to_string(script.error->line) + ": " + script.error->message);
        }
    }

    std::string error;
    TraceTarget traceTarget;
    // Without --trace: a script traces to standard output; the prompt draws
    // the sheet there instead and traces nowhere.
    std::string traceTo = options.traceGiven ? options.trace : (interactive || options.demo ? "" : "-");
    if (!traceTarget.open(traceTo, &error)) return usageError(error);
    if (interactive && traceTarget.stream == &std::cout) return usageError("--trace - cannot share the terminal with the prompt");

    TemporaryDirectory sample;
    std::string device = options.device;
    if (device.empty()) {
        if (sample.path().empty()) return failure("cannot make a temporary directory");
        auto package = locateBuiltPackage(&error);
        if (!package) return failure(error);
        device = sample.path() + "/device";
        if (!createDevice(device, sampleDeviceOptions(), *package, &error)) return failure(error);
    } else if (auto warning = packageWarning(device)) {
        std::cerr << "velmora-sim: warning: " << *warning << "\n";
    }

    Trace trace(traceTarget.stream);
    stopOnSignals();
    auto session = SpringBoardSession::boot(device, trace, &error);
    if (!session) return failure(error);

    if (interactive) {
        InteractiveConsole console(*session, trace, std::cout, std::getenv("NO_COLOR") == nullptr);
        console.run(stopRequested);
        return 0;
    }
    if (options.demo) {
        const bool colour = ::isatty(STDOUT_FILENO) && std::getenv("NO_COLOR") == nullptr;
        InteractiveConsole console(*session, trace, std::cout, colour);
        console.play(std::vector<std::string>(std::begin(kDemoScript), std::end(kDemoScript)), stopRequested);
        showClearDatabase(*session, std::cout);
        return 0;
    }
    for (const auto& command : script.commands) {
        if (stopRequested) return failure("stopped by a signal before line " + std::to_string(command.line));
        session->execute(command);
    }
    return 0;
}

int serve(const std::string& device, const std::string& traceTo) {
    std::string error;
    TraceTarget traceTarget;
    if (!traceTarget.open(traceTo, &error)) return usageError(error);
    Trace trace(traceTarget.stream);

    stopOnSignals();
    auto session = SpringBoardSession::boot(device, trace, &error);
    if (!session) return failure(error);
    std::cerr << "velmora-sim: SpringBoard is running on " << session->device() << " (Ctrl-C stops it)\n";
    while (!stopRequested)
        if (springboard::waitForMainQueueWork(std::chrono::milliseconds(100))) session->drain();
    return 0;
}

int send(const std::string& device, const std::string& message, const std::string& json) {
    auto payload = nlohmann::json::parse(json.empty() ? "{}" : json, nullptr, false);
    if (payload.is_discarded() || !payload.is_object()) return usageError("the message must be a JSON object, got " + json);
    std::error_code ec;
    const auto type = fs::status(device, ec).type();
    if (type == fs::file_type::not_found) return failure("no device at " + device + ": no such directory");
    if (ec) return failure("cannot use the device " + device + ": " + ec.message());
    if (type != fs::file_type::directory) return failure("no device at " + device + ": not a directory");
    // An app: it knows the device it runs on, and nothing of SpringBoard.
    springboard::setLogToStandardError(false);
    const auto result = objcipc::sendMessage(fs::absolute(device).string(), message, *valueFromJson(payload).asDictionary(), 5.0);
    if (!result.reply) return failure(objcipc::describeFailure(result, device, message));
    std::cout << Trace::line(jsonFromValue(Value(*result.reply))) << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"velmora-sim: the simulated SpringBoard for the Velmora widget and its companion"};
    app.require_subcommand(1);

    DeviceCommand deviceCommand(app);

    auto* runCommand = app.add_subcommand("run", "boot SpringBoard on a device and run a script");
    RunOptions runOptions;
    runCommand->add_option("--device", runOptions.device, "the device (default: a fresh sample device)");
    runCommand->add_option("--script", runOptions.script, "the script (\"-\" or none: standard input; a terminal gets a prompt)");
    runCommand->add_flag("--demo", runOptions.demo, "play the sample road (a task over Safari, a new list) with the sheet drawn after each step");
    auto* traceOption = runCommand->add_option("--trace", runOptions.trace, "where the JSON Lines trace goes (\"-\": standard output, the default for scripts)");

    auto* sendCommand = app.add_subcommand("send", "send an IPC message to SpringBoard as an app");
    std::string sendDir, sendMessage, sendJson;
    sendCommand->add_option("DIR", sendDir, "the device a run or serve is running on")->required();
    sendCommand->add_option("MESSAGE", sendMessage, "the message name, e.g. VLIPC.Lists")->required();
    sendCommand->add_option("JSON", sendJson, "the request dictionary as a JSON object (default {})");

    auto* serveCommand = app.add_subcommand("serve", "run SpringBoard with no script until SIGINT/SIGTERM");
    std::string serveDir, serveTrace = "-";
    serveCommand->add_option("--device", serveDir, "the device")->required();
    serveCommand->add_option("--trace", serveTrace, "where the trace goes (default: standard output; \"\" for none)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::string message = e.what();
        for (char& c : message)
            if (c == '\n') c = ' ';
        return usageError(message + " (see velmora-sim --help)");
    }

    if (deviceCommand.chosen()) return deviceCommand.run();
    if (*runCommand) {
        runOptions.traceGiven = traceOption->count() > 0;
        return run(runOptions);
    }
    if (*sendCommand) return send(sendDir, sendMessage, sendJson);
    if (*serveCommand) return serve(serveDir, serveTrace);
    return usageError("no command given (see velmora-sim --help)");
}
