// velmora-sim: the simulated SpringBoard. See the usage (velmora-sim --help).
// This file only wires the command line; each subcommand lives in its own file.

#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "AllocatorPolicy.h"
#include "Completion.h"
#include "DeviceCommand.h"
#include "ExitStatus.h"
#include "RunCommand.h"
#include "SendCommand.h"
#include "ServeCommand.h"
#include "TraceCommand.h"
#include "UsageError.h"

using namespace sim;

int main(int argc, char** argv) {
    sim::useAllocatorPolicy();
    CLI::App app{"velmora-sim: the simulated SpringBoard for the Velmora widget and its companion", "velmora-sim"};
    app.require_subcommand(1);
    app.set_version_flag("-V,--version", std::string("velmora-sim ") + VELMORA_VERSION, "print the version and exit");

    DeviceCommand deviceCommand(app);

    auto* runCommand = app.add_subcommand("run", "boot SpringBoard on a device and run a script");
    RunOptions runOptions;
    runCommand->add_option("--device", runOptions.device, "the device (default: a fresh sample device)")->type_name("DIR");
    runCommand->add_option("--script", runOptions.script, "the script: a file or a pipe (\"-\" or none: standard input; a terminal gets a prompt)")
        ->type_name("FILE");
    runCommand->add_flag("--demo", runOptions.demo, "play the sample road (a task over Safari, a new list), the sheet drawn whenever it changes; with --device, on that device");
    runCommand->add_flag("--bail", runOptions.bail, "stop at the first refused or failing line, with exit status 1");
    auto* traceOption = runCommand->add_option("--trace", runOptions.trace, "where the JSON Lines trace goes (\"-\": standard output, the default for scripts)")
                            ->type_name("FILE");
    std::string colour = "auto";
    runCommand->add_option("--color", colour, "colour the prompt and the demo: auto (a terminal, unless NO_COLOR is set or TERM is dumb), always or never")
        ->check(CLI::IsMember({"auto", "always", "never"}).description(""))
        ->type_name("auto|always|never");
    runCommand->footer("Examples:\n"
                       "  velmora-sim run --demo\n"
                       "  velmora-sim run --device ~/phone --script my.script --bail\n"
                       "  printf 'open\\npick Work\\n' | velmora-sim run --device ~/phone");

    auto* sendCommand = app.add_subcommand("send", "send an IPC message to SpringBoard as an app");
    std::string sendDir, sendMessage, sendJson;
    sendCommand->add_option("DIR", sendDir, "the device a run or serve is running on")->required()->type_name("");
    sendCommand->add_option("MESSAGE", sendMessage, "the message name, e.g. VLIPC.Lists")->required()->type_name("");
    sendCommand->add_option("JSON", sendJson, "the request dictionary as a JSON object (default {})")->type_name("");
    sendCommand->footer("Examples:\n"
                        "  velmora-sim send ~/phone VLIPC.Lists\n"
                        "  velmora-sim send ~/phone VLIPC.Kill '{\"identifier\":\"com.apple.mobilesafari\"}'");

    auto* serveCommand = app.add_subcommand("serve", "run SpringBoard with no script until SIGINT/SIGTERM");
    std::string serveDir, serveTrace;
    serveCommand->add_option("--device", serveDir, "the device")->required()->type_name("DIR");
    serveCommand->add_option("--trace", serveTrace, "where the trace goes (\"-\": standard output; default: nowhere, so a serve in the background prints only its start line)")
        ->type_name("FILE");
    serveCommand->footer("Examples:\n"
                         "  velmora-sim serve --device ~/phone &\n"
                         "  velmora-sim serve --device ~/phone --trace serve.trace");

    auto* traceCommand = app.add_subcommand("trace", "print a trace file as the prompt would have described it");
    std::string traceFile;
    traceCommand->add_option("FILE", traceFile, "the trace (JSON Lines; \"-\": standard input)")->required()->type_name("");
    traceCommand->footer("Examples:\n"
                         "  velmora-sim run --device ~/phone --script my.script --trace run.trace\n"
                         "  velmora-sim trace run.trace");

    auto* helpCommand = app.add_subcommand("help", "explain velmora-sim or one of its commands");
    std::vector<std::string> helpWords;
    helpCommand->add_option("COMMAND", helpWords, "the command, e.g. run or device create")->type_name("");

    // Not in the help: what the installed bash completion and manual page
    // are made from ("bash": the completion script; "commands": each command).
    auto* completionCommand = app.add_subcommand("completion", "")->group("");
    std::string completionKind;
    completionCommand->add_option("KIND", completionKind)->required()->check(CLI::IsMember({"bash", "commands"}));

    // Set last: a command added after it would inherit it.
    app.footer("Examples:\n"
               "  velmora-sim run --demo                       the sample road on a fresh sample device\n"
               "  velmora-sim device create ~/phone --clear    a device of your own\n"
               "  velmora-sim run --device ~/phone             the prompt on it\n"
               "velmora-sim COMMAND --help (or velmora-sim help COMMAND) explains a command.");

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
    if (*traceCommand) return printTrace(traceFile);
    if (*completionCommand) {
        if (completionKind == "bash") std::cout << bashCompletion(app);
        else
            for (const auto& path : commandPaths(app)) std::cout << path << "\n";
        return 0;
    }
    if (*helpCommand) {
        const CLI::App* command = &app;
        std::string path = "velmora-sim";
        for (const auto& word : helpWords) {
            const CLI::App* next = nullptr;
            for (const CLI::App* sub : command->get_subcommands({}))
                if (sub->get_name() == word && !sub->get_group().empty()) next = sub;
            if (!next) return usageError("help: " + path + " has no command \"" + word + "\" (see " + path + " --help)");
            command = next;
            path += " " + word;
        }
        // As COMMAND --help prints it, its usage line naming the whole command.
        std::cout << command->help(command == &app ? "" : path.substr(0, path.rfind(' ')));
        return 0;
    }
    return usageError("no command given (see velmora-sim --help)");
}
