#pragma once

// Every open connection by id, with their deadlines: the sweep that closes
// those past theirs and the eviction that makes room for a new one. Closing
// a connection is removing it: its Connection owns the socket. Not
// synchronised: the server's lock guards it.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "Connection.h"

namespace objcipc {

class ConnectionTable {
public:
    explicit ConnectionTable(std::uint64_t firstId) : nextId_(firstId) {}

    std::size_t size() const { return connections_.size(); }
    // The id the next connection gets.
    std::uint64_t nextId() const { return nextId_; }
    // Adds `connection`, whose id must be nextId().
    Connection& add(std::unique_ptr<Connection> connection);
    // The connection with `id`, or nullptr when it is closed.
    Connection* find(std::uint64_t id) const;
    // What a closed connection leaves to settle: the budget it held and the
    // reply size it was learning.
    struct Closed {
        Connection::Held held;
        std::vector<std::string> learning;
        void add(Connection& connection);
    };
    // Closes it.
    void remove(std::uint64_t id, Closed& closed);
    // Closes the connection no worker holds that has waited longest for its
    // next step; false when every one is held.
    bool evictOne(Closed& closed);
    // Closes every connection no worker holds whose deadline is past `now`.
    void sweep(Connection::Clock::time_point now, Closed& closed);
    // Closes them all.
    void clear() { connections_.clear(); }

private:
    std::unordered_map<std::uint64_t, std::unique_ptr<Connection>> connections_;
    std::uint64_t nextId_;
};

}  // namespace objcipc
