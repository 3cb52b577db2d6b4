#include "PWItemLayout.h"

#include <set>

#include "ObjCRuntime.h"
#include "PWWidgetItemHost.h"
#include "PWWidgetItemListValue.h"
#include "PWWidgetItemTextField.h"

namespace {

std::shared_ptr<PWWidgetItem> makeItem(const std::string& type, std::string& problem) {
    if (type == "listvalue") return std::make_shared<PWWidgetItemListValue>();
    if (type == "textfield") return std::make_shared<PWWidgetItemTextField>();
    const auto* cls = dynamic_cast<const PWWidgetItemClass*>(objc_getClass(type));
    if (!cls) {
        problem = objc_getClass(type) ? "class " + type + " is not an item class"
                                      : "unknown type \"" + type + "\" (no such item class is registered)";
        return nullptr;
    }
    auto item = cls->alloc();
    if (!item) problem = "class " + type + " made no item";
    return item;
}

}  // namespace

std::vector<std::shared_ptr<PWWidgetItem>> buildItemsFromLayout(const Dictionary& layout,
                                                                const std::shared_ptr<PWCallLog>& calls,
                                                                std::vector<std::string>& problems) {
    std::vector<std::shared_ptr<PWWidgetItem>> items;
    const auto found = layout.find("items");
    const Array* entries = found == layout.end() ? nullptr : found->second.asArray();
    if (!entries) {
        problems.push_back("the layout has no \"items\" array");
        return items;
    }

    std::set<std::string> keys;
    for (std::size_t i = 0; i < entries->size(); ++i) {
        const std::string where = "item " + std::to_string(i);
        const Dictionary* entry = (*entries)[i].asDictionary();
        if (!entry) {
            problems.push_back(where + ": not a dictionary");
            continue;
        }
        auto field = [entry](const char* name) -> const Value* {
            const auto it = entry->find(name);
            return it == entry->end() ? nullptr : &it->second;
        };
        const auto key = field("key") ? field("key")->stringValue() : std::nullopt;
        if (!key || key->empty()) {
            problems.push_back(where + ": no \"key\" string");
            continue;
        }
        if (!keys.insert(*key).second) {
            problems.push_back(where + ": the key \"" + *key + "\" is used twice");
            continue;
        }
        const auto type = field("type") ? field("type")->stringValue() : std::nullopt;
        if (!type) {
            problems.push_back(where + " (\"" + *key + "\"): no \"type\" string");
            continue;
        }
        std::string problem;
        auto item = makeItem(*type, problem);
        if (!item) {
            problems.push_back(where + " (\"" + *key + "\"): " + problem);
            continue;
        }
        const auto title = field("title") ? field("title")->stringValue() : std::nullopt;
        const Value initial = item->acceptedValue(field("default") ? *field("default") : Value());
        item->host().setUp(*key, title ? *title : std::string(), initial, calls);
        items.push_back(std::move(item));
    }
    return items;
}
