#pragma once

// Collects every NSLog message (the bare text) while alive. Tests link
// Foundation for it.

#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "Platform.h"

class LogCapture {
public:
    // `alsoTo`, when given, sees each message too (e.g. to interleave log lines
    // with other recorded events).
    explicit LogCapture(std::function<void(const std::string&)> alsoTo = nullptr)
        : alsoTo_(std::move(alsoTo)),
          registration_(springboard::addLogSink([this](const std::string& message) {
              {
                  std::lock_guard lock(mutex_);
                  lines_.push_back(message);
              }
              if (alsoTo_) alsoTo_(message);
          })) {
        springboard::setLogToStandardError(false);
    }

    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    std::function<void(const std::string&)> alsoTo_;
    springboard::Registration registration_;
};
