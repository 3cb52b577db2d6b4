#pragma once

#include <memory>
#include <string>
#include <vector>

#include "PWCallLog.h"
#include "PWWidgetItem.h"
#include "Value.h"

// Builds the items an item layout describes (the format is documented at
// PWContentItemViewController::loadPlist), in layout order, each set up with
// its key, title, initial value and `calls`. An entry that cannot be built
// (not a dictionary, no key, a repeated key, an unknown type) is skipped, and
// `problems` gets one line naming the entry and the reason. A layout without
// an "items" array builds nothing and says so.
std::vector<std::shared_ptr<PWWidgetItem>> buildItemsFromLayout(const Dictionary& layout,
                                                                const std::shared_ptr<PWCallLog>& calls,
                                                                std::vector<std::string>& problems);
