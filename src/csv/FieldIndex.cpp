#include "csv/FieldIndex.h"

#include "platform/Memory.h"
#include "platform/Platform.h"

#include <cstddef>
#include <cstring>

FieldIndex::~FieldIndex() {
    clear();
}

void FieldIndex::clear() {
    qxFree(entries_);
    qxFree(lines_);
    entries_ = nullptr;
    lines_ = nullptr;
    count_ = capacity_ = lineCount_ = lineCapacity_ = 0;
    ready_ = linesReady_ = 0;
    delimiter_ = 0;
    building_ = false;
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

// Asks for the pages of block[from, to) (to at most capacity) and returns the end.
std::ptrdiff_t readyUpTo(int* block, std::ptrdiff_t from, std::ptrdiff_t to,
                         std::ptrdiff_t capacity) {
    if (to > capacity) to = capacity;
    if (to > from)
        platform::prepareToWrite(block + from, static_cast<std::size_t>(to - from) * sizeof(int));
    return to;
}
} // namespace

void FieldIndex::begin(char delimiter, int sizeHint, int rows) {
    clear();
    delimiter_ = delimiter;
    building_ = true;
    // Room for a field every eight bytes and every row at first: most tables then need no
    // growth (memory not written is not used in practice). Pages are asked for as the index is
    // filled (see grow).
    if (!growArray(entries_, capacity_, sizeHint / 8 + 64) ||
        !growArray(lines_, lineCapacity_, static_cast<std::ptrdiff_t>(rows) + 16))
        clear();
}

// The pages ahead of the writer are asked for a stretch at a time, in one call each, instead of
// one page fault per page.
bool FieldIndex::grow(std::ptrdiff_t entries, int rows) {
    if (!building_) return false;
    if (!growArray(entries_, capacity_, count_ + entries) ||
        !growArray(lines_, lineCapacity_, lineCount_ + rows)) {
        clear(); // the index is dropped and answers nothing
        return false;
    }
    const std::ptrdiff_t ahead = 1 << 15; // ints: 128 KB
    ready_ = readyUpTo(entries_, count_, count_ + entries + ahead, capacity_);
    linesReady_ = readyUpTo(lines_, lineCount_, lineCount_ + rows + ahead, lineCapacity_);
    return true;
}

void FieldIndex::addRow(const int* starts, int fields) {
    if (!starts || fields <= 0) {
        lines_[lineCount_++] = -1;
        return;
    }
    entries_[count_] = fields;
    lines_[lineCount_++] = static_cast<int>(count_ + 1);
    std::memcpy(entries_ + count_ + 1, starts, static_cast<size_t>(fields + 1) * sizeof(int));
    count_ += fields + 2;
}
