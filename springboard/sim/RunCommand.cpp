#include "RunCommand.h"

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "ClearDatabaseReport.h"
#include "BuiltPackage.h"
#include "DeviceBuilder.h"
#include "DeviceState.h"
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

}  // namespace

bool useColour(ColourMode mode, bool outputIsTerminal, const char* noColor) {
    if (mode != ColourMode::Auto) return mode == ColourMode::Always;
    return outputIsTerminal && !(noColor && *noColor);
}

namespace {

int run(const RunOptions& options) {
    const bool fromStandardInput = options.script.empty() || options.script == "-";
    // A terminal on standard input gets the prompt even when the output goes
    // to a pipe (`run | tee log`).
    const bool interactive = !options.demo && fromStandardInput && ::isatty(STDIN_FILENO);
    if (options.demo && !options.script.empty())
        return usageError("--demo plays its own script: give either --demo or --script (see velmora-sim run --help)");

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
    } else if (auto warning = packageWarning(device)) {
        std::cerr << "velmora-sim: warning: " << *warning << "\n";
    }

    Trace trace(traceTarget.stream);
    stopOnSignals();
    auto session = SpringBoardSession::boot(device, trace, &error);
    if (!session) return failure(error);

    const bool colour = useColour(options.colour, ::isatty(STDOUT_FILENO), std::getenv("NO_COLOR"));
    if (interactive) {
        InteractiveConsole console(*session, trace, std::cout, colour);
        console.run(stopRequested, historyFilePath());
        return 0;
    }
    if (options.demo) {
        if (!options.device.empty())
            std::cout << "The demo writes to the device " << options.device << ": the task and the list it adds stay there.\n";
        InteractiveConsole console(*session, trace, std::cout, colour);
        console.play(std::vector<std::string>(std::begin(kDemoScript), std::end(kDemoScript)), stopRequested);
        if (std::cout && printClearDatabases(*session, std::cout, "now"))
            std::cout << "\nTry it yourself: build/bin/velmora-sim run (on a terminal), or see README.md.\n";
        return 0;
    }
    for (const auto& command : script.commands) {
        if (stopRequested) return failure("stopped by a signal before line " + std::to_string(command.line));
        if (traceTarget.stream && !*traceTarget.stream) break;  // nobody reads the trace any more
        session->execute(command);
    }
    return 0;
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
