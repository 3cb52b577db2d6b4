#include "RawReads.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>


namespace bench {

namespace {

using PlistRoot = std::unique_ptr<void, decltype(&plist_free)>;

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// `file` in the directory that holds the bundle directory `bundle`.
std::string besideBundle(const std::string& bundle, const char* file) {
    return bundle.substr(0, bundle.rfind('/') + 1) + file;
}

// The whole file, if it is a regular file: O_NONBLOCK and fstat, because a
// FIFO in a preferences file's place would otherwise hang the reader.
std::optional<std::string> readRegularFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    std::optional<std::string> bytes;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        bytes.emplace(static_cast<std::size_t>(st.st_size), '\0');
        const ssize_t n = ::read(fd, bytes->data(), bytes->size());
        if (n < 0) bytes.reset(); else bytes->resize(static_cast<std::size_t>(n));
    }
    ::close(fd);
    return bytes;
}

// The ASCII string under `key` of a binary property list's top dictionary,
// found and read in place: the trailer, the top object's key references, the
// one key's value. Every offset is checked to lie before the offset table.
std::optional<std::string_view> binaryString(std::string_view list, std::string_view key) {
    const auto* p = reinterpret_cast<const unsigned char*>(list.data());
    const std::size_t n = list.size();
    if (n < 40 || list.substr(0, 8) != "bplist00") return std::nullopt;
    const auto number = [p](std::size_t at, std::size_t width) {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < width; ++i) value = value << 8 | p[at + i];
        return value;
    };
    const std::size_t t = n - 32, offsetSize = p[t + 6], refSize = p[t + 7];
    const std::uint64_t count = number(t + 8, 8), top = number(t + 16, 8), table = number(t + 24, 8);
    if (offsetSize - 1 > 7 || refSize - 1 > 7 || top >= count || table > t || count > (t - table) / offsetSize)
        return std::nullopt;
    // Object `i`: its marker, its length and where its content starts.
    const auto object = [&](std::uint64_t i, unsigned char& marker, std::uint64_t& length, std::size_t& at) {
        const std::uint64_t offset = i < count ? number(table + i * offsetSize, offsetSize) : 0;
        if (offset < 8 || offset >= table) return false;
        marker = p[offset];
        at = offset + 1;
        length = marker & 0x0F;
        if (length == 0x0F) {
            const std::size_t width = std::size_t{1} << (p[at] & 0x0F);
            if (p[at] >> 4 != 1 || width > 8 || at + 1 + width > table) return false;
            length = number(at + 1, width);
            at += 1 + width;
        }
        return length <= table - at;
    };
    unsigned char marker;
    std::uint64_t entries, length;
    std::size_t refs, at;
    if (!object(top, marker, entries, refs) || marker >> 4 != 0xD || entries * 2 * refSize > table - refs)
        return std::nullopt;
    for (std::uint64_t i = 0; i < entries; ++i) {
        if (!object(number(refs + i * refSize, refSize), marker, length, at) || marker >> 4 != 0x5) continue;
        if (list.substr(at, length) != key) continue;
        if (!object(number(refs + (entries + i) * refSize, refSize), marker, length, at) || marker >> 4 != 0x5)
            return std::nullopt;
        return list.substr(at, length);
    }
    return std::nullopt;
}

// Hands `use` the string under `key` of the root dictionary of the property
// list at `path` (binary read in place, XML parsed by libplist and looked up
// in its tree), or nothing, while its bytes are still alive.
template <typename Use>
auto withPlistString(const std::string& path, const char* key, Use use) {
    const auto bytes = readRegularFile(path);
    if (!bytes) return use(std::nullopt);
    if (bytes->compare(0, 6, "bplist") == 0) return use(binaryString(*bytes, key));
    plist_t root = nullptr;
    plist_from_xml(bytes->data(), static_cast<std::uint32_t>(bytes->size()), &root);
    const PlistRoot owned(root, plist_free);
    const plist_t item = root && plist_get_node_type(root) == PLIST_DICT ? plist_dict_get_item(root, key) : nullptr;
    std::uint64_t length = 0;
    const char* text = item && plist_get_node_type(item) == PLIST_STRING ? plist_get_string_ptr(item, &length) : nullptr;
    if (!text) return use(std::nullopt);
    return use(std::string_view(text, static_cast<std::size_t>(length)));
}

}  // namespace

std::vector<std::string> rawListTitles(const std::string& databasePath) {
    std::vector<std::string> titles;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(databasePath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "select title from lists", -1, &statement, nullptr) == SQLITE_OK) {
            while (sqlite3_step(statement) == SQLITE_ROW) {
                const unsigned char* text = sqlite3_column_text(statement, 0);
                if (text != nullptr) titles.emplace_back(reinterpret_cast<const char*>(text));
            }
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return titles;
}

// The design names a bundle that must exist, so its directory is checked;
// the database read is the one every lists floor shares.
ListTitles floorListTitles(const std::string& clearBundle) {
    ListTitles titles;
    if (isDirectory(clearBundle))
        floorReadTitles(
            besideBundle(clearBundle, "Library/Application Support/com.realmacsoftware.clear/BackendTasks.sqlite"),
            titles);
    return titles;
}

// The bundle must exist and the preferences be a regular file, as above;
// then only the one key is looked for and its string taken in place, and
// the palette is the reader's own table (the same 22 comparisons and two
// colours a floor of its own would make).
ThemeComponents floorTheme(const std::string& clearBundle) {
    if (!isDirectory(clearBundle)) return VLDynamicReader::themeComponentsFromKey(Value());
    return withPlistString(besideBundle(clearBundle, "Library/Preferences/com.realmacsoftware.clear.plist"),
                           "ThemeIdentifier", [](std::optional<std::string_view> identifier) {
                               return VLDynamicReader::themeComponentsFromKey(identifier ? Value(*identifier) : Value());
                           });
}

// The theme and the titles as above; the layout parsed by libplist and its
// items counted in place; the form's 1,001 choices as views of the titles;
// "defaultList" looked up in place and found among the names. The host has
// to have the items, the form its choices and the preselection, so nothing
// less makes the same form.
FloorPopUp floorPopUp(const std::string& clearBundle, const std::string& layoutPath, const std::string& settingsPath) {
    FloorPopUp popUp;
    popUp.theme = floorTheme(clearBundle);
    if (const auto bytes = readRegularFile(layoutPath)) {
        plist_t root = nullptr;
        plist_from_xml(bytes->data(), static_cast<std::uint32_t>(bytes->size()), &root);
        const PlistRoot owned(root, plist_free);
        const plist_t items = root ? plist_dict_get_item(root, "items") : nullptr;
        popUp.layoutItems = items ? plist_array_get_size(items) : 0;
    }
    popUp.titles = floorListTitles(clearBundle);
    popUp.choices.reserve(popUp.titles.size() + 1);
    for (std::size_t i = 0; i < popUp.titles.size(); ++i) popUp.choices.push_back({popUp.titles[i], popUp.titles[i]});
    popUp.choices.push_back({"Create List...", std::nullopt});
    withPlistString(settingsPath, "defaultList", [&popUp](std::optional<std::string_view> wanted) {
        for (std::size_t i = 0; wanted && i + 1 < popUp.choices.size(); ++i) {
            if (popUp.choices[i].value == wanted) return void(popUp.preselected = i);
        }
    });
    return popUp;
}

}  // namespace bench
