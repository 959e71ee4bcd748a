#include "csv/FieldIndex.h"

#include "platform/Memory.h"

#include <cstddef>

FieldIndex::~FieldIndex() {
    clear();
}

void FieldIndex::clear() {
    qxFree(entries_);
    qxFree(lines_);
    entries_ = nullptr;
    lines_ = nullptr;
    count_ = capacity_ = lineCount_ = lineCapacity_ = 0;
    firstRowLine_ = 0;
    delimiter_ = 0;
    building_ = false;
}

void FieldIndex::begin(char delimiter, int firstRowLine, int sizeHint) {
    clear();
    delimiter_ = delimiter;
    firstRowLine_ = firstRowLine;
    building_ = true;
    // Room for a field every eight bytes and a line every 64 at first: most tables then need no
    // growth (memory not written is not used in practice).
    grow(sizeHint / 8 + 64, sizeHint / 64 + 16);
}

namespace {
// A capacity of at least need, grown by half at a time (from 4096); 0 past 2^29 entries.
std::ptrdiff_t grownCapacity(std::ptrdiff_t current, std::ptrdiff_t need) {
    long long grown = current < 4096 ? 4096 : current;
    while (grown < need)
        grown += grown / 2;
    return grown > 0x1FFFFFFF ? 0 : static_cast<std::ptrdiff_t>(grown);
}

// Grows block to hold at least need ints; false without memory.
bool growArray(int*& block, std::ptrdiff_t& capacity, std::ptrdiff_t need) {
    if (need <= capacity) return true;
    const std::ptrdiff_t grown = grownCapacity(capacity, need);
    void* moved = grown ? qxRealloc(block, static_cast<size_t>(grown) * sizeof(int)) : nullptr;
    if (!moved) return false;
    block = static_cast<int*>(moved);
    capacity = grown;
    return true;
}
} // namespace

bool FieldIndex::grow(int entries, int lines) {
    if (!building_) return false;
    if (growArray(entries_, capacity_, count_ + entries) &&
        growArray(lines_, lineCapacity_, lineCount_ + lines))
        return true;
    clear(); // the index is dropped and answers nothing
    return false;
}
