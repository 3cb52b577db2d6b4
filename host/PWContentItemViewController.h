#pragma once

#include <functional>
#include <memory>
#include <string>

#include "HostExport.h"
#include "PWWidgetItem.h"
#include "Value.h"

class PWWidget;
class PWContentItemViewControllerHost;

// A page of items inside a widget. Subclasses override `load`; they are made
// with std::make_shared (the event handler templates need shared_from_this).
// Every operation runs on the main thread only; loadPlist, itemWithKey and
// the two handler registrations are recorded by the host.
class HOST_API PWContentItemViewController : public std::enable_shared_from_this<PWContentItemViewController> {
public:
    // -initForWidget:. The page does not keep its widget alive.
    explicit PWContentItemViewController(const std::shared_ptr<PWWidget>& widget);
    virtual ~PWContentItemViewController();
    PWContentItemViewController(const PWContentItemViewController&) = delete;
    PWContentItemViewController& operator=(const PWContentItemViewController&) = delete;

    // Called by the host once the page is pushed. The base does nothing.
    virtual void load();

    // The widget the page was made for (nullptr once it is gone).
    std::shared_ptr<PWWidget> widget() const;

    // Builds the page's items from the item layout `name`.plist in the widget
    // bundle's directory, replacing any items built before. Returns whether
    // the layout was read; entries the host cannot build are skipped (each
    // logged with the reason).
    //
    // Layout: a dictionary whose "items" array holds one dictionary per item:
    //   "key"     string, required and unique within the page;
    //   "title"   string, optional ("" when missing);
    //   "type"    "listvalue", "textfield", or the name of a PWWidgetItemClass
    //             registered with objc_registerClass;
    //   "default" optional initial value (a list item takes a single value or
    //             an array; a text field its text).
    bool loadPlist(const std::string& name);

    // The item built for `key`, or nullptr.
    std::shared_ptr<PWWidgetItem> itemWithKey(const std::string& key) const;

    using ValueChangedHandler = std::function<void(const std::shared_ptr<PWWidgetItem>& item, const Value& oldValue)>;
    using SubmitHandler = std::function<void(const Dictionary& values)>;

    // Target and selector: after each user change of an item the host sends
    // `selector` to `target` with the item and its value before the change.
    // The target is not kept alive by the registration. Replaces any earlier
    // handler.
    template <class T>
    void setItemValueChangedEventHandler(T* target,
                                         void (T::*selector)(const std::shared_ptr<PWWidgetItem>&, const Value&)) {
        std::weak_ptr<T> weak = std::static_pointer_cast<T>(target->shared_from_this());
        setItemValueChangedHandler([weak, selector](const std::shared_ptr<PWWidgetItem>& item, const Value& old) {
            if (auto strong = weak.lock()) ((*strong).*selector)(item, old);
        });
    }

    // Target and selector: on submit the host sends `selector` to `target`
    // with a dictionary from each item's key to its value. The target is not
    // kept alive by the registration. Replaces any earlier handler.
    template <class T>
    void setSubmitEventHandler(T* target, void (T::*selector)(const Dictionary&)) {
        std::weak_ptr<T> weak = std::static_pointer_cast<T>(target->shared_from_this());
        setSubmitHandler([weak, selector](const Dictionary& values) {
            if (auto strong = weak.lock()) ((*strong).*selector)(values);
        });
    }

    void setItemValueChangedHandler(ValueChangedHandler handler);
    void setSubmitHandler(SubmitHandler handler);

    // Host side.
    PWContentItemViewControllerHost& host() const { return *host_; }

private:
    std::unique_ptr<PWContentItemViewControllerHost> host_;
};
