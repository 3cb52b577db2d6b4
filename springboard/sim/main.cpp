// velmora-sim: the simulated SpringBoard. See the usage (velmora-sim --help).
// This file only wires the command line; each subcommand lives in its own file.

#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "DeviceBuilder.h"
#include "ExitStatus.h"
#include "RunCommand.h"
#include "SendCommand.h"
#include "ServeCommand.h"
#include "UsageError.h"

using namespace sim;

int main(int argc, char** argv) {
    CLI::App app{"velmora-sim: the simulated SpringBoard for the Velmora widget and its companion"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("velmora-sim ") + VELMORA_VERSION, "print the version and exit");

    auto* deviceCommand = app.add_subcommand("device", "make simulated devices");
    deviceCommand->require_subcommand(1);
    auto* create = deviceCommand->add_subcommand("create", "make a device directory");
    std::string createDir;
    DeviceOptions deviceOptions;
    std::string listsText;
    std::vector<std::string> extraLists;
    std::optional<std::string> theme, defaultList;
    std::string front = kSpringBoardIdentifier;
    create->add_option("DIR", createDir, "the new device directory (must not exist, or be empty)")->required();
    create->add_flag("--clear", deviceOptions.clear, "install Clear (com.realmacsoftware.clear)");
    create->add_flag("--clear-plus", deviceOptions.clearPlus, "install Clear+ (com.realmacsoftware.clear.universal)");
    create->add_option("--lists", listsText, "Clear's lists, in order, split on \",\" (\"\\,\" keeps a comma)");
    create->add_option("--list", extraLists, "one more list, taken whole (repeatable; after --lists)");
    create->add_option("--theme", theme, "Clear's ThemeIdentifier, e.g. THEME_GRAPHITE_ID");
    create->add_option("--default-list", defaultList, "the widget's defaultList setting");
    create->add_option("--front", front, "bundle id of the app in front, or \"home\"");

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

    if (*create) {
        deviceOptions.lists = splitListNames(listsText);
        deviceOptions.lists.insert(deviceOptions.lists.end(), extraLists.begin(), extraLists.end());
        deviceOptions.theme = theme;
        deviceOptions.defaultList = defaultList;
        deviceOptions.front = front == "home" ? std::string(kSpringBoardIdentifier) : front;
        if (auto problem = checkDeviceRequest(createDir, deviceOptions)) return usageError(*problem);
        std::string error;
        auto artifacts = Artifacts::locate(&error);
        if (!artifacts) return failure(error);
        if (!createDevice(createDir, deviceOptions, *artifacts, &error)) return failure(error);
        return 0;
    }
    if (*runCommand) {
        runOptions.traceGiven = traceOption->count() > 0;
        runOptions.colour = colour == "always" ? ColourMode::Always : colour == "never" ? ColourMode::Never : ColourMode::Auto;
        return runSimulator(runOptions);
    }
    if (*sendCommand) return sim::sendMessage(sendDir, sendMessage, sendJson);
    if (*serveCommand) return serveDevice(serveDir, serveTrace);
    return usageError("no command given (see velmora-sim --help)");
}
