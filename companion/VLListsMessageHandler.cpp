#include "VLListsMessageHandler.h"

#include "VLDynamicReader.h"

Dictionary VLListsMessageHandler(const Dictionary& /*message*/) {
    Array lists;
    {
        const auto reader = VLDynamicReader::init();
        auto names = reader->listsFromDatabase();
        // One allocation for the reply's array; each title's buffer moves in.
        lists.reserve(names.size());
        for (auto& name : names) lists.emplace_back(std::move(name));
    }
    return Dictionary{{"lists", Value(std::move(lists))}};
}
