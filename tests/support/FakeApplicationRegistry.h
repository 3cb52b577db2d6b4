#pragma once

// A stand-in for SpringBoard's application registry: it answers from a table
// of installed apps and records every identifier it is asked for.

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "SBApplicationController.h"

namespace fakes {

class FakeApplication : public SBApplication {
public:
    FakeApplication(std::optional<std::string> path, std::optional<std::string> identifier)
        : path_(std::move(path)), identifier_(std::move(identifier)) {}
    std::optional<std::string> path() const override { return path_; }
    std::optional<std::string> displayIdentifier() const override { return identifier_; }

private:
    std::optional<std::string> path_;
    std::optional<std::string> identifier_;
};

class FakeRegistry : public SBApplicationController {
public:
    void install(const std::string& identifier, const std::string& path) {
        installed_[identifier] = std::make_shared<FakeApplication>(path, identifier);
    }
    std::shared_ptr<SBApplication> applicationWithDisplayIdentifier(const std::string& identifier) override {
        std::lock_guard<std::mutex> lock(mutex_);
        lookups.push_back(identifier);
        auto found = installed_.find(identifier);
        return found == installed_.end() ? nullptr : found->second;
    }

    // Read only while no reader is asking.
    std::vector<std::string> lookups;

private:
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<SBApplication>> installed_;
};

// The class object. Readers (and the widget) keep a pointer to it for the
// rest of the process once found, so it lives as long as the process: use the
// one `instance()`, and swap its registry between tests.
class FakeRegistryClass : public SBApplicationControllerClass {
public:
    static FakeRegistryClass& instance() {
        static FakeRegistryClass cls;
        return cls;
    }
    std::shared_ptr<SBApplicationController> sharedInstance() const override { return registry; }

    std::shared_ptr<FakeRegistry> registry;

private:
    FakeRegistryClass() = default;
};

}  // namespace fakes
