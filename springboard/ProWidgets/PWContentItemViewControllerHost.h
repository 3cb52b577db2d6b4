#pragma once

#include <memory>
#include <string>
#include <vector>

#include "PWCallLog.h"
#include "PWContentItemViewController.h"

// The host's side of one page: its widget, its items and the handlers the
// plug-in registered, and the host's delivery of user events to them.
class PWContentItemViewControllerHost {
public:
    // The page logs where `widget` logs (to a log of its own without one).
    explicit PWContentItemViewControllerHost(const std::shared_ptr<PWWidget>& widget);

    std::shared_ptr<PWWidget> widget() const { return widget_.lock(); }
    PWCallLog& calls() const { return *calls_; }

    // PWContentItemViewController's operations (recorded).
    bool loadPlist(const std::string& name);
    std::shared_ptr<PWWidgetItem> itemWithKey(const std::string& key) const;
    void setItemValueChangedHandler(PWContentItemViewController::ValueChangedHandler handler);
    void setSubmitHandler(PWContentItemViewController::SubmitHandler handler);

    // Host side, not recorded.
    const std::vector<std::shared_ptr<PWWidgetItem>>& items() const { return items_; }
    std::shared_ptr<PWWidgetItem> item(const std::string& key) const;
    bool loaded() const { return loaded_; }
    void setLoaded() { loaded_ = true; }

    // Each item's key mapped to its value.
    Dictionary values() const;
    // Calls the registered value-change handler, if any.
    void deliverValueChanged(const std::shared_ptr<PWWidgetItem>& item, const Value& oldValue) const;
    // Calls the registered submit handler, if any, with values().
    void deliverSubmit() const;
    // The same with `values` as given, as a host that sends other values
    // would.
    void deliverSubmit(const Dictionary& values) const;

private:
    std::weak_ptr<PWWidget> widget_;
    std::shared_ptr<PWCallLog> calls_;
    std::vector<std::shared_ptr<PWWidgetItem>> items_;
    PWContentItemViewController::ValueChangedHandler valueChanged_;
    PWContentItemViewController::SubmitHandler submit_;
    bool loaded_ = false;
};
