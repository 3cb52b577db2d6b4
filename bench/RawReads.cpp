#include "RawReads.h"

#include <plist/plist.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdio>

namespace bench {

namespace {

plist_t readPlist(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return nullptr;
    std::vector<char> bytes;
    char buffer[16 * 1024];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
    return root;
}

}  // namespace

std::vector<std::string> rawListTitles(const std::string& databasePath) {
    std::vector<std::string> titles;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(databasePath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "select title from lists", -1, &statement, nullptr) == SQLITE_OK) {
            while (sqlite3_step(statement) == SQLITE_ROW) {
                const unsigned char* text = sqlite3_column_text(statement, 0);
                if (text != nullptr) titles.emplace_back(reinterpret_cast<const char*>(text));
            }
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return titles;
}

std::string rawPlistString(const std::string& path, const char* key) {
    std::string value;
    plist_t root = readPlist(path);
    if (root != nullptr && plist_get_node_type(root) == PLIST_DICT) {
        plist_t item = plist_dict_get_item(root, key);
        if (item != nullptr && plist_get_node_type(item) == PLIST_STRING) {
            char* text = nullptr;
            plist_get_string_val(item, &text);
            if (text != nullptr) value = text;
            free(text);
        }
    }
    plist_free(root);
    return value;
}

void rawPlistRead(const std::string& path) { plist_free(readPlist(path)); }

}  // namespace bench
