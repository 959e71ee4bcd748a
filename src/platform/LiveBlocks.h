#pragma once
// The large blocks alive now, so that a block can be told from a heap block: first by where its
// address falls (each build's blocks start at a fixed offset from an alignment), then by this
// table, never by reading memory in front of a pointer that may be a heap block's. Lock-free;
// a block that finds no free entry is not made (the heap serves it instead).
#include <atomic>

class LiveBlocks {
public:
    // Replaces the entry `from` with `to`: null for `from` enlists a block, null for `to` drops
    // it; false when there is no such entry (no free one, for enlisting).
    bool swap(void* from, void* to);
    bool holds(void* block) const;

private:
    static const int kSlots = 256;
    std::atomic<void*> slots_[kSlots] = {};
};
