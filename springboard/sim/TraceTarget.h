#pragma once

#include <fstream>
#include <iostream>
#include <string>

namespace sim {

// Where a trace goes: a file, standard output ("-"), or nowhere ("").
struct TraceTarget {
    std::ofstream file;
    std::ostream* stream = nullptr;

    bool open(const std::string& target, std::string* error) {
        if (target.empty()) return true;
        if (target == "-") {
            stream = &std::cout;
            return true;
        }
        file.open(target, std::ios::trunc);
        if (!file) {
            *error = "cannot write the trace to " + target;
            return false;
        }
        stream = &file;
        return true;
    }
};

}  // namespace sim
