#include <cstring>

#include "SharedStringArena.h"

SharedString::SharedString(std::string_view text) {
    if (text.empty()) return;
    block_ = Block::make(text.size(), 1);
    std::memcpy(block_->bytes(), text.data(), text.size());
    data_ = block_->bytes();
    size_ = text.size();
}

SharedString::SharedString(const SharedString& other) noexcept
    : block_(other.block_), data_(other.data_), size_(other.size_) {
    if (block_) block_->references.fetch_add(1, std::memory_order_relaxed);
}

void SharedString::release() noexcept { block_->drop(1); }
