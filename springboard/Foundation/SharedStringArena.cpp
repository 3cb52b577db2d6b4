#include "SharedStringArena.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace {

using Block = SharedString::Block;

// A block starts with this many references and gives the ones it did not
// hand out back when its arena retires it, so that making a string costs no
// atomic operation yet no string's release can free the block early.
constexpr std::size_t kArenaHold = std::numeric_limits<std::size_t>::max() / 2;

// Blocks double from the first to the largest size; a string longer than a
// block gets a block of its own. A first block of 1 KiB in all stays among
// the allocations glibc keeps at hand per thread, so reading a few short
// strings never makes it sort its free lists.
constexpr std::size_t kFirstBlock = 1024 - sizeof(Block);
constexpr std::size_t kLargestBlock = 64 * 1024 - sizeof(Block);

}  // namespace

SharedStringArena::SharedStringArena() : nextBlockSize_(kFirstBlock) {}

SharedStringArena::SharedStringArena(std::size_t most)
    : nextBlockSize_(std::clamp<std::size_t>(most, 1, kFirstBlock)) {}

SharedStringArena::~SharedStringArena() { retire(); }

void SharedStringArena::retire() {
    if (block_) block_->drop(kArenaHold - handedOut_);
    block_ = nullptr;
    next_ = nullptr;
    room_ = 0;
    handedOut_ = 0;
}

char* SharedStringArena::reserve(std::size_t most) {
    reserved_ = most;
    if (block_ && most <= room_) return next_;
    retire();
    const std::size_t size = std::max(most, nextBlockSize_);
    const std::size_t doubled = (std::max(nextBlockSize_, kFirstBlock) + sizeof(Block)) * 2 - sizeof(Block);
    nextBlockSize_ = std::min(doubled, kLargestBlock);
    block_ = Block::make(size, kArenaHold);
    next_ = block_->bytes();
    room_ = size;
    return next_;
}

SharedString SharedStringArena::commit(std::size_t length) {
    if (length > reserved_) throw std::length_error("SharedStringArena::commit past the reserved room");
    reserved_ = 0;
    if (length == 0) return SharedString();
    SharedString text(block_, next_, length);
    next_ += length;
    room_ -= length;
    ++handedOut_;
    return text;
}

SharedString SharedStringArena::makeInNextBlock(std::string_view text) {
    if (text.empty()) return SharedString();
    std::memcpy(reserve(text.size()), text.data(), text.size());
    return commit(text.size());
}

SharedBytes::SharedBytes(std::size_t size)
    : block_(Block::make(size, kArenaHold)), bytes_(block_->bytes()), size_(size) {}

SharedBytes::~SharedBytes() { block_->drop(kArenaHold - handedOut_); }
