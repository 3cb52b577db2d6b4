#include "VLListsMessageHandler.h"

#include "VLDynamicReader.h"

Dictionary VLListsMessageHandler(const Dictionary& /*message*/) {
    Array lists;
    {
        const auto reader = VLDynamicReader::init();
        for (auto& name : reader->listsFromDatabase()) lists.emplace_back(std::move(name));
    }
    return Dictionary{{"lists", Value(std::move(lists))}};
}
