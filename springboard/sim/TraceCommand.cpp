#include "TraceCommand.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

#include "EventDescription.h"
#include "ExitStatus.h"
#include "ScriptParser.h"
#include "TerminalText.h"
#include "Trace.h"

namespace sim {

std::string describeTrace(std::istream& in, std::ostream& out) {
    int number = 0;
    for (std::string text; std::getline(in, text);) {
        ++number;
        if (text.empty()) continue;
        Json event = Json::parse(text, nullptr, /*allow_exceptions=*/false);
        if (event.is_discarded() || !event.is_object() || !event.contains("event"))
            return std::to_string(number) + ": not a trace event: " + printable(excerpt(text, 60));
        if (event["event"] == "boot") {
            out << "booted, " << printable(event.value("front", std::string("?"))) << " in front\n";
            continue;
        }
        auto description = describeEvent(event);
        if (!description) continue;
        if (!description->refusal) {
            out << "  → " << description->text << "\n";
            continue;
        }
        std::string where;
        if (auto line = event.find("line"); line != event.end() && line->is_number_integer()) {
            where = event.contains("script") && event["script"].is_string() ? printable(event["script"].get<std::string>()) + ":" : "line ";
            where += std::to_string(line->get<long long>()) + ": ";
        }
        out << where << description->text << "\n";
    }
    return "";
}

int printTrace(const std::string& file) {
    std::ifstream opened;
    std::istream* in = &std::cin;
    if (file != "-") {
        struct stat info {};
        if (::stat(file.c_str(), &info) != 0) return failure("cannot read the trace " + file + ": " + std::strerror(errno));
        if (S_ISDIR(info.st_mode)) return failure("the trace " + file + " is a directory");
        opened.open(file, std::ios::binary);
        if (!opened) return failure("cannot read the trace " + file);
        in = &opened;
    }
    std::string problem = describeTrace(*in, std::cout);
    if (!problem.empty()) return failure((file == "-" ? std::string("<stdin>") : file) + ":" + problem);
    return 0;
}

}  // namespace sim
