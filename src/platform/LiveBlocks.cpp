#include "platform/LiveBlocks.h"

bool LiveBlocks::swap(void* from, void* to) {
    for (auto& slot : slots_) {
        void* expected = from;
        if (slot.compare_exchange_strong(expected, to)) return true;
    }
    return false;
}

bool LiveBlocks::holds(void* block) const {
    for (auto& slot : slots_)
        if (slot.load(std::memory_order_acquire) == block) return true;
    return false;
}
