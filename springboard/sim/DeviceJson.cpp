#include "DeviceJson.h"

#include <filesystem>

#include "ApplicationRegistry.h"
#include "BuiltPackage.h"
#include "ClearDatabase.h"
#include "DeviceBuilder.h"
#include "DeviceState.h"
#include "DpkgDatabase.h"
#include "PropertyList.h"

namespace fs = std::filesystem;

namespace sim {

Json deviceAsJson(const std::string& device) {
    const fs::path root = fs::absolute(device);
    Json out{{"device", device}};
    const auto installed = readInstalledPackages(root.string());
    auto velmora = installed.find(kPackageName);
    out["package"] = velmora != installed.end() ? Json{{"package", velmora->second.package},
                                                       {"version", velmora->second.version},
                                                       {"architecture", velmora->second.architecture}}
                                                : Json(nullptr);
    auto warning = packageWarning(device);
    out["packageWarning"] = warning ? Json(*warning) : Json(nullptr);
    out["front"] = readFrontApplication(root.string());

    auto registry = ApplicationRegistry::scan(root.string());
    Json apps = Json::array();
    for (const auto& app : registry->applications()) apps.push_back(app->identifier());
    out["apps"] = apps;

    Json clears = Json::object();
    for (const char* identifier : {kClearIdentifier, kClearPlusIdentifier}) {
        auto app = registry->applicationWithIdentifier(identifier);
        if (!app) continue;
        fs::path container = fs::path(app->bundlePath()).parent_path();
        Json clear = Json::object();
        auto preferences =
            dictionaryWithContentsOfFile((container / "Library/Preferences/com.realmacsoftware.clear.plist").string());
        clear["theme"] = nullptr;
        if (preferences)
            if (auto it = preferences->find("ThemeIdentifier"); it != preferences->end()) clear["theme"] = jsonFromValue(it->second);
        std::string error;
        auto db = ClearDatabase::open(ClearDatabase::pathInContainer(container.string()), /*create=*/false, &error);
        if (db) {
            clear["lists"] = db->lists();
            Json tasks = Json::array();
            for (const auto& [list, task] : db->tasks()) tasks.push_back(Json{{"list", list}, {"task", task}});
            clear["tasks"] = tasks;
        } else {
            clear["lists"] = nullptr;
            clear["tasks"] = nullptr;
            clear["error"] = error;
        }
        clears[identifier] = clear;
    }
    out["clear"] = clears;

    std::error_code ec;
    const fs::path settingsPath = root / kWidgetSettingsFile;
    auto settings = fs::exists(settingsPath, ec) ? dictionaryWithContentsOfFile(settingsPath.string()) : std::nullopt;
    out["settings"] = settings ? jsonFromValue(Value(*settings)) : Json(nullptr);
    return out;
}

}  // namespace sim
