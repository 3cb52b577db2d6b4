#pragma once

// Where the bytes of SharedStrings live, and the arena that puts many
// strings' bytes side by side: Foundation's own, behind the string value
// host/ shows.

#include <atomic>
#include <cstddef>
#include <cstring>
#include <new>
#include <string_view>

#include "SharedString.h"

// A reference count, then the bytes of one or more strings. Defined here, in
// line, because both SharedString (the API's) and the arena (Foundation's
// own, compiled into whoever uses it) make and drop blocks.
struct SharedString::Block {
    std::atomic<std::size_t> references;

    // A block with room for `bytes` bytes, holding `count` references.
    static Block* make(std::size_t bytes, std::size_t count) {
        void* memory = ::operator new(sizeof(Block) + bytes);
        return new (memory) Block{count};
    }
    char* bytes() { return reinterpret_cast<char*>(this + 1); }
    // Drops `count` references, freeing the block with the last.
    void drop(std::size_t count) noexcept {
        if (references.fetch_sub(count, std::memory_order_acq_rel) == count) ::operator delete(this);
    }
};

// Makes many strings whose bytes lie side by side in a few shared blocks
// (a list of titles, a decoded property list): a handful of allocations for
// all of them instead of one each. A string keeps its block alive, so a
// string kept long after its siblings keeps their bytes too; use an arena
// for strings that are made and dropped together. Not synchronised: one
// thread makes the strings, which may then go anywhere.
class SharedStringArena {
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
        copyBytes(next_, text.data(), text.size());
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
    // A title is a few dozen bytes: copied in line, in at most two pairs of
    // overlapping moves, rather than by a call into the C library.
    static void copyBytes(char* to, const char* from, std::size_t size) {
        if (size > 32) {
            std::memcpy(to, from, size);
        } else if (size >= 16) {
            copyOverlapping<16>(to, from, size);
        } else if (size >= 8) {
            copyOverlapping<8>(to, from, size);
        } else {
            for (std::size_t i = 0; i < size; ++i) to[i] = from[i];
        }
    }
    // `size` bytes, N <= size <= 2N, as the first and the last N of them.
    template <std::size_t N>
    static void copyOverlapping(char* to, const char* from, std::size_t size) {
        char head[N], tail[N];
        std::memcpy(head, from, N);
        std::memcpy(tail, from + size - N, N);
        std::memcpy(to, head, N);
        std::memcpy(to + size - N, tail, N);
    }

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

// Bytes received whole (a reply read off a socket) whose strings are handed
// out as views of them rather than copies: the strings share the bytes'
// one allocation, which lives as long as the last of them. Not
// synchronised: one thread fills the bytes and makes the strings.
class SharedBytes {
public:
    // Room for `size` bytes, never null; throws std::bad_alloc.
    explicit SharedBytes(std::size_t size);
    SharedBytes(const SharedBytes&) = delete;
    SharedBytes& operator=(const SharedBytes&) = delete;
    ~SharedBytes();

    char* data() { return bytes_; }
    std::size_t size() const { return size_; }
    // Whether [text, text + length) lies within the bytes.
    bool holds(const char* text, std::size_t length) const {
        return text >= bytes_ && length <= size_ && text - bytes_ <= static_cast<std::ptrdiff_t>(size_ - length);
    }
    // A string of `length` bytes at `text`, which holds() must allow.
    SharedString view(const char* text, std::size_t length) {
        if (length == 0) return SharedString();
        ++handedOut_;
        return SharedString(block_, text, length);
    }

private:
    SharedString::Block* block_;
    char* bytes_;
    std::size_t size_;
    // Strings handed out, added to the block's count once, at the end.
    std::size_t handedOut_ = 0;
};

// Takes and drops the references of many strings a block at a time: the
// strings of an array made together lie in one block, and one atomic step
// for a run of them replaces a step for each, which a form's thousand
// titles, copied and dropped, would otherwise take three thousand of. Not
// synchronised; meant for the length of one call.
class SharedStringBatch {
public:
    SharedStringBatch() = default;
    SharedStringBatch(const SharedStringBatch&) = delete;
    SharedStringBatch& operator=(const SharedStringBatch&) = delete;
    ~SharedStringBatch() { settle(); }

    // A copy of `text` whose reference is taken at settle(), so `text`
    // must keep its block until then.
    SharedString copy(const SharedString& text) {
        if (!text.block_) return SharedString();
        switchTo(text.block_);
        ++added_;
        return SharedString(text.block_, text.data_, text.size_);
    }
    // Drops the reference of `text` at settle(), for a string whose life
    // is then ended without its destructor.
    void releaseEnded(const SharedString& text) noexcept {
        if (!text.block_) return;
        switchTo(text.block_);
        ++dropped_;
    }
    // Takes and drops what is pending.
    void settle() noexcept {
        if (added_) block_->references.fetch_add(added_, std::memory_order_relaxed);
        if (dropped_) block_->drop(dropped_);
        added_ = dropped_ = 0;
    }

private:
    void switchTo(SharedString::Block* block) noexcept {
        if (block == block_) return;
        settle();
        block_ = block;
    }

    SharedString::Block* block_ = nullptr;
    std::size_t added_ = 0;
    std::size_t dropped_ = 0;
};
