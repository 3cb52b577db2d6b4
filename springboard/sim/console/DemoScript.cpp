#include "DemoScript.h"

#include <algorithm>

#include "ScriptParser.h"

namespace sim {

std::vector<std::string> sampleDemo() {
    return {
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
}

std::optional<std::vector<std::string>> demoFor(const std::optional<std::vector<std::string>>& lists,
                                                std::string* refusal) {
    if (!lists || lists->empty()) {
        *refusal = !lists ? "the demo needs Clear on the device, and it has none (make one with: velmora-sim device create DIR --clear --lists Groceries)"
                          : "the demo needs a list in Clear, and the device has none (make one with: velmora-sim device create DIR --clear --lists Groceries)";
        return std::nullopt;
    }
    std::string newList = "Holidays";
    for (int n = 2; std::find(lists->begin(), lists->end(), newList) != lists->end(); ++n)
        newList = "Holidays " + std::to_string(n);
    return std::vector<std::string>{
        "# The user calls up the widget and adds a task to the first list:",
        "open",
        "pick " + quoteArgument(lists->front()),
        "type Jam & toast",
        "submit",
        "# Then a new list:",
        "open",
        "pick Create List...",
        "answer " + quoteArgument(newList),
        "# Another app asks SpringBoard for Clear's lists:",
        "ipc VLIPC.Lists",
    };
}

}  // namespace sim
