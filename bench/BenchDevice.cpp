#include "BenchDevice.h"

#include <plist/plist.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace bench {

namespace fs = std::filesystem;

namespace {

void writeBytes(const std::string& path, const char* data, std::size_t size) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data, static_cast<std::streamsize>(size));
    if (!out) throw std::runtime_error("cannot write " + path);
}

void check(int rc, sqlite3* db, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE) throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

void makeDatabase(const std::string& path, int listCount) {
    fs::create_directories(fs::path(path).parent_path());
    sqlite3* db = nullptr;
    check(sqlite3_open(path.c_str(), &db), db, "open");
    check(sqlite3_exec(db,
                       "create table lists (id integer primary key, title text, position integer, color integer);"
                       "create table tasks (id integer primary key, list integer, title text, done integer);"
                       "begin;",
                       nullptr, nullptr, nullptr),
          db, "schema");
    sqlite3_stmt* insert = nullptr;
    check(sqlite3_prepare_v2(db, "insert into lists (title, position, color) values (?, ?, ?)", -1, &insert, nullptr),
          db, "prepare");
    for (int i = 0; i < listCount; ++i) {
        const std::string title = benchListTitle(i);
        sqlite3_bind_text(insert, 1, title.c_str(), static_cast<int>(title.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 2, i);
        sqlite3_bind_int(insert, 3, i % 5);
        check(sqlite3_step(insert), db, "insert");
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    check(sqlite3_exec(db, "commit;", nullptr, nullptr, nullptr), db, "commit");
    sqlite3_close(db);
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
