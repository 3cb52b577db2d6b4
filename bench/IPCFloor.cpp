#include "IPCFloor.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "UTF8.h"

namespace bench {

namespace {

char* putBigEndian(char* out, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) *out++ = static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

std::uint64_t bigEndian(const unsigned char* p, int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << 8) | p[i];
    return value;
}

int intSize(std::uint64_t largest) { return largest < 0x100 ? 1 : largest < 0x10000 ? 2 : largest < 0x100000000 ? 4 : 8; }

char* putMarker(char* out, unsigned kind, std::uint64_t length) {
    if (length < 15) {
        *out++ = static_cast<char>(kind | length);
        return out;
    }
    *out++ = static_cast<char>(kind | 0xF);
    const int size = intSize(length);
    *out++ = static_cast<char>(0x10 | (size == 1 ? 0 : size == 2 ? 1 : size == 4 ? 2 : 3));
    return putBigEndian(out, length, size);
}

char* putAscii(char* out, std::string_view text) {
    out = putMarker(out, 0x50, text.size());
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
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

void floorEncodeReply(const ListTitles* titles, FloorReply& frame) {
    // Objects: the top dictionary, "reply", the reply dictionary, then
    // "lists", the array and each title.
    const std::size_t count = titles ? titles->size() : 0;
    const std::size_t objects = titles ? 5 + count : 3;
    const int ref = intSize(objects - 1);
    // Written through a pointer into a buffer never zero-filled, sized for
    // the most it can take: a title's marker, and its text in UTF-16 at
    // twice its bytes; a reference and an 8-byte offset per object.
    const std::size_t bound = 128 + count * (10 + ref + 8) + 2 * (titles ? titles->bytes.size() : 0);
    frame.bytes = std::make_unique_for_overwrite<char[]>(bound);
    char* const payload = frame.bytes.get() + 4;
    char* out = payload;
    std::vector<std::uint64_t> offsets;
    offsets.reserve(objects);
    auto begin = [&] { offsets.push_back(static_cast<std::uint64_t>(out - payload)); };
    out = std::copy_n("bplist00", 8, out);
    begin();
    *out++ = static_cast<char>(0xD1);
    out = putBigEndian(putBigEndian(out, 1, ref), 2, ref);
    begin();
    out = putAscii(out, "reply");
    begin();
    if (!titles) {
        *out++ = static_cast<char>(0xD0);
    } else {
        *out++ = static_cast<char>(0xD1);
        out = putBigEndian(putBigEndian(out, 3, ref), 4, ref);
        begin();
        out = putAscii(out, "lists");
        begin();
        out = putMarker(out, 0xA0, count);
        for (std::size_t i = 0; i < count; ++i) out = putBigEndian(out, 5 + i, ref);
        for (std::size_t i = 0; i < count; ++i) {
            begin();
            const std::string_view title = (*titles)[i];
            if (springboard::isAscii(title)) {
                out = putAscii(out, title);
                continue;
            }
            std::size_t units = 0;
            for (const char c : title) {
                const auto byte = static_cast<unsigned char>(c);
                units += (byte & 0xC0) != 0x80;
                units += byte >= 0xF0;
            }
            out = putMarker(out, 0x60, units);
            for (std::size_t at = 0; at < title.size();) {
                const char32_t code = springboard::decodeUTF8(title, at).value_or(0xFFFD);
                if (code >= 0x10000) {
                    out = putBigEndian(out, 0xD800 + ((code - 0x10000) >> 10), 2);
                    out = putBigEndian(out, 0xDC00 + ((code - 0x10000) & 0x3FF), 2);
                } else {
                    out = putBigEndian(out, code, 2);
                }
            }
        }
    }
    const auto table = static_cast<std::uint64_t>(out - payload);
    const int offsetSize = intSize(table);
    for (const std::uint64_t offset : offsets) out = putBigEndian(out, offset, offsetSize);
    out = std::fill_n(out, 6, '\0');
    *out++ = static_cast<char>(offsetSize);
    *out++ = static_cast<char>(ref);
    out = putBigEndian(putBigEndian(putBigEndian(out, objects, 8), 0, 8), table, 8);
    frame.size = static_cast<std::size_t>(out - frame.bytes.get());
    putBigEndian(frame.bytes.get(), frame.size - 4, 4);
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
        // At most three UTF-8 bytes a unit (a pair of units makes four).
        const std::size_t start = side.size();
        side.resize(start + 3 * n);
        char* out = side.data() + start;
        for (std::uint64_t u = 0; u < n; ++u) {
            char32_t code = static_cast<char32_t>(bigEndian(text + 2 * u, 2));
            if (code >= 0xD800 && code < 0xDC00 && u + 1 < n) {
                code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<char32_t>(bigEndian(text + 2 * (u + 1), 2)) - 0xDC00);
                ++u;
            }
            if (code < 0x80) {
                *out++ = static_cast<char>(code);
            } else if (code < 0x800) {
                *out++ = static_cast<char>(0xC0 | (code >> 6));
                *out++ = static_cast<char>(0x80 | (code & 0x3F));
            } else if (code < 0x10000) {
                *out++ = static_cast<char>(0xE0 | (code >> 12));
                *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                *out++ = static_cast<char>(0x80 | (code & 0x3F));
            } else {
                *out++ = static_cast<char>(0xF0 | (code >> 18));
                *out++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
                *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                *out++ = static_cast<char>(0x80 | (code & 0x3F));
            }
        }
        side.resize(static_cast<std::size_t>(out - side.data()));
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
                         std::function<void(FloorReply& frame)> reply)
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
            FloorReply frame;
            reply_(frame);
            iovec part{frame.bytes.get(), frame.size};
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
