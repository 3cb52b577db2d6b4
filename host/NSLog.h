#pragma once

#include <initializer_list>
#include <string_view>

#include "HostExport.h"
#include "Value.h"

// NSLog(): formats like stringWithFormat and writes one line to the system
// log. The message itself is exactly the formatted text; the log adds its
// usual date, process and thread prefix in front of it.
HOST_API void NSLog(std::string_view format, std::initializer_list<Value> arguments = {});
