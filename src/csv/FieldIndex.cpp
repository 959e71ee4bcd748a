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

void FieldIndex::drop() {
    clear();
}

namespace {
// A capacity of at least need, grown by half at a time (from 4096); 0 past what an int holds.
int grownCapacity(int current, int need) {
    long long grown = current < 4096 ? 4096 : current;
    while (grown < need)
        grown += grown / 2;
    return grown > 0x1FFFFFFF ? 0 : static_cast<int>(grown);
}
} // namespace

bool FieldIndex::grow(int entries, int lines) {
    if (!building_) return false;
    if (count_ + entries > capacity_) {
        const std::ptrdiff_t capacity = grownCapacity(capacity_, count_ + entries);
        void* block =
            capacity ? qxRealloc(entries_, static_cast<size_t>(capacity) * sizeof(int)) : nullptr;
        if (!block) {
            drop();
            return false;
        }
        entries_ = static_cast<int*>(block);
        capacity_ = capacity;
    }
    if (lineCount_ + lines > lineCapacity_) {
        const std::ptrdiff_t capacity = grownCapacity(lineCapacity_, lineCount_ + lines);
        void* block =
            capacity ? qxRealloc(lines_, static_cast<size_t>(capacity) * sizeof(int)) : nullptr;
        if (!block) {
            drop();
            return false;
        }
        lines_ = static_cast<int*>(block);
        lineCapacity_ = capacity;
    }
    return true;
}
