#include "TestDevice.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "SQLiteConnection.h"
#include "SQLiteStatement.h"

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

void execute(const SQLiteConnection& db, const std::string& sql) {
    if (!db.execute(sql.c_str())) throw std::runtime_error(std::string("sqlite: ") + db.errorMessage());
}

void insertList(const SQLiteConnection& db, const std::string& title) {
    SQLiteStatement statement(db, "insert into lists(title) values(?)");
    if (!statement.ok()) throw std::runtime_error("sqlite prepare failed");
    if (!statement.bind(1, title).run()) throw std::runtime_error("sqlite insert failed");
}

template <class Body>
void withDatabase(const std::string& path, Body body) {
    fs::create_directories(fs::path(path).parent_path());
    const auto db = SQLiteConnection::open(path.c_str(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (!db.ok()) throw std::runtime_error("cannot open " + path);
    body(db);
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
    withDatabase(clearDatabasePath(bundle), [&](const SQLiteConnection& db) {
        execute(db, "create table lists(title text)");
        for (const auto& title : lists) insertList(db, title);
    });
    return bundle;
}

void TestDevice::addClearList(const std::string& clearBundlePath, const std::string& title) {
    withDatabase(clearDatabasePath(clearBundlePath), [&](const SQLiteConnection& db) { insertList(db, title); });
}
