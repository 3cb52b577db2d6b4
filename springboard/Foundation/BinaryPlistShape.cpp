#include "PlistShape.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace springboard {

namespace {

constexpr std::size_t kHeaderSize = 8;   // "bplist00"
constexpr std::size_t kTrailerSize = 32;

// Big-endian unsigned integer of `width` (1..8) bytes at `at`; the caller has
// checked the bounds.
std::uint64_t readUnsigned(std::string_view bytes, std::size_t at, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

struct Layout {
    std::size_t offsetSize = 0;
    std::size_t refSize = 0;
    std::uint64_t objectCount = 0;
    std::uint64_t topObject = 0;
    std::uint64_t offsetTable = 0;
};

struct Container {
    std::uint64_t refsAt = 0;
    std::uint64_t refCount = 0;  // 0 for a scalar
};

class ShapeCheck {
public:
    explicit ShapeCheck(std::string_view bytes) : bytes_(bytes) {}

    bool readLayout() {
        if (bytes_.size() < kHeaderSize + kTrailerSize || bytes_.substr(0, 6) != "bplist") return false;
        const std::size_t t = bytes_.size() - kTrailerSize;
        layout_.offsetSize = static_cast<unsigned char>(bytes_[t + 6]);
        layout_.refSize = static_cast<unsigned char>(bytes_[t + 7]);
        layout_.objectCount = readUnsigned(bytes_, t + 8, 8);
        layout_.topObject = readUnsigned(bytes_, t + 16, 8);
        layout_.offsetTable = readUnsigned(bytes_, t + 24, 8);
        if (layout_.offsetSize < 1 || layout_.offsetSize > 8 || layout_.refSize < 1 || layout_.refSize > 8) return false;
        if (layout_.objectCount == 0 || layout_.objectCount > bytes_.size() || layout_.topObject >= layout_.objectCount)
            return false;
        if (layout_.offsetTable < kHeaderSize || layout_.offsetTable > t) return false;
        return layout_.objectCount * layout_.offsetSize <= t - layout_.offsetTable;
    }

    std::uint64_t objectCount() const { return layout_.objectCount; }
    std::uint64_t topObject() const { return layout_.topObject; }

    // The references `object` holds; false when its record is malformed.
    bool container(std::uint64_t object, Container& out) const {
        const std::uint64_t offset =
            readUnsigned(bytes_, layout_.offsetTable + object * layout_.offsetSize, layout_.offsetSize);
        if (offset < kHeaderSize || offset >= layout_.offsetTable) return false;
        const auto marker = static_cast<unsigned char>(bytes_[offset]);
        const unsigned type = marker >> 4;
        const std::uint64_t perEntry = type == 0xD ? 2 : (type == 0xA || type == 0xC) ? 1 : 0;
        out = Container{};
        if (perEntry == 0) return true;

        std::uint64_t count = marker & 0x0F;
        std::uint64_t at = offset + 1;
        if (count == 0x0F) {
            // The count follows as an integer object: 0x1N and 2^N bytes.
            if (at >= layout_.offsetTable) return false;
            const auto intMarker = static_cast<unsigned char>(bytes_[at]);
            if ((intMarker >> 4) != 0x1 || (intMarker & 0x0F) > 3) return false;
            const std::size_t width = std::size_t{1} << (intMarker & 0x0F);
            if (at + 1 + width > layout_.offsetTable) return false;
            count = readUnsigned(bytes_, at + 1, width);
            at += 1 + width;
        }
        if (count > bytes_.size()) return false;
        const std::uint64_t refs = count * perEntry;
        if (refs * layout_.refSize > layout_.offsetTable - at) return false;
        out = Container{at, refs};
        return true;
    }

    std::uint64_t ref(const Container& c, std::uint64_t index) const {
        return readUnsigned(bytes_, c.refsAt + index * layout_.refSize, layout_.refSize);
    }

private:
    std::string_view bytes_;
    Layout layout_;
};

}  // namespace

bool binaryPlistShapeIsWithin(std::string_view bytes, std::size_t maxDepth, std::size_t maxNodes) {
    ShapeCheck check(bytes);
    if (!check.readLayout() || maxDepth == 0 || maxNodes == 0) return false;

    enum : unsigned char { kUnvisited, kOnPath, kDone };
    // One record per object, in one allocation: this runs before every
    // property-list read, small settings files included.
    struct Seen {
        std::uint64_t nodes = 0;
        std::uint32_t depth = 0;
        unsigned char state = kUnvisited;
    };
    std::vector<Seen> seen(check.objectCount());

    struct Step {
        std::uint64_t object;
        Container container;
        std::uint64_t next = 0;
        std::uint32_t depth = 1;
        std::uint64_t nodes = 1;
    };
    std::vector<Step> path;
    path.reserve(std::min<std::size_t>(maxDepth, 16));
    auto enter = [&](std::uint64_t object) {
        Step step{object, {}};
        if (!check.container(object, step.container)) return false;
        seen[object].state = kOnPath;
        path.push_back(step);
        return true;
    };
    // Folds a finished child's depth and size into its parent.
    auto absorb = [&](Step& parent, std::uint32_t childDepth, std::uint64_t childNodes) {
        parent.depth = std::max(parent.depth, childDepth + 1);
        parent.nodes += childNodes;
        return parent.depth <= maxDepth && parent.nodes <= maxNodes;
    };

    if (!enter(check.topObject())) return false;
    while (!path.empty()) {
        Step& step = path.back();
        if (step.next < step.container.refCount) {
            const std::uint64_t child = check.ref(step.container, step.next++);
            if (child >= check.objectCount() || seen[child].state == kOnPath) return false;  // dangling or a cycle
            if (seen[child].state == kDone) {
                if (!absorb(step, seen[child].depth, seen[child].nodes)) return false;
                continue;
            }
            if (path.size() >= maxDepth) return false;
            Container members;
            if (!check.container(child, members)) return false;
            if (members.refCount == 0) {
                // A scalar or an empty collection: finished as soon as seen.
                seen[child] = Seen{1, 1, kDone};
                if (!absorb(step, 1, 1)) return false;
                continue;
            }
            seen[child].state = kOnPath;
            path.push_back(Step{child, members});
            continue;
        }
        const Step finished = step;
        path.pop_back();
        seen[finished.object] = Seen{finished.nodes, finished.depth, kDone};
        if (!path.empty() && !absorb(path.back(), finished.depth, finished.nodes)) return false;
    }
    return true;
}

}  // namespace springboard
