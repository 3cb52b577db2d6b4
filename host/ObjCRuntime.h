#pragma once

#include <string>

#include "HostExport.h"

// A class known to the run time by name. Concrete class objects derive from
// this and add their class methods (a factory, `sharedInstance`, ...); callers
// that look a class up by name cast to the interface they expect.
class HOST_API ObjCClass {
public:
    explicit ObjCClass(std::string name) : name_(std::move(name)) {}
    virtual ~ObjCClass();
    ObjCClass(const ObjCClass&) = delete;
    ObjCClass& operator=(const ObjCClass&) = delete;

    const std::string& name() const { return name_; }

private:
    std::string name_;
};

// objc_getClass(): the class registered under `name` in this process, or
// nullptr when the process has no such class. Thread-safe.
HOST_API ObjCClass* objc_getClass(const std::string& name);

// Makes `cls` known under its name for the rest of the process (or until
// objc_unregisterClass). The caller keeps `cls` alive while it is registered.
// A later registration under the same name replaces the earlier one.
HOST_API void objc_registerClass(ObjCClass* cls);
HOST_API void objc_unregisterClass(ObjCClass* cls);
