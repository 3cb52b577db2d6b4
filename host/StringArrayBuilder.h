#pragma once

#include <memory>
#include <string_view>

#include "HostExport.h"
#include "Value.h"

// Builds an array of strings made and dropped together (a list's titles, a
// form's choices), their bytes side by side in a few shared allocations
// rather than one each. Not synchronised: one thread appends; the array,
// once taken, may go anywhere.
class HOST_API StringArrayBuilder {
public:
    StringArrayBuilder();
    ~StringArrayBuilder();
    StringArrayBuilder(const StringArrayBuilder&) = delete;
    StringArrayBuilder& operator=(const StringArrayBuilder&) = delete;

    // Adds a string holding a copy of `text`.
    void append(std::string_view text);
    // Adds a string holding a copy of `text` if it is UTF-8, as
    // +stringWithUTF8String: makes one; false, adding nothing, if it is not.
    bool appendUTF8(std::string_view text);
    // The strings appended so far, in order; the builder starts again empty.
    Array take();

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};
