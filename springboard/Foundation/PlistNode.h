#pragma once

// Ownership of a libplist node tree: freed with the pointer.

#include <plist/plist.h>

#include <memory>

namespace springboard {

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

}  // namespace springboard
