#include "ClearApp.h"

#include <uriparser/Uri.h>

#include "ClearDatabase.h"

namespace sim {
namespace {

std::string rangeText(const UriTextRangeA& range) {
    if (!range.first || !range.afterLast) return {};
    return std::string(range.first, range.afterLast);
}

// uriparser's structures own heap memory; these free them on every path.
struct ParsedUri {
    UriUriA uri{};
    ~ParsedUri() { uriFreeUriMembersA(&uri); }
};
struct QueryList {
    UriQueryListA* head = nullptr;
    ~QueryList() { uriFreeQueryListA(head); }
};

}  // namespace

std::optional<ClearRequest> parseClearURL(const std::string& url) {
    ParsedUri parsed;
    const char* errorPos = nullptr;
    if (uriParseSingleUriA(&parsed.uri, url.c_str(), &errorPos) != URI_SUCCESS) return std::nullopt;

    ClearRequest request;
    request.scheme = rangeText(parsed.uri.scheme);
    request.action = rangeText(parsed.uri.hostText);
    for (UriPathSegmentA* segment = parsed.uri.pathHead; segment; segment = segment->next)
        request.action += "/" + rangeText(segment->text);

    if (parsed.uri.query.first && parsed.uri.query.afterLast) {
        QueryList query;
        int count = 0;
        if (uriDissectQueryMallocA(&query.head, &count, parsed.uri.query.first, parsed.uri.query.afterLast) !=
            URI_SUCCESS)
            return std::nullopt;
        // The first occurrence of each parameter counts, as in most apps.
        for (UriQueryListA* item = query.head; item; item = item->next) {
            std::string key = item->key ? item->key : "";
            std::string value = item->value ? item->value : "";
            if (key == "listName" && !request.listName) request.listName = value;
            if (key == "taskName" && !request.taskName) request.taskName = value;
        }
    }
    return request;
}

ClearOutcome ClearApp::openURL(const std::string& url) const {
    ClearOutcome outcome;
    auto request = parseClearURL(url);
    if (!request) {
        outcome.result = "unreadable URL";
        return outcome;
    }
    outcome.action = request->action;
    outcome.list = request->listName;
    outcome.task = request->taskName;
    if (request->scheme != "clearapp") {
        outcome.result = "not a clearapp URL";
        return outcome;
    }
    if (request->action != "list/create" && request->action != "task/create") {
        outcome.result = "unknown action";
        return outcome;
    }
    if (!request->listName || request->listName->empty()) {
        outcome.result = "no list name";
        return outcome;
    }

    std::string error;
    auto db = ClearDatabase::open(ClearDatabase::pathInContainer(container_), /*create=*/true, &error);
    if (!db) {
        outcome.result = "database error: " + error;
        return outcome;
    }
    if (request->action == "list/create") {
        outcome.result = db->addList(*request->listName) ? "created" : "database error";
        return outcome;
    }
    if (!db->hasList(*request->listName)) {
        outcome.result = "no such list";
        return outcome;
    }
    if (!request->taskName || request->taskName->empty()) {
        outcome.result = "no task text";
        return outcome;
    }
    outcome.result = db->addTask(*request->listName, *request->taskName) ? "created" : "database error";
    return outcome;
}

}  // namespace sim
