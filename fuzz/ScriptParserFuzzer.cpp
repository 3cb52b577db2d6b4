// Any bytes as a simulator script: the parser never throws or crashes, and
// what it returns is well-formed (an error or commands, never both; line
// numbers from 1; ipc/notify payloads always JSON objects). The same bytes as
// a list title, written as completion writes it, read back as exactly that title
// (or, holding a NUL, are refused).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ScriptParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const sim::ParsedScript script = sim::parseScript(text);
    if (script.error && !script.commands.empty()) {
        std::fprintf(stderr, "a script with an error still gave commands\n");
        std::abort();
    }
    if (script.error && script.error->line < 1) {
        std::fprintf(stderr, "an error without a line number\n");
        std::abort();
    }
    for (const sim::ScriptCommand& command : script.commands) {
        if ((command.kind == sim::CommandKind::Ipc || command.kind == sim::CommandKind::Notify) &&
            !command.payload.is_object()) {
            std::fprintf(stderr, "an ipc/notify payload that is no JSON object\n");
            std::abort();
        }
        if (command.line < 1) {
            std::fprintf(stderr, "a command without a line number\n");
            std::abort();
        }
    }
    const std::string title(text);
    // A NUL would be cut on the way to Clear, so its line is refused whole.
    const bool holdsNul = title.find('\0') != std::string::npos;
    for (auto source : {sim::LineSource::Script, sim::LineSource::Prompt}) {
        const sim::ParsedLine line = sim::parseScriptLine("pick " + sim::quoteArgument(title), 1, source);
        if (holdsNul ? (line.command || !line.error) : (!line.command || line.command->argument != title)) {
            std::fprintf(stderr, holdsNul ? "a title with a NUL was not refused\n" : "a quoted title did not read back as itself\n");
            std::abort();
        }
    }
    return 0;
}
