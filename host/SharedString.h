#pragma once

#include <cstddef>
#include <string_view>
#include <utility>

#include "HostExport.h"

// The text of an NSString: immutable, so a copy shares the bytes rather than
// duplicating them, as retaining a string does. Copies and releases may
// happen on any thread. The bytes need not end in a NUL. Where the bytes
// live, and how many strings share them, is Foundation's business.
class HOST_API SharedString {
public:
    SharedString() = default;  // ""
    // A string of its own holding a copy of `text`.
    explicit SharedString(std::string_view text);
    SharedString(const SharedString& other) noexcept;
    SharedString(SharedString&& other) noexcept : block_(other.block_), data_(other.data_), size_(other.size_) {
        other.block_ = nullptr;
        other.data_ = "";
        other.size_ = 0;
    }
    SharedString& operator=(SharedString other) noexcept {
        std::swap(block_, other.block_);
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        return *this;
    }
    // The empty string holds no bytes of anyone's: nothing to give back.
    ~SharedString() {
        if (block_) release();
    }

    std::string_view view() const { return {data_, size_}; }
    std::size_t size() const { return size_; }
    bool operator==(const SharedString& other) const { return view() == other.view(); }

    // Where the bytes live: defined by Foundation alone.
    struct Block;

private:
    friend class SharedStringArena;
    friend class SharedBytes;
    friend class SharedStringBatch;
    // Takes over one reference to `block`, which holds the bytes.
    SharedString(Block* block, const char* data, std::size_t size) : block_(block), data_(data), size_(size) {}
    void release() noexcept;

    Block* block_ = nullptr;
    const char* data_ = "";
    std::size_t size_ = 0;
};
