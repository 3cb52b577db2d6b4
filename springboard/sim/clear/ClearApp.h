#pragma once

// The simulated Clear to-do app. SpringBoard hands it the URLs it is opened
// with; like the real app it reads them with a URL parser (percent-escapes and
// '+' decoded) and acts on two of them:
//
//   clearapp://list/create?listName=NAME              adds list NAME
//   clearapp://task/create?listName=NAME&taskName=T   adds task T to list NAME
//
// A task for a list that does not exist adds nothing. Anything else is
// refused with a reason.

#include <optional>
#include <string>

namespace sim {

struct ClearOutcome {
    std::string action;                // "list/create", "task/create", or what the URL asked for
    std::optional<std::string> list;   // decoded listName, absent when the query has none
    std::optional<std::string> task;   // decoded taskName, absent when the query has none
    std::string result;                // "created", "no such list", "no list name", "unknown action", ...
    bool created() const { return result == "created"; }
};

// The parts of a clearapp URL as Clear reads them. Absent when uriparser
// cannot parse the text as a URI.
struct ClearRequest {
    std::string scheme;
    std::string action;                // host "/" path, e.g. "task/create"
    std::optional<std::string> listName;
    std::optional<std::string> taskName;
};
std::optional<ClearRequest> parseClearURL(const std::string& url);

class ClearApp {
public:
    // Clear installed with bundle `identifier` in `containerDirectory` (the
    // directory holding Clear.app and Library/).
    ClearApp(std::string identifier, std::string containerDirectory)
        : identifier_(std::move(identifier)), container_(std::move(containerDirectory)) {}

    const std::string& identifier() const { return identifier_; }
    const std::string& containerDirectory() const { return container_; }

    // Handles `url` against the app's database.
    ClearOutcome openURL(const std::string& url) const;

private:
    std::string identifier_;
    std::string container_;
};

}  // namespace sim
