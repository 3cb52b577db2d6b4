#pragma once

#include <atomic>
#include <cstddef>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "HostExport.h"

// The text of an NSString: immutable, so a copy shares the bytes rather than
// duplicating them, as retaining a string does. Copies and releases may
// happen on any thread. The bytes need not end in a NUL.
class HOST_API SharedString {
public:
    SharedString() = default;  // ""
    // One allocation holding the bytes (none for the empty string).
    explicit SharedString(std::string_view text);
    SharedString(const SharedString& other) noexcept : block_(other.block_), data_(other.data_), size_(other.size_) {
        if (block_) block_->references.fetch_add(1, std::memory_order_relaxed);
    }
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
    ~SharedString() { release(block_, 1); }

    std::string_view view() const { return {data_, size_}; }
    std::size_t size() const { return size_; }
    bool operator==(const SharedString& other) const { return view() == other.view(); }

    // Where the bytes of strings live: a reference count, then the bytes.
    struct Block {
        std::atomic<std::size_t> references;
    };
    // Drops `count` references to `block` (none when it is null), freeing
    // it with the last.
    static void release(Block* block, std::size_t count) noexcept {
        if (block && block->references.fetch_sub(count, std::memory_order_acq_rel) == count) ::operator delete(block);
    }

private:
    friend class SharedStringArena;
    // Takes over one reference to `block`, which holds the bytes.
    SharedString(Block* block, const char* data, std::size_t size) : block_(block), data_(data), size_(size) {}

    Block* block_ = nullptr;
    const char* data_ = "";
    std::size_t size_ = 0;
};

// Makes many strings whose bytes lie side by side in a few shared blocks
// (a list of titles, a decoded property list): a handful of allocations for
// all of them instead of one each. A string keeps its block alive, so a
// string kept long after its siblings keeps their bytes too; use an arena
// for strings that are made and dropped together. Not synchronised: one
// thread makes the strings, which may then go anywhere.
class HOST_API SharedStringArena {
public:
    SharedStringArena();
    // An arena for strings of `most` bytes in all, or fewer: its first
    // block is no larger than that.
    explicit SharedStringArena(std::size_t most);
    SharedStringArena(const SharedStringArena&) = delete;
    SharedStringArena& operator=(const SharedStringArena&) = delete;
    ~SharedStringArena();

    // A string holding a copy of `text`. Made in line while the current
    // block has room: a list's titles are made a thousand at a time.
    SharedString make(std::string_view text) {
        if (text.empty() || text.size() > room_) return makeInNextBlock(text);
        std::memcpy(next_, text.data(), text.size());
        SharedString made(block_, next_, text.size());
        next_ += text.size();
        room_ -= text.size();
        ++handedOut_;
        return made;
    }

    // Room to write at most `most` bytes of the next string, never null (not
    // even for none); `commit` then makes the string of the first `length`
    // of them, and throws std::length_error for more than was reserved. The
    // room is valid until the next call on the arena.
    char* reserve(std::size_t most);
    SharedString commit(std::size_t length);

private:
    // Gives up the arena's hold on the current block.
    void retire();
    // make() of a string that is empty or does not fit the current block.
    SharedString makeInNextBlock(std::string_view text);

    SharedString::Block* block_ = nullptr;
    char* next_ = nullptr;
    std::size_t room_ = 0;
    std::size_t reserved_ = 0;
    // Strings made from the current block, counted here and added to the
    // block's count once, when it is retired.
    std::size_t handedOut_ = 0;
    std::size_t nextBlockSize_;
};
