#include "ObjCRuntime.h"

#include <map>
#include <mutex>

namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, ObjCClass*> classes;
};

// Never destroyed: class objects in loaded libraries unregister from their
// destructors, which may run after this file's statics are gone.
Registry& registry() {
    static auto* r = new Registry;
    return *r;
}

}  // namespace

ObjCClass::~ObjCClass() { objc_unregisterClass(this); }

ObjCClass* objc_getClass(const std::string& name) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.classes.find(name);
    return it == r.classes.end() ? nullptr : it->second;
}

void objc_registerClass(ObjCClass* cls) {
    if (!cls) return;
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    r.classes[cls->name()] = cls;
}

void objc_unregisterClass(ObjCClass* cls) {
    if (!cls) return;
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.classes.find(cls->name());
    if (it != r.classes.end() && it->second == cls) r.classes.erase(it);
}
