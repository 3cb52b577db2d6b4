#include "RunCommand.h"

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "ClearDatabaseReport.h"
#include "BuiltPackage.h"
#include "DemoScript.h"
#include "DeviceBuilder.h"
#include "DeviceState.h"
#include "EventDescription.h"
#include "ExitStatus.h"
#include "InteractiveConsole.h"
#include "SampleDevice.h"
#include "ScriptFile.h"
#include "ScriptParser.h"
#include "SpringBoardSession.h"
#include "StopSignals.h"
#include "TemporaryDirectory.h"
#include "Trace.h"
#include "TraceTarget.h"

namespace sim {

namespace {

// A run whose device state could not be written has failed, whatever it did before.
int saved(SpringBoardSession& session, int status) {
    if (auto problem = session.saveState()) return failure(*problem);
    return status;
}

int run(const RunOptions& options) {
    const bool fromStandardInput = options.script.empty() || options.script == "-";
    // A terminal on standard input gets the prompt even when the output goes
    // to a pipe (`run | tee log`).
    const bool interactive = !options.demo && fromStandardInput && ::isatty(STDIN_FILENO);
    if (options.demo && !options.script.empty())
        return usageError("--demo plays its own script: give either --demo or --script (see velmora-sim run --help)");
    if (options.bail && (interactive || options.demo))
        return usageError("--bail stops a script; the prompt and the demo go on after a refusal (see velmora-sim run --help)");

    // The whole script is read and checked before SpringBoard boots, so a bad
    // line changes nothing.
    ParsedScript script;
    std::string error;
    if (!interactive && !options.demo) {
        auto text = readScriptFile(fromStandardInput ? "-" : options.script, error);
        if (!text) return usageError(error);
        script = parseScript(*text);
        if (script.error) {
            std::string name = fromStandardInput ? "<stdin>" : options.script;
            return usageError(name + ":" + std::to_string(script.error->line) + ": " + script.error->message);
        }
    }

    TraceTarget traceTarget;
    // Without --trace: a script traces to standard output; the prompt draws
    // the sheet there instead and traces nowhere.
    std::string traceTo = options.traceGiven ? options.trace : (interactive || options.demo ? "" : "-");
    if (!traceTarget.open(traceTo, &error)) return usageError(error);
    if ((interactive || options.demo) && traceTarget.stream == &std::cout)
        return usageError("--trace - cannot share standard output with the sheet; give a file");

    TemporaryDirectory sample;
    std::string device = options.device;
    if (device.empty()) {
        if (sample.path().empty()) return failure("cannot make a temporary directory");
        device = sample.path() + "/device";
        if (!makeSampleDevice(device, &error)) return failure(error);
    } else if (auto problem = deviceProblem(device)) {
        // Said before any warning about its package, which would suggest
        // commands that refuse a directory that is no device.
        return failure(*problem);
    } else if (auto warning = packageWarning(device)) {
        std::cerr << "velmora-sim: warning: " << *warning << "\n";
    }

    Trace trace(traceTarget.stream);
    stopOnSignals();
    auto session = SpringBoardSession::boot(device, trace, &error);
    if (!session) return failure(error);

    const bool colour = useColour(options.colour, ::isatty(STDOUT_FILENO), std::getenv("NO_COLOR"), std::getenv("TERM"));
    if (interactive) {
        InteractiveConsole console(*session, trace, std::cout, colour);
        console.run(stopRequested, historyFilePath());
        return saved(*session, 0);
    }
    if (options.demo) {
        std::vector<std::string> road = sampleDemo();
        if (!options.device.empty()) {
            // Played against the lists this device holds, never the sample's.
            std::string refusal;
            auto fitted = demoFor(clearLists(*session), &refusal);
            if (!fitted) return failure(refusal);
            road = *fitted;
            std::cout << "The demo writes to the device " << options.device << ": the task and the list it adds stay there.\n";
        }
        InteractiveConsole console(*session, trace, std::cout, colour);
        console.play(road, stopRequested);
        if (std::cout && printClearDatabases(*session, std::cout, "now"))
            std::cout << "\nTry it yourself: build/bin/velmora-sim run (on a terminal), or see README.md.\n";
        return saved(*session, 0);
    }
    const std::string scriptName = fromStandardInput ? "" : options.script;
    session->setScriptName(scriptName);
    // --bail: the first refusal of a line ends the run, as sqlite3's -bail does.
    std::optional<std::string> refusal;
    // Only main-thread events are refusals; lookups from IPC threads never touch `refusal`.
    const std::size_t observer = trace.addObserver([&refusal](const Json& event) {
        auto description = describeEvent(event);
        if (description && description->refusal && !refusal) refusal = description->text;
    });
    int status = 0;
    for (const auto& command : script.commands) {
        if (stopRequested) {
            status = failure("stopped by a signal before line " + std::to_string(command.line));
            break;
        }
        if (traceTarget.stream && !*traceTarget.stream) break;  // nobody reads the trace any more
        refusal.reset();
        session->execute(command);
        if (options.bail && refusal) {
            status = failure("stopped at " + (scriptName.empty() ? std::string("<stdin>") : scriptName) + ":" +
                             std::to_string(command.line) + " (--bail): " + *refusal);
            break;
        }
    }
    trace.removeObserver(observer);
    return saved(*session, status);
}

}  // namespace

int runSimulator(const RunOptions& options) {
    int status = run(options);
    // Everything is shut down and removed by now; end as a pipe's writer
    // does when its reader has gone.
    std::cout.flush();
    if (!std::cout) {
        ::signal(SIGPIPE, SIG_DFL);
        ::raise(SIGPIPE);
    }
    return status;
}

}  // namespace sim
