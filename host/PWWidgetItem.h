#pragma once

#include <memory>
#include <string>

#include "HostExport.h"
#include "ObjCRuntime.h"
#include "Value.h"

class PWWidgetItemHost;

// An item of a widget page, built by the host from the page's item layout.
// Main thread only.
class HOST_API PWWidgetItem : public std::enable_shared_from_this<PWWidgetItem> {
public:
    PWWidgetItem();
    virtual ~PWWidgetItem();
    PWWidgetItem(const PWWidgetItem&) = delete;
    PWWidgetItem& operator=(const PWWidgetItem&) = delete;

    // The item's key in the layout and in the submit dictionary.
    const std::string& key() const;
    const std::string& title() const;

    // The item's value: for a text item the text, for a list item an array of
    // the selected values.
    Value value() const;

    // Sets the value on the plug-in's behalf, after acceptedValue has put it
    // in the item's own form. The host records the call (with the value as
    // passed); it is not reported to the page's value-change handler.
    void setValue(const Value& value);

    // The item's own form of a value handed to setValue (or given as the
    // layout's default). The base keeps the value as it is.
    virtual Value acceptedValue(const Value& value) const;

    // Host side: how the host reaches the item's state and its own records.
    PWWidgetItemHost& host() const { return *host_; }

private:
    std::unique_ptr<PWWidgetItemHost> host_;
};

// The class object of an item class a plug-in registers by name, so that a
// layout can ask for it as an item's `type`.
class HOST_API PWWidgetItemClass : public ObjCClass {
public:
    using ObjCClass::ObjCClass;
    ~PWWidgetItemClass() override;
    // A new item; nullptr only when none can be made.
    virtual std::shared_ptr<PWWidgetItem> alloc() const = 0;
};

template <class T>
class PWWidgetItemClassOf final : public PWWidgetItemClass {
public:
    using PWWidgetItemClass::PWWidgetItemClass;
    std::shared_ptr<PWWidgetItem> alloc() const override { return std::make_shared<T>(); }
};
