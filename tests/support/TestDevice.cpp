#include "TestDevice.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

std::string escapeXML(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            default: out += c;
        }
    }
    return out;
}

void execute(sqlite3* db, const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        std::string error = message ? message : "unknown error";
        sqlite3_free(message);
        throw std::runtime_error("sqlite: " + error);
    }
}

void insertList(sqlite3* db, const std::string& title) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "insert into lists(title) values(?)", -1, &statement, nullptr) != SQLITE_OK)
        throw std::runtime_error("sqlite prepare failed");
    sqlite3_bind_text(statement, 1, title.c_str(), static_cast<int>(title.size()), SQLITE_TRANSIENT);
    const int result = sqlite3_step(statement);
    sqlite3_finalize(statement);
    if (result != SQLITE_DONE) throw std::runtime_error("sqlite insert failed");
}

template <class Body>
void withDatabase(const std::string& path, Body body) {
    fs::create_directories(fs::path(path).parent_path());
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + path);
    }
    try {
        body(db);
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
}

}  // namespace

TestDevice::TestDevice() { directory_.make("var/mobile/Library/Preferences"); }

std::string TestDevice::path(const std::string& relative) const { return (directory_.path() / relative).string(); }

std::string TestDevice::infoPlist(const std::string& identifier, const std::vector<std::string>& urlSchemes) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\">\n<dict>\n"
        "\t<key>CFBundleIdentifier</key>\n\t<string>" + escapeXML(identifier) + "</string>\n";
    if (!urlSchemes.empty()) {
        xml += "\t<key>CFBundleURLTypes</key>\n\t<array>\n\t\t<dict>\n\t\t\t<key>CFBundleURLSchemes</key>\n\t\t\t<array>\n";
        for (const auto& scheme : urlSchemes) xml += "\t\t\t\t<string>" + escapeXML(scheme) + "</string>\n";
        xml += "\t\t\t</array>\n\t\t</dict>\n\t</array>\n";
    }
    return xml + "</dict>\n</plist>\n";
}

std::string TestDevice::installBundle(const std::string& directory, const std::string& identifier,
                                      const std::vector<std::string>& urlSchemes) {
    writeFile(fs::path(directory) / "Info.plist", infoPlist(identifier, urlSchemes));
    return directory;
}

std::string TestDevice::installSystemApp(const std::string& name, const std::string& identifier,
                                         const std::vector<std::string>& urlSchemes) {
    return installBundle(path("Applications/" + name + ".app"), identifier, urlSchemes);
}

std::string TestDevice::installApp(const std::string& name, const std::string& identifier,
                                   const std::vector<std::string>& urlSchemes) {
    char uuid[40];
    std::snprintf(uuid, sizeof uuid, "6F1C0A3E-2B4D-4E5F-8A9B-%012d", ++containers_);
    return installBundle(path(std::string("var/mobile/Applications/") + uuid + "/" + name + ".app"), identifier,
                         urlSchemes);
}

std::string TestDevice::clearDatabasePath(const std::string& clearBundlePath) {
    return (fs::path(clearBundlePath).parent_path() / "Library/Application Support/com.realmacsoftware.clear" /
            "BackendTasks.sqlite")
        .string();
}

std::string TestDevice::installClear(const std::vector<std::string>& lists, const std::string& identifier) {
    const std::string bundle = installApp("Clear", identifier, {"clearapp"});
    withDatabase(clearDatabasePath(bundle), [&](sqlite3* db) {
        execute(db, "create table lists(title text)");
        for (const auto& title : lists) insertList(db, title);
    });
    return bundle;
}

void TestDevice::addClearList(const std::string& clearBundlePath, const std::string& title) {
    withDatabase(clearDatabasePath(clearBundlePath), [&](sqlite3* db) { insertList(db, title); });
}
