#pragma once

// `velmora-sim device ...`: create, install, update, remove and show devices.

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

#include "BuiltPackage.h"
#include "DeviceBuilder.h"

namespace sim {

class DeviceCommand {
public:
    // Adds `device` and its subcommands to `app`.
    explicit DeviceCommand(CLI::App& app);

    // Whether the parsed command line chose `device`.
    bool chosen() const { return command_->parsed(); }

    // Runs the chosen subcommand; its exit status (0, 1 failure, 2 usage).
    int run();

private:
    int create();
    int install(const std::string& directory, const std::optional<std::string>& packagePath);
    int remove();
    int show();

    CLI::App* command_;
    CLI::App* create_;
    CLI::App* install_;
    CLI::App* update_;
    CLI::App* remove_;
    CLI::App* show_;

    std::string directory_;
    std::string packagePath_;
    std::string removeName_ = kPackageName;
    DeviceOptions options_;
    std::string listsText_;
    std::vector<std::string> extraLists_;
    std::optional<std::string> theme_, defaultList_;
    std::string front_ = kSpringBoardIdentifier;
    bool json_ = false;
};

// What `device show` prints about the device at `device`.
std::string describeDevice(const std::string& device);

}  // namespace sim
