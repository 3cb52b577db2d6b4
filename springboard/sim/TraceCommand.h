#pragma once

#include <iosfwd>
#include <string>

namespace sim {

// `trace FILE`: a trace ("-": standard input) told line by line as the
// prompt tells what happened; a refusal names its script line. Exit 0, or 1
// with FILE:LINE when the file cannot be read or a line is no trace event.
int printTrace(const std::string& file);

// The same, from `in` to `out`; "" when every line was an event, else the
// problem ("LINE: ...").
std::string describeTrace(std::istream& in, std::ostream& out);

}  // namespace sim
