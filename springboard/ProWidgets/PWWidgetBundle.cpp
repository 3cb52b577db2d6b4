#include "PWWidgetBundle.h"

#include <dlfcn.h>

#include <filesystem>

#include "NSString.h"
#include "ObjCRuntime.h"
#include "PWWidgetEntry.h"
#include "PropertyList.h"

namespace {

std::optional<std::string> stringEntry(const Dictionary& info, const char* key) {
    const auto it = info.find(key);
    return it == info.end() ? std::nullopt : it->second.stringValue();
}

const PWWidgetClass* widgetClass(const std::string& name, std::string& error) {
    ObjCClass* cls = objc_getClass(name);
    if (!cls) {
        error = "the principal class " + name + " is not registered";
        return nullptr;
    }
    const auto* widgetClass = dynamic_cast<const PWWidgetClass*>(cls);
    if (!widgetClass) error = "the principal class " + name + " is not a widget class";
    return widgetClass;
}

}  // namespace

std::shared_ptr<PWWidgetBundle> PWWidgetBundle::load(const std::string& bundlePath, std::string& error) {
    namespace fs = std::filesystem;
    std::string path = bundlePath;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const std::string prefix = "widget bundle " + path + ": ";
    std::error_code ec;
    if (path.empty() || !fs::is_directory(path, ec)) {
        error = prefix + "no such directory";
        return nullptr;
    }
    const std::string infoPath = stringByAppendingPathComponent(path, "Info.plist");
    auto info = dictionaryWithContentsOfFile(infoPath);
    if (!info) {
        error = prefix + "Info.plist is missing or is not a property list with a dictionary root";
        return nullptr;
    }
    const auto type = stringEntry(*info, "PWInfoType");
    if (!type || *type != "widget") {
        error = prefix + "Info.plist: PWInfoType is not \"widget\"";
        return nullptr;
    }
    const auto principal = stringEntry(*info, "NSPrincipalClass");
    if (!principal || principal->empty()) {
        error = prefix + "Info.plist has no NSPrincipalClass string";
        return nullptr;
    }
    const auto executable = stringEntry(*info, "CFBundleExecutable");
    if (!executable || executable->empty() || executable->find('/') != std::string::npos) {
        error = prefix + "Info.plist has no CFBundleExecutable file name";
        return nullptr;
    }
    const std::string executablePath = stringByAppendingPathComponent(path, *executable);
    if (!fs::is_regular_file(executablePath, ec)) {
        error = prefix + "the executable " + *executable + " is missing";
        return nullptr;
    }

    // Never closed: the bundle's classes and code stay in use for the rest
    // of the process.
    void* handle = dlopen(executablePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        error = prefix + "cannot load " + *executable + ": " + (reason ? reason : "unknown reason");
        return nullptr;
    }
    if (void* symbol = dlsym(handle, PW_WIDGET_BUNDLE_INTERFACE_VERSION_SYMBOL)) {
        const int version = reinterpret_cast<PWWidgetBundleInterfaceVersionFunction>(symbol)();
        if (version != PW_WIDGET_INTERFACE_VERSION) {
            error = prefix + "built for widget interface version " + std::to_string(version) + ", the host has " +
                    std::to_string(PW_WIDGET_INTERFACE_VERSION);
            return nullptr;
        }
    }
    void* load = dlsym(handle, PW_WIDGET_BUNDLE_LOAD_SYMBOL);
    if (!load) {
        error = prefix + "the executable does not export the required symbol " PW_WIDGET_BUNDLE_LOAD_SYMBOL;
        return nullptr;
    }
    if (!reinterpret_cast<PWWidgetBundleLoadFunction>(load)()) {
        error = prefix + PW_WIDGET_BUNDLE_LOAD_SYMBOL "() reported failure";
        return nullptr;
    }
    std::string classError;
    if (!widgetClass(*principal, classError)) {
        error = prefix + classError;
        return nullptr;
    }

    auto bundle = std::shared_ptr<PWWidgetBundle>(new PWWidgetBundle());
    bundle->bundlePath_ = path;
    bundle->principalClass_ = *principal;
    bundle->executablePath_ = executablePath;
    if (const auto name = stringEntry(*info, "PWInfoDisplayName"))
        bundle->displayName_ = *name;
    else if (const auto bundleName = stringEntry(*info, "CFBundleName"))
        bundle->displayName_ = *bundleName;
    else
        bundle->displayName_ = fs::path(path).filename().replace_extension().string();
    bundle->info_ = std::move(*info);
    return bundle;
}

std::shared_ptr<PWWidget> PWWidgetBundle::createWidget(std::string& error) const {
    const auto* cls = widgetClass(principalClass_, error);
    if (!cls) return nullptr;
    auto widget = cls->alloc();
    if (!widget) error = "the principal class " + principalClass_ + " made no widget";
    return widget;
}
