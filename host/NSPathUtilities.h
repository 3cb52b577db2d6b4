#pragma once

#include <string>

#include "HostExport.h"

// NSHomeDirectory(): the current user's home directory. Never empty.
HOST_API std::string NSHomeDirectory();
