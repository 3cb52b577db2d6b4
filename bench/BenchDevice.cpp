#include "BenchDevice.h"

#include <plist/plist.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "SQLiteConnection.h"
#include "SQLiteStatement.h"

namespace bench {

namespace fs = std::filesystem;

namespace {

void writeBytes(const std::string& path, const char* data, std::size_t size) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data, static_cast<std::streamsize>(size));
    if (!out) throw std::runtime_error("cannot write " + path);
}

void check(bool ok, const SQLiteConnection& db, const char* what) {
    if (!ok) throw std::runtime_error(std::string(what) + ": " + db.errorMessage());
}

void makeDatabase(const std::string& path, int listCount) {
    fs::create_directories(fs::path(path).parent_path());
    const auto db = SQLiteConnection::open(path.c_str(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    check(db.ok(), db, "open");
    check(db.execute("create table lists (id integer primary key, title text, position integer, color integer);"
                     "create table tasks (id integer primary key, list integer, title text, done integer);"
                     "begin;"),
          db, "schema");
    {
        SQLiteStatement insert(db, "insert into lists (title, position, color) values (?, ?, ?)");
        check(insert.ok(), db, "prepare");
        for (int i = 0; i < listCount; ++i) {
            check(insert.bind(1, benchListTitle(i)).bind(2, std::int64_t{i}).bind(3, std::int64_t{i % 5}).run(), db,
                  "insert");
            insert.reset();
        }
    }
    check(db.execute("commit;"), db, "commit");
}

void makePreferences(const std::string& path, PlistFormat format) {
    plist_t root = plist_new_dict();
    plist_dict_set_item(root, "ThemeIdentifier", plist_new_string("THEME_GRAPHITE_ID"));
    plist_dict_set_item(root, "SoundsEnabled", plist_new_bool(1));
    plist_dict_set_item(root, "VibrationEnabled", plist_new_bool(0));
    plist_dict_set_item(root, "LaunchCount", plist_new_uint(412));
    plist_dict_set_item(root, "LastSyncDate", plist_new_date(500000000, 0));
    plist_dict_set_item(root, "iCloudSyncEnabled", plist_new_bool(1));
    plist_dict_set_item(root, "LastOpenedListIdentifier", plist_new_string("6A1C2E3F-0B7D-4F5E-9A8B-1C2D3E4F5A6B"));
    plist_t unlocked = plist_new_array();
    for (const char* theme : {"THEME_WARMTH_ID", "THEME_GRAPHITE_ID", "THEME_NOIR_ID", "THEME_ANALOG_ID"})
        plist_array_append_item(unlocked, plist_new_string(theme));
    plist_dict_set_item(root, "UnlockedThemes", unlocked);
    char* bytes = nullptr;
    uint32_t length = 0;
    if (format == PlistFormat::Xml) {
        plist_to_xml(root, &bytes, &length);
    } else {
        plist_to_bin(root, &bytes, &length);
    }
    plist_free(root);
    if (bytes == nullptr) throw std::runtime_error("libplist could not encode the preferences");
    writeBytes(path, bytes, length);
    free(bytes);
}

}  // namespace

std::string benchListTitle(int i) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, (i % 7 == 3) ? "Liste n\xC2\xB0%d \xC3\xA0 faire" : "Groceries and errands %d", i);
    return buffer;
}

BenchDevice::BenchDevice(int listCount, PlistFormat preferencesFormat) {
    std::string pattern = (fs::temp_directory_path() / "velmora-bench-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = name.data();
    const std::string container = root_ + "/var/mobile/Applications/0F5C1D2E-3A4B-4C5D-8E6F-7A8B9C0D1E2F";
    bundle_ = container + "/Clear.app";
    database_ = container + "/Library/Application Support/com.realmacsoftware.clear/BackendTasks.sqlite";
    preferences_ = container + "/Library/Preferences/com.realmacsoftware.clear.plist";
    fs::create_directories(bundle_);
    const std::string info = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                             "<key>CFBundleIdentifier</key><string>com.realmacsoftware.clear</string>"
                             "</dict></plist>\n";
    writeBytes(bundle_ + "/Info.plist", info.data(), info.size());
    makeDatabase(database_, listCount);
    makePreferences(preferences_, preferencesFormat);

    settings_ = root_ + "/var/mobile/Library/Preferences/com.kelbrin.velmora.plist";
    plist_t settings = plist_new_dict();
    plist_dict_set_item(settings, "defaultList", plist_new_string(benchListTitle(0).c_str()));
    plist_dict_set_item(settings, "savedPath", plist_new_string(bundle_.c_str()));
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(settings, &xml, &length);
    plist_free(settings);
    writeBytes(settings_, xml, length);
    free(xml);
}

BenchDevice::~BenchDevice() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

}  // namespace bench
