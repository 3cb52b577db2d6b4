#include "VLViewController.h"

#include <algorithm>
#include <vector>

#include "NSDistributedNotificationCenter.h"
#include "NSLog.h"
#include "NSPathUtilities.h"
#include "NSString.h"
#include "NSURL.h"
#include "PWWidget.h"
#include "PWWidgetItemListValue.h"
#include "PropertyList.h"
#include "UIApplication.h"
#include "VLCreateListSentinel.h"
#include "VLDynamicReader.h"
#include "VLSettingsFile.h"

namespace {

constexpr const char* kCreateListTitle = "Create List...";
constexpr const char* kHomeScreenIdentifier = "com.apple.springboard";

// The URL's text for a log line: "(null)" when no URL could be made.
Value describeURL(const std::shared_ptr<NSURL>& url) { return url ? Value(url->absoluteString()) : Value(); }

// The bundle identifier of the app in front, or the home screen's.
std::string frontMostIdentifier(const std::shared_ptr<UIApplication>& application) {
    if (!application) return kHomeScreenIdentifier;
    const auto front = application->_accessibilityFrontMostApplication();
    if (!front) return kHomeScreenIdentifier;
    const auto identifier = front->displayIdentifier();
    return identifier && !identifier->empty() ? *identifier : kHomeScreenIdentifier;
}

// The common tail of both hand-offs: note where the user came from before
// Clear takes the front, open the URL, and ask the companion service to take
// the user back there. The notification goes out whether or not the open
// succeeded, so the user is never left in a half-finished switch.
void openInClear(const std::shared_ptr<NSURL>& url) {
    const auto application = UIApplication::sharedApplication();
    const std::string identifier = frontMostIdentifier(application);
    NSLog("[Velmora]Opening app...");
    if (application) application->openURL(url);
    if (const auto center = NSDistributedNotificationCenter::defaultCenter())
        center->postNotificationName("VLIPC.Kill", Value(), Dictionary{{"identifier", Value(identifier)}});
}

const Value* entry(const Dictionary& values, const std::string& key) {
    const auto it = values.find(key);
    return it == values.end() ? nullptr : &it->second;
}

}  // namespace

std::shared_ptr<VLViewController> VLViewController::initForWidget(const std::shared_ptr<PWWidget>& widget) {
    return std::make_shared<VLViewController>(widget);
}

VLViewController::VLViewController(const std::shared_ptr<PWWidget>& widget) : PWContentItemViewController(widget) {}

void VLViewController::load() {
    loadPlist("VLAddItem");
    _reader = VLDynamicReader::init();
    setupClearLists();
    // Registered only now, so the preselection above is not taken for a pick.
    setItemValueChangedEventHandler(this, &VLViewController::itemValueChangedEventHandler);
    setSubmitEventHandler(this, &VLViewController::submitEventHandler);
}

void VLViewController::setupClearLists() {
    Array names = _reader ? _reader->listsFromDatabase() : Array{};
    const auto list = std::dynamic_pointer_cast<PWWidgetItemListValue>(itemWithKey("list"));
    if (!list) {
        NSLog("[Velmora]The form has no list item; no lists are offered");
        return;
    }

    // The values are a copy of the names that shares their strings; the
    // titles take the names themselves.
    Array values = arrayByAddingObject(names, Value(VLCreateListSentinel));
    Array titles = std::move(names);
    titles.emplace_back(kCreateListTitle);
    list->setListItemTitles(std::move(titles), std::move(values));

    // Only "defaultList" is wanted of the settings: the rest of the file is
    // checked as a whole read would, but not kept.
    const auto defaultList =
        dictionaryEntryWithContentsOfFile(VLSettingsFilePath(), "defaultList");
    if (!defaultList) return;
    // Object equality: only a string can equal a name, and only exactly. The
    // names are the offered values before the "Create List..." sentinel.
    const auto wanted = defaultList->asString();
    if (!wanted) return;
    const Array& offered = list->listItemValues();
    const auto isWanted = [wanted](const Value& v) { return v.asString() && *v.asString() == *wanted; };
    if (std::any_of(offered.begin(), offered.end(), isWanted)) list->setValue(*defaultList);
}

void VLViewController::itemValueChangedEventHandler(const std::shared_ptr<PWWidgetItem>& item, const Value& oldValue) {
    if (!item || item->key() != "list") return;
    const auto list = std::dynamic_pointer_cast<PWWidgetItemListValue>(item);
    if (!list) return;
    const Value value = list->value();
    const Array* selected = value.asArray();
    const Array& offered = list->listItemValues();
    if (!selected || selected->empty() || offered.empty()) return;
    if (!selected->front().isEqual(offered.back())) return;

    const auto widget = this->widget();
    if (!widget) return;
    // The completion may run long after this handler returns; it keeps the
    // item, the form and the value to restore alive until then.
    auto form = std::static_pointer_cast<VLViewController>(shared_from_this());
    widget->prompt("What would you like to name your new Clear list?", "Create List", "Add", std::nullopt, 2,
                   [list, form, oldValue](bool cancelled, const std::optional<std::string>& text,
                                          const std::optional<std::string>& /*secondText*/) {
                       if (cancelled)
                           list->setValue(oldValue);
                       else
                           form->createList(text);
                   });
}

void VLViewController::submitEventHandler(const Dictionary& values) {
    const Value* listEntry = entry(values, "list");
    const Array* list = listEntry ? listEntry->asArray() : nullptr;
    if (!list || list->empty()) {
        NSLog("[Velmora]Not creating a task: no list is chosen");
        return;
    }
    const Value& listValue = list->front();
    if (listValue.isEqual(Value(VLCreateListSentinel))) {
        NSLog("[Velmora]Not creating a task: \"Create List...\" is chosen instead of a list");
        return;
    }
    const Value* taskEntry = entry(values, "task");
    const std::string task = taskEntry ? taskEntry->stringValue().value_or(std::string()) : std::string();

    if (const auto widget = this->widget()) widget->dismiss();
    // Each value is escaped on its own, so a "&", "=" or "#" in a name stays
    // part of that name for Clear's query parser.
    const std::string string = "clearapp://task/create?listName=" +
                               stringByAddingPercentEncodingForQueryValue(listValue.description()) +
                               "&taskName=" + stringByAddingPercentEncodingForQueryValue(task);
    const auto url = NSURL::URLWithString(string);
    NSLog("[Velmora]Creating task with values [%@] using URL-scheme [%@]...", {Value(values), describeURL(url)});
    openInClear(url);
}

void VLViewController::createList(const std::optional<std::string>& name) {
    if (!name) {
        NSLog("[Velmora]Not creating a list: no name was given");
        return;
    }
    if (const auto widget = this->widget()) widget->dismiss();
    const auto url =
        NSURL::URLWithString("clearapp://list/create?listName=" + stringByAddingPercentEncodingForQueryValue(*name));
    NSLog("[Velmora]Creating list using URL-scheme [%@]...", {describeURL(url)});
    openInClear(url);
}
