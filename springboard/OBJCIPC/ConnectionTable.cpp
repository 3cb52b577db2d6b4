#include "ConnectionTable.h"

namespace objcipc {

void ConnectionTable::Closed::add(Connection& connection) {
    const Connection::Held freed = connection.release();
    held.request += freed.request;
    held.reply += freed.reply;
    if (!connection.learning.empty()) learning.push_back(std::move(connection.learning));
}

Connection& ConnectionTable::add(std::unique_ptr<Connection> connection) {
    Connection& added = *connection;
    connections_.emplace(connection->id(), std::move(connection));
    ++nextId_;
    return added;
}

Connection* ConnectionTable::find(std::uint64_t id) const {
    const auto it = connections_.find(id);
    return it == connections_.end() ? nullptr : it->second.get();
}

void ConnectionTable::remove(std::uint64_t id, Closed& closed) {
    const auto it = connections_.find(id);
    if (it == connections_.end()) return;
    closed.add(*it->second);
    connections_.erase(it);  // closing the socket takes it out of epoll too
}

bool ConnectionTable::evictOne(Closed& closed) {
    auto oldest = connections_.end();
    for (auto it = connections_.begin(); it != connections_.end(); ++it) {
        if (!it->second->busy && (oldest == connections_.end() || it->second->deadline() < oldest->second->deadline()))
            oldest = it;
    }
    if (oldest == connections_.end()) return false;
    closed.add(*oldest->second);
    connections_.erase(oldest);
    return true;
}

void ConnectionTable::sweep(Connection::Clock::time_point now, Closed& closed) {
    for (auto it = connections_.begin(); it != connections_.end();) {
        if (!it->second->busy && it->second->deadline() <= now) {
            closed.add(*it->second);
            it = connections_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace objcipc
