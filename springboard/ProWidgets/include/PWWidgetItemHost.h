#pragma once

#include <memory>
#include <string>

#include "PWCallLog.h"
#include "Value.h"

class PWWidgetItem;

// The host's side of one item: its key, title and value, and the log its
// calls go to. The page that builds the item sets it up.
class PWWidgetItemHost {
public:
    // `item` owns this object. Until setUp the item has an empty key and
    // title, a nil value and a log of its own.
    explicit PWWidgetItemHost(PWWidgetItem& item);

    // Gives the item its key, title and initial value (in the item's own
    // form; not recorded, not reported) and the log its calls go to.
    void setUp(std::string key, std::string title, const Value& initialValue, std::shared_ptr<PWCallLog> calls);

    const std::string& key() const { return key_; }
    const std::string& title() const { return title_; }
    const Value& value() const { return value_; }
    PWCallLog& calls() const { return *calls_; }

    // Stores `value`, already in the item's own form, whether the plug-in or
    // the user set it. When a list item's selection changes, asks the item's
    // displayTextForValues for the text to show and records it
    // ("displayText": key, text).
    void storeValue(const Value& value);

    // The text a list item shows for its selection ("" until asked, and for
    // other items).
    const std::string& displayText() const { return displayText_; }

private:
    PWWidgetItem& item_;
    std::string key_;
    std::string title_;
    Value value_;
    std::string displayText_;
    std::shared_ptr<PWCallLog> calls_;
};
