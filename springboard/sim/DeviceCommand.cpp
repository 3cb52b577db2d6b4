#include "DeviceCommand.h"

#include <filesystem>
#include <iostream>
#include <sstream>

#include "ApplicationRegistry.h"
#include "BuiltPackage.h"
#include "ClearDatabase.h"
#include "DeviceJson.h"
#include "DevicePackages.h"
#include "DeviceState.h"
#include "DpkgDatabase.h"
#include "TerminalText.h"
#include "Trace.h"
#include "PropertyList.h"

namespace fs = std::filesystem;

namespace sim {
namespace {

constexpr int kFailure = 1;
constexpr int kUsageError = 2;

int report(int status, const std::string& message) {
    std::cerr << "velmora-sim: " << message << "\n";
    return status;
}

// Device text reaches the terminal escaped: a list named with an escape
// sequence must not repaint the screen.
std::string quoted(const std::string& text) { return "\"" + printable(text) + "\""; }

std::string joined(const std::vector<std::string>& items, const char* separator) {
    std::string text;
    for (const auto& item : items) text += (text.empty() ? "" : separator) + item;
    return text;
}

std::string packageLine(const std::string& device) {
    const auto installed = readInstalledPackages(device);
    auto it = installed.find(kPackageName);
    if (it == installed.end()) return "none installed";
    return it->second.package + " " + it->second.version + " (" + it->second.architecture + ")";
}

}  // namespace

DeviceCommand::DeviceCommand(CLI::App& app) {
    command_ = app.add_subcommand("device", "make, install into and look at simulated devices");
    command_->require_subcommand(1);

    create_ = command_->add_subcommand("create", "make a device directory with the build's package installed");
    create_->add_option("DIR", directory_, "the new device directory (must not exist, or be empty)")->required()->type_name("");
    create_->add_flag("--clear", options_.clear, "install Clear (com.realmacsoftware.clear)");
    create_->add_flag("--clear-plus", options_.clearPlus, "install Clear+ (com.realmacsoftware.clear.universal)");
    create_->add_option("--lists", listsText_,
                        "Clear's lists, in order, split on \",\" with blanks around names dropped (\"\\,\" keeps a comma)")
        ->type_name("A,B,C");
    create_->add_option("--list", extraLists_, "one more list, taken exactly as given (repeatable; after --lists)")->type_name("NAME");
    create_->add_option("--theme", theme_, "Clear's ThemeIdentifier, e.g. THEME_GRAPHITE_ID")->type_name("KEY");
    create_->add_option("--default-list", defaultList_, "the widget's defaultList setting")->type_name("NAME");
    create_->add_option("--front", front_, "bundle id of the app in front, or \"home\"")->type_name("BUNDLE_ID");
    create_->add_option("--package", packagePath_, "install this PKG.deb instead of the build's package")->type_name("PKG.deb");
    create_->footer("Examples:\n"
                    "  velmora-sim device create ~/phone --clear --lists \"Groceries,Work\" --default-list Work\n"
                    "  velmora-sim device create ~/phone --clear-plus --theme THEME_GRAPHITE_ID --front com.apple.mobilesafari");

    install_ = command_->add_subcommand("install", "install a package into a device with dpkg, once it passes the checks");
    install_->add_option("DIR", directory_, "the device")->required()->type_name("");
    install_->add_option("PKG.deb", packagePath_, "the package: Velmora's or any other whose Depends the device meets")
        ->required()
        ->type_name("");
    install_->footer("Examples:\n"
                     "  velmora-sim device install ~/phone build/velmora_1.0.0_amd64.deb\n"
                     "  velmora-sim device install ~/phone ~/tweaks/com.example.tweak_0.1_all.deb");

    update_ = command_->add_subcommand("update", "install the build's package into a device again");
    update_->add_option("DIR", directory_, "the device")->required()->type_name("");
    update_->footer("Example:\n  velmora-sim device update ~/phone");

    remove_ = command_->add_subcommand("remove", "remove a package from a device with dpkg");
    remove_->add_option("DIR", directory_, "the device")->required()->type_name("");
    remove_->add_option("PACKAGE", removeName_, "the package's name (default: " + std::string(kPackageName) + ", Velmora)")
        ->type_name("");
    remove_->footer("Examples:\n"
                    "  velmora-sim device remove ~/phone\n"
                    "  velmora-sim device remove ~/phone com.example.tweak");

    show_ = command_->add_subcommand("show", "print what a device holds");
    show_->add_option("DIR", directory_, "the device")->required()->type_name("");
    show_->add_flag("--json", json_, "one JSON object with the same facts");
    show_->footer("Examples:\n  velmora-sim device show ~/phone\n  velmora-sim device show --json ~/phone | jq .clear");
}

int DeviceCommand::run() {
    if (create_->parsed()) return create();
    if (install_->parsed()) return install(directory_, packagePath_);
    if (update_->parsed()) return install(directory_, std::nullopt);
    if (remove_->parsed()) return remove();
    if (show_->parsed()) return show();
    return report(kUsageError, "device: a subcommand is required (see velmora-sim device --help)");
}

int DeviceCommand::create() {
    options_.lists = splitListNames(listsText_);
    options_.lists.insert(options_.lists.end(), extraLists_.begin(), extraLists_.end());
    options_.theme = theme_;
    options_.defaultList = defaultList_;
    options_.front = front_ == "home" ? std::string(kSpringBoardIdentifier) : front_;
    if (auto problem = checkDeviceRequest(directory_, options_)) return report(kUsageError, *problem);
    for (const auto& warning : deviceRequestWarnings(options_)) std::cerr << "velmora-sim: warning: " << warning << "\n";

    std::string error;
    std::optional<std::string> package = packagePath_.empty() ? locateBuiltPackage(&error) : packagePath_;
    if (!package) return report(kFailure, error);
    auto installed = createDevice(directory_, options_, *package, &error);
    if (!installed) return report(kFailure, error);

    std::vector<std::string> apps;
    if (options_.clear) apps.push_back("Clear");
    if (options_.clearPlus) apps.push_back("Clear+");
    std::ostringstream line;
    line << "made " << directory_ << ": " << (apps.empty() ? "no Clear" : joined(apps, " and "));
    if (!apps.empty()) line << " with " << options_.lists.size() << (options_.lists.size() == 1 ? " list" : " lists");
    if (options_.theme) line << ", theme " << *options_.theme;
    if (options_.defaultList) line << ", default list " << quoted(*options_.defaultList);
    line << ", " << options_.front << " in front, " << installed->package << " " << installed->version << " installed";
    std::cout << line.str() << "\n";
    return 0;
}

int DeviceCommand::install(const std::string& directory, const std::optional<std::string>& packagePath) {
    std::string error;
    std::optional<std::string> package = packagePath ? packagePath : locateBuiltPackage(&error);
    if (!package) return report(kFailure, error);
    auto change = installPackage(directory, *package, &error);
    if (!change) return report(kFailure, error);
    std::cout << describeChange(*change, directory, /*removed=*/false) << "\n";
    return 0;
}

int DeviceCommand::remove() {
    std::string error;
    auto change = removePackage(directory_, removeName_, &error);
    if (!change) return report(kFailure, error);
    std::cout << describeChange(*change, directory_, /*removed=*/true) << "\n";
    return 0;
}

int DeviceCommand::show() {
    std::error_code ec;
    if (!fs::is_directory(fs::path(directory_) / "var/mobile", ec))
        return report(kFailure, "no device at " + directory_ + " (make one with: velmora-sim device create DIR)");
    std::cout << (json_ ? Trace::line(deviceAsJson(directory_)) + "\n" : describeDevice(directory_));
    return 0;
}

std::string describeDevice(const std::string& device) {
    std::ostringstream out;
    const fs::path root = fs::absolute(device);
    out << "device    " << device << "\n";
    out << "package   " << packageLine(root.string()) << "\n";
    if (auto warning = packageWarning(device)) out << "          warning: " << *warning << "\n";
    out << "front     " << printable(readFrontApplication(root.string())) << "\n";

    auto registry = ApplicationRegistry::scan(root.string());
    out << "apps     ";
    for (const auto& app : registry->applications()) out << " " << app->identifier();
    out << "\n";

    for (const char* identifier : {kClearIdentifier, kClearPlusIdentifier}) {
        auto app = registry->applicationWithIdentifier(identifier);
        if (!app) continue;
        fs::path container = fs::path(app->bundlePath()).parent_path();
        auto preferences =
            dictionaryWithContentsOfFile((container / "Library/Preferences/com.realmacsoftware.clear.plist").string());
        const Value* theme = nullptr;
        if (preferences)
            if (auto it = preferences->find("ThemeIdentifier"); it != preferences->end()) theme = &it->second;
        out << identifier << "\n  theme   " << (theme ? printable(theme->description()) : std::string("(none)")) << "\n";

        std::string error;
        auto db = ClearDatabase::open(ClearDatabase::pathInContainer(container.string()), /*create=*/false, &error);
        if (!db) {
            out << "  lists   (unreadable: " << error << ")\n";
            continue;
        }
        std::vector<std::string> lists;
        for (const auto& list : db->lists()) lists.push_back(quoted(list));
        out << "  lists   " << (lists.empty() ? "(none)" : joined(lists, ", ")) << "\n";
        auto tasks = db->tasks();
        if (tasks.empty()) out << "  tasks   (none)\n";
        for (const auto& [list, task] : tasks) out << "  task    " << quoted(task) << " in " << quoted(list) << "\n";
    }

    fs::path settingsPath = root / kWidgetSettingsFile;
    out << "settings  " << kWidgetSettingsFile;
    std::error_code ec;
    if (!fs::exists(settingsPath, ec)) {
        out << " (none)\n";
    } else if (auto settings = dictionaryWithContentsOfFile(settingsPath.string())) {
        out << "\n";
        for (const auto& [key, value] : *settings) out << "  " << printable(key) << " = " << printable(value.description()) << "\n";
    } else {
        out << " (unreadable)\n";
    }
    return out.str();
}

}  // namespace sim
