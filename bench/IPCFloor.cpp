#include "IPCFloor.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "UTF8.h"

namespace bench {

namespace {

void putBigEndian(std::string& out, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint64_t bigEndian(const unsigned char* p, int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << 8) | p[i];
    return value;
}

int intSize(std::uint64_t largest) { return largest < 0x100 ? 1 : largest < 0x10000 ? 2 : largest < 0x100000000 ? 4 : 8; }

// A marker with its length: in the low nibble, or 0xF and an integer object after.
void putMarker(std::string& out, unsigned kind, std::uint64_t length) {
    if (length < 15) {
        out.push_back(static_cast<char>(kind | length));
        return;
    }
    out.push_back(static_cast<char>(kind | 0xF));
    const int size = intSize(length);
    out.push_back(static_cast<char>(0x10 | (size == 1 ? 0 : size == 2 ? 1 : size == 4 ? 2 : 3)));
    putBigEndian(out, length, size);
}

void putAscii(std::string& out, std::string_view text) {
    putMarker(out, 0x50, text.size());
    out.append(text);
}

sockaddr_un addressOf(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    return address;
}

bool readFull(int fd, char* buffer, std::size_t size, std::size_t& have, std::size_t want) {
    while (have < want) {
        const ssize_t n = ::recv(fd, buffer + have, size - have, 0);
        if (n <= 0) return false;
        have += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

void floorEncodeReply(const ListTitles* titles, std::string& frame) {
    // Objects: the top dictionary, "reply", the reply dictionary, then
    // "lists", the array and each title.
    const std::size_t count = titles ? titles->size() : 0;
    const std::size_t objects = titles ? 5 + count : 3;
    const int ref = intSize(objects - 1);
    std::vector<std::uint64_t> offsets;
    offsets.reserve(objects);
    frame.clear();
    frame.reserve(64 + (titles ? titles->bytes.size() + count * (3 + ref + 4) : 0));
    frame.append(4, '\0');
    frame.append("bplist00");
    auto begin = [&] { offsets.push_back(frame.size() - 4); };
    begin();
    frame.push_back(static_cast<char>(0xD1));
    putBigEndian(frame, 1, ref);
    putBigEndian(frame, 2, ref);
    begin();
    putAscii(frame, "reply");
    begin();
    if (!titles) {
        frame.push_back(static_cast<char>(0xD0));
    } else {
        frame.push_back(static_cast<char>(0xD1));
        putBigEndian(frame, 3, ref);
        putBigEndian(frame, 4, ref);
        begin();
        putAscii(frame, "lists");
        begin();
        putMarker(frame, 0xA0, count);
        for (std::size_t i = 0; i < count; ++i) putBigEndian(frame, 5 + i, ref);
        for (std::size_t i = 0; i < count; ++i) {
            begin();
            const std::string_view title = (*titles)[i];
            if (springboard::isAscii(title)) {
                putAscii(frame, title);
                continue;
            }
            // UTF-16 units: one per code point, two past the basic plane.
            std::size_t units = 0;
            for (const char c : title) {
                const auto byte = static_cast<unsigned char>(c);
                units += (byte & 0xC0) != 0x80;
                units += byte >= 0xF0;
            }
            putMarker(frame, 0x60, units);
            for (std::size_t at = 0; at < title.size();) {
                const char32_t code = springboard::decodeUTF8(title, at).value_or(0xFFFD);
                if (code >= 0x10000) {
                    putBigEndian(frame, 0xD800 + ((code - 0x10000) >> 10), 2);
                    putBigEndian(frame, 0xDC00 + ((code - 0x10000) & 0x3FF), 2);
                } else {
                    putBigEndian(frame, code, 2);
                }
            }
        }
    }
    const std::uint64_t table = frame.size() - 4;
    const int offsetSize = intSize(table);
    for (const std::uint64_t offset : offsets) putBigEndian(frame, offset, offsetSize);
    frame.append(6, '\0');
    frame.push_back(static_cast<char>(offsetSize));
    frame.push_back(static_cast<char>(ref));
    putBigEndian(frame, objects, 8);
    putBigEndian(frame, 0, 8);
    putBigEndian(frame, table, 8);
    const std::uint64_t length = frame.size() - 4;
    for (int i = 0; i < 4; ++i) frame[static_cast<std::size_t>(i)] = static_cast<char>((length >> (24 - 8 * i)) & 0xFF);
}

bool floorScanReply(std::string_view payload, std::vector<std::string_view>& titles, std::string& side) {
    const auto* base = reinterpret_cast<const unsigned char*>(payload.data());
    const std::size_t size = payload.size();
    if (size < 40 || payload.substr(0, 8) != "bplist00") return false;
    const unsigned char* trailer = base + size - 32;
    const int offsetSize = trailer[6], ref = trailer[7];
    const std::uint64_t objects = bigEndian(trailer + 8, 8), top = bigEndian(trailer + 16, 8),
                        table = bigEndian(trailer + 24, 8);
    if (offsetSize < 1 || offsetSize > 8 || ref < 1 || ref > 8 || table >= size - 32 ||
        objects > (size - 32 - table) / static_cast<std::uint64_t>(offsetSize))
        return false;
    // The object `index` starts at: its marker, or null when out of bounds.
    auto object = [&](std::uint64_t index) -> const unsigned char* {
        if (index >= objects) return nullptr;
        const std::uint64_t at = bigEndian(base + table + index * static_cast<std::uint64_t>(offsetSize), offsetSize);
        return at < table ? base + at : nullptr;
    };
    // An object's length and where its content starts.
    auto length = [&](const unsigned char* p, std::uint64_t& n) -> const unsigned char* {
        n = *p & 0xF;
        ++p;
        if (n != 0xF) return p;
        if (p >= base + table || (*p & 0xF0) != 0x10) return nullptr;
        const int bytes = 1 << (*p & 0xF);
        if (bytes > 8 || p + 1 + bytes > base + table) return nullptr;
        n = bigEndian(p + 1, bytes);
        return p + 1 + bytes;
    };
    // The value under ASCII `key` in dictionary object `index`.
    auto lookup = [&](std::uint64_t index, std::string_view key, std::uint64_t& value) {
        const unsigned char* p = object(index);
        std::uint64_t n;
        if (!p || (*p & 0xF0) != 0xD0 || !(p = length(p, n)) || n > (base + table - p) / (2 * static_cast<std::uint64_t>(ref)))
            return false;
        for (std::uint64_t i = 0; i < n; ++i) {
            const unsigned char* k = object(bigEndian(p + i * ref, ref));
            std::uint64_t keyLength;
            const unsigned char* text = k && (*k & 0xF0) == 0x50 ? length(k, keyLength) : nullptr;
            if (text && keyLength == key.size() && text + keyLength <= base + table &&
                std::memcmp(text, key.data(), keyLength) == 0) {
                value = bigEndian(p + (n + i) * ref, ref);
                return true;
            }
        }
        return false;
    };
    std::uint64_t reply, lists;
    if (!lookup(top, "reply", reply) || !lookup(reply, "lists", lists)) return false;
    const unsigned char* p = object(lists);
    std::uint64_t count;
    if (!p || (*p & 0xF0) != 0xA0 || !(p = length(p, count)) || count > (base + table - p) / static_cast<std::uint64_t>(ref))
        return false;
    titles.reserve(count);
    std::vector<std::pair<std::size_t, std::size_t>> converted;  // title index, start in `side`
    for (std::uint64_t i = 0; i < count; ++i) {
        const unsigned char* s = object(bigEndian(p + i * ref, ref));
        std::uint64_t n;
        const unsigned char* text = s ? length(s, n) : nullptr;
        if (!text) return false;
        if ((*s & 0xF0) == 0x50) {
            if (n > static_cast<std::uint64_t>(base + table - text)) return false;
            titles.emplace_back(reinterpret_cast<const char*>(text), n);
            continue;
        }
        if ((*s & 0xF0) != 0x60 || n > static_cast<std::uint64_t>(base + table - text) / 2) return false;
        converted.emplace_back(titles.size(), side.size());
        for (std::uint64_t u = 0; u < n; ++u) {
            char32_t code = static_cast<char32_t>(bigEndian(text + 2 * u, 2));
            if (code >= 0xD800 && code < 0xDC00 && u + 1 < n) {
                code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<char32_t>(bigEndian(text + 2 * (u + 1), 2)) - 0xDC00);
                ++u;
            }
            if (code < 0x80) {
                side.push_back(static_cast<char>(code));
            } else if (code < 0x800) {
                side.push_back(static_cast<char>(0xC0 | (code >> 6)));
                side.push_back(static_cast<char>(0x80 | (code & 0x3F)));
            } else if (code < 0x10000) {
                side.push_back(static_cast<char>(0xE0 | (code >> 12)));
                side.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
                side.push_back(static_cast<char>(0x80 | (code & 0x3F)));
            } else {
                side.push_back(static_cast<char>(0xF0 | (code >> 18)));
                side.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
                side.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
                side.push_back(static_cast<char>(0x80 | (code & 0x3F)));
            }
        }
        titles.emplace_back();
    }
    // The side buffer is whole now: its views can be taken.
    for (std::size_t c = 0; c < converted.size(); ++c) {
        const auto [index, start] = converted[c];
        const std::size_t end = c + 1 < converted.size() ? converted[c + 1].second : side.size();
        titles[index] = std::string_view(side).substr(start, end - start);
    }
    return true;
}

FloorServer::FloorServer(const std::string& path, int threads, std::string messageName,
                         std::function<void(std::string& frame)> reply)
    : path_(path), name_(std::move(messageName)), reply_(std::move(reply)) {
    const sockaddr_un address = addressOf(path);
    ::unlink(path.c_str());
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    epoll_event listen{}, stop{};
    listen.events = EPOLLIN;
    listen.data.u32 = 0;
    stop.events = EPOLLIN;
    stop.data.u32 = 1;
    if (::bind(listenFd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 128) != 0 || ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, listenFd_, &listen) != 0 ||
        ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, stopFd_, &stop) != 0) {
        ::close(listenFd_);
        listenFd_ = -1;
        return;
    }
    for (int t = 0; t < threads; ++t) threads_.emplace_back([this] { loop(); });
}

FloorServer::~FloorServer() {
    const std::uint64_t one = 1;
    if (stopFd_ >= 0) (void)!::write(stopFd_, &one, sizeof one);
    for (auto& thread : threads_) thread.join();
    for (int fd : {listenFd_, epollFd_, stopFd_})
        if (fd >= 0) ::close(fd);
    ::unlink(path_.c_str());
}

void FloorServer::loop() {
    for (;;) {
        epoll_event event{};
        if (::epoll_wait(epollFd_, &event, 1, -1) != 1) continue;
        if (event.data.u32 == 1) return;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;  // another thread took it
        // The request: its frame into one buffer, its name checked.
        char first[16 * 1024];
        std::size_t have = 0;
        bool ok = readFull(fd, first, sizeof first, have, 4);
        const std::size_t total = ok ? 4 + bigEndian(reinterpret_cast<unsigned char*>(first), 4) : 0;
        ok = ok && total <= sizeof first && readFull(fd, first, total, have, total) &&
             std::string_view(first + 4, total - 4).find(name_) != std::string_view::npos;
        if (ok) {
            std::string frame;
            reply_(frame);
            iovec part{frame.data(), frame.size()};
            msghdr message{};
            message.msg_iov = &part;
            message.msg_iovlen = 1;
            (void)!::sendmsg(fd, &message, MSG_NOSIGNAL);
        }
        ::close(fd);
    }
}

bool floorExchange(const std::string& path, const std::string& request, FloorReply& reply) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = addressOf(path);
    bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
              ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size());
    char first[16 * 1024];
    std::size_t have = 0;
    ok = ok && readFull(fd, first, sizeof first, have, 4);
    const std::size_t total = ok ? 4 + bigEndian(reinterpret_cast<unsigned char*>(first), 4) : 0;
    if (ok) {
        reply.bytes = std::make_unique_for_overwrite<char[]>(total);
        std::memcpy(reply.bytes.get(), first, have);
        ok = readFull(fd, reply.bytes.get(), total, have, total);
        reply.size = total;
    }
    ::close(fd);
    return ok;
}

}  // namespace bench
