#pragma once

#include "Value.h"

// Answers "VLIPC.Lists": {"lists": the titles of Clear's lists, an array of
// strings, empty when Clear or its database is missing}. Reads the database
// afresh with a reader of its own; ignores `message`. Safe on any thread.
Dictionary VLListsMessageHandler(const Dictionary& message);
