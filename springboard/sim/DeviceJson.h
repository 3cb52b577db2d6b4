#pragma once

// `device show --json`: the facts `device show` prints, as one JSON object
// for scripts, so nobody has to parse the aligned text.

#include <string>

#include "Trace.h"

namespace sim {

// {"device", "package": {package, version, architecture} | null,
//  "packageWarning": text | null, "front", "apps": [...],
//  "clear": {identifier: {"theme": value | null, "lists": [...] | null,
//            "tasks": [{"list", "task"}] | null, "error"?: text}},
//  "settings": {key: value} | null}. Lists and tasks are null (with "error")
// when Clear's database cannot be read; settings null when there are none.
Json deviceAsJson(const std::string& device);

}  // namespace sim
