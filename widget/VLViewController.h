#pragma once

#include <memory>
#include <optional>
#include <string>

#include "PWContentItemViewController.h"
#include "PWWidgetItem.h"
#include "Value.h"

class PWWidget;
class VLDynamicReader;

// The add-item form: a choice of Clear list (item "list") and the new task's
// text (item "task"). On submit, or once a new list's name is confirmed, it
// dismisses the widget and hands the request to Clear through Clear's URL
// scheme, then posts "VLIPC.Kill" so the companion service returns the user
// to the app that was in front. Main thread only.
class VLViewController : public PWContentItemViewController {
public:
    // -initForWidget:.
    static std::shared_ptr<VLViewController> initForWidget(const std::shared_ptr<PWWidget>& widget);
    explicit VLViewController(const std::shared_ptr<PWWidget>& widget);

    // Builds the items from the layout "VLAddItem", makes the form's clear
    // reader, fills the list item (setupClearLists) and then registers the
    // value-change and submit handlers.
    void load() override;

    // Offers the list names from Clear's database followed by "Create List..."
    // (value: the create-list sentinel), and selects the settings file's
    // "defaultList" when it is exactly one of the names.
    void setupClearLists();

    // When the user picks "Create List...", asks for the new list's name. A
    // cancelled prompt puts `oldValue` back; a confirmed one goes to
    // createList. Anything else, the task item and an empty selection
    // included, is ignored.
    void itemValueChangedEventHandler(const std::shared_ptr<PWWidgetItem>& item, const Value& oldValue);

    // Hands "create a task named values["task"] in list values["list"][0]" to
    // Clear. Without a chosen list, or with "Create List..." chosen, nothing is
    // handed off and one log line says why. A missing or non-string task is
    // sent as an empty one.
    void submitEventHandler(const Dictionary& values);

    // Hands "create a list named `name`" to Clear; the name goes as it is,
    // an empty one included. With no name at all only a log line is written.
    void createList(const std::optional<std::string>& name);

private:
    std::shared_ptr<VLDynamicReader> _reader;
};
