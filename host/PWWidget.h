#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "HostExport.h"
#include "ObjCRuntime.h"
#include "UIColor.h"

class PWContentItemViewController;
class PWWidgetHost;

// A widget the host framework runs. The plug-in's principal class derives
// from it and overrides the hooks; the host creates it, then calls `configure`
// and `load` (in either order), then loads the page the widget pushed.
//
// Every operation below is recorded by the host, in call order. All of them
// run on the main thread only.
class HOST_API PWWidget : public std::enable_shared_from_this<PWWidget> {
public:
    PWWidget();
    virtual ~PWWidget();
    PWWidget(const PWWidget&) = delete;
    PWWidget& operator=(const PWWidget&) = delete;

    // Hooks. The base versions do nothing (and require nothing);
    // requiresProtectedDataAccess answers NO.
    virtual void configure();
    virtual void load();
    virtual bool requiresProtectedDataAccess() const;

    void setTitle(const std::string& title);
    void setPreferredTintColor(const UIColor& color);
    void setPreferredBarTextColor(const UIColor& color);

    // Shows `page` on top of the widget's pages; the widget keeps it alive
    // and the host calls its `load` once the current call has returned.
    // A nullptr page is recorded and otherwise ignored.
    void pushViewController(const std::shared_ptr<PWContentItemViewController>& page, bool animated);

    // Shows a message to the user; returns at once.
    void showMessage(const std::string& text);

    // Asks the host to close the widget; returns at once, and the widget is
    // destroyed later, once the host's current call into the plug-in has
    // returned. Calls made until then still work.
    void dismiss();

    // Called once, when the user answers the prompt: cancelled, then the entered
    // text (absent only when the host has none, as on cancel) and the second
    // text (absent for the one-field styles).
    using PromptCompletion = std::function<void(bool cancelled, const std::optional<std::string>& text,
                                                const std::optional<std::string>& secondText)>;

    // Asks the user for text. `style` follows the alert styles: 0 no text
    // field, 1 a secure field, 2 one plain text field, 3 login and password.
    // The host keeps `completion` until the user answers, or until the widget
    // is destroyed. One prompt is open at a time: a second prompt replaces an
    // unanswered first one, whose completion is released without running.
    void prompt(const std::string& message, const std::string& title, const std::string& buttonTitle,
                const std::optional<std::string>& defaultValue, long style, PromptCompletion completion);

    // Host side.
    PWWidgetHost& host() const { return *host_; }

private:
    std::unique_ptr<PWWidgetHost> host_;
};

// The class object of a widget's principal class, registered by name so the
// host can create it from the bundle's Info.plist `NSPrincipalClass`.
class HOST_API PWWidgetClass : public ObjCClass {
public:
    using ObjCClass::ObjCClass;
    ~PWWidgetClass() override;
    // A new widget; nullptr only when none can be made.
    virtual std::shared_ptr<PWWidget> alloc() const = 0;
};

template <class T>
class PWWidgetClassOf final : public PWWidgetClass {
public:
    using PWWidgetClass::PWWidgetClass;
    std::shared_ptr<PWWidget> alloc() const override { return std::make_shared<T>(); }
};
