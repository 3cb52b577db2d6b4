#include "EventDescription.h"

#include "TerminalText.h"

namespace sim {
namespace {

std::string field(const Json& event, const char* key) {
    auto it = event.find(key);
    if (it == event.end() || it->is_null()) return "";
    return printable(it->is_string() ? it->get<std::string>() : Trace::line(*it));
}

bool startsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

}  // namespace

std::optional<EventDescription> describeEvent(const Json& event) {
    const std::string name = field(event, "event");
    if (name == "showMessage") return EventDescription{"message: " + field(event, "text")};
    if (name == "openURL")
        return EventDescription{"opened " + field(event, "url") + (event.value("handled", false) ? "" : " (no app took it)")};
    if (name == "clear") {
        std::string what = field(event, "action") == "list/create"
                               ? "list \"" + field(event, "list") + "\""
                               : "task \"" + field(event, "task") + "\" in \"" + field(event, "list") + "\"";
        return EventDescription{"Clear: " + what + ": " + field(event, "result")};
    }
    if (name == "front") return EventDescription{"in front: " + field(event, "identifier")};
    if (name == "reply") {
        if (event.contains("error"))
            return EventDescription{"refused: " + field(event, "message") + ": " + field(event, "error"), true};
        return EventDescription{"reply to " + field(event, "message") + ": " + field(event, "reply")};
    }
    if (name == "error") return EventDescription{"refused: " + field(event, "text"), true};
    if (name == "log") {
        // The widget explains a refused submit or answer only in its log.
        const std::string text = field(event, "text");
        const std::string prefix = "[Velmora]Not ";
        if (!startsWith(text, prefix)) return std::nullopt;
        return EventDescription{"refused: " + text.substr(prefix.size() - 4), true};
    }
    return std::nullopt;
}

}  // namespace sim
