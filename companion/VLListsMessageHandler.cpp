#include "VLListsMessageHandler.h"

#include "VLDynamicReader.h"

Dictionary VLListsMessageHandler(const Dictionary& /*message*/) {
    return Dictionary{{"lists", Value(VLDynamicReader::init()->listsFromDatabase())}};
}
