// velmora-sim: the simulated SpringBoard. See the usage (velmora-sim --help).
// This file only wires the command line; each subcommand lives in its own file.

#include <malloc.h>

#include <string>

#include <CLI/CLI.hpp>

#include "DeviceCommand.h"
#include "ExitStatus.h"
#include "RunCommand.h"
#include "SendCommand.h"
#include "ServeCommand.h"
#include "UsageError.h"

using namespace sim;

int main(int argc, char** argv) {
    // SpringBoard's IPC replies and the handlers' results behind them may be
    // megabytes, built and freed on many threads. glibc raises its mmap
    // threshold after the first such block is freed, and every later one then
    // stays in some thread's heap when the load is over: a fixed threshold
    // gives them back at once.
    ::mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    CLI::App app{"velmora-sim: the simulated SpringBoard for the Velmora widget and its companion"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("velmora-sim ") + VELMORA_VERSION, "print the version and exit");

    DeviceCommand deviceCommand(app);

    auto* runCommand = app.add_subcommand("run", "boot SpringBoard on a device and run a script");
    RunOptions runOptions;
    runCommand->add_option("--device", runOptions.device, "the device (default: a fresh sample device)");
    runCommand->add_option("--script", runOptions.script, "the script (\"-\" or none: standard input; a terminal gets a prompt)");
    runCommand->add_flag("--demo", runOptions.demo, "play the sample road (a task over Safari, a new list), the sheet drawn whenever it changes; with --device, on that device");
    auto* traceOption = runCommand->add_option("--trace", runOptions.trace, "where the JSON Lines trace goes (\"-\": standard output, the default for scripts)");
    std::string colour = "auto";
    runCommand->add_option("--color", colour, "colour the prompt and the demo: auto (a terminal, unless NO_COLOR is set), always or never")
        ->check(CLI::IsMember({"auto", "always", "never"}));

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
    } catch (const CLI::Success& e) {  // --help, --version
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return reportUsageError(app, e);
    }

    if (deviceCommand.chosen()) return deviceCommand.run();
    if (*runCommand) {
        runOptions.traceGiven = traceOption->count() > 0;
        runOptions.colour = colour == "always" ? ColourMode::Always : colour == "never" ? ColourMode::Never : ColourMode::Auto;
        return runSimulator(runOptions);
    }
    if (*sendCommand) return sim::sendMessage(sendDir, sendMessage, sendJson);
    if (*serveCommand) return serveDevice(serveDir, serveTrace);
    return usageError("no command given (see velmora-sim --help)");
}
