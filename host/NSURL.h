#pragma once

#include <memory>
#include <string>

#include "HostExport.h"

class HOST_API NSURL {
public:
    // +URLWithString:: a URL for a well-formed URL string, else nullptr: an
    // empty string, a character outside the URL character set (space,
    // control, non-ASCII, `"` `<` `>` `\` `^` backquote `{` `|` `}`), a "%"
    // not followed by two hex digits, or a second "#".
    static std::shared_ptr<NSURL> URLWithString(const std::string& string);

    const std::string& absoluteString() const { return string_; }
    // The text before the first ":", when that is a valid scheme name.
    std::string scheme() const;

    explicit NSURL(std::string string) : string_(std::move(string)) {}

private:
    std::string string_;
};
