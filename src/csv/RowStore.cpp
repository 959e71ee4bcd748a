#include "csv/RowStore.h"

#include "platform/Memory.h"
#include "text/StringBuffer.h"

#include <cstring>

namespace {
// The table doubles from this many rows, by at most kMaxTableStep rows at a time.
const int kFirstTableSize = 64;
const int kMaxTableStep = 1 << 20;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
} // namespace

RowStore::~RowStore() {
    clear();
}

void RowStore::clear() {
    for (int i = 0; i < ownedCount_; ++i)
        qxDelete(owned_[i]);
    qxFree(owned_);
    owned_ = nullptr;
    ownedCount_ = ownedCapacity_ = 0;
    qxFree(slots_);
    slots_ = nullptr;
    count_ = capacity_ = 0;
    qxFree(block_);
    block_ = nullptr;
}

bool RowStore::ownedText(const Slot& s, const char** data, int* length) const {
    if (s.length != kOwned) return false;
    const StringBuffer* row = owned_[s.offset];
    *data = row->getString();
    *length = row->getSize();
    return true;
}

bool RowStore::isOwned(int row) const {
    return static_cast<unsigned>(row) < static_cast<unsigned>(count_) &&
           slots_[row].length == kOwned;
}

bool RowStore::growTable() {
    if (capacity_ >= 0x7FFFFFFF / 2 / static_cast<int>(sizeof(Slot))) return false;
    int step = capacity_ < kFirstTableSize ? kFirstTableSize : capacity_;
    if (step > kMaxTableStep) step = kMaxTableStep;
    const int grown = capacity_ + step;
    void* table = qxRealloc(slots_, static_cast<size_t>(grown) * sizeof(Slot));
    if (!table) return false;
    slots_ = static_cast<Slot*>(table);
    capacity_ = grown;
    return true;
}

int RowStore::addOwned(StringBuffer* row) {
    if (ownedCount_ == ownedCapacity_) {
        if (ownedCapacity_ > 0x3FFFFFFF / static_cast<int>(sizeof(StringBuffer*))) return -1;
        const int grown = ownedCapacity_ < 8 ? 8 : ownedCapacity_ * 2;
        void* list = qxRealloc(owned_, static_cast<size_t>(grown) * sizeof(StringBuffer*));
        if (!list) return -1;
        owned_ = static_cast<StringBuffer**>(list);
        ownedCapacity_ = grown;
    }
    owned_[ownedCount_] = row;
    return ownedCount_++;
}

bool RowStore::appendOwned(StringBuffer* row) {
    if (count_ == capacity_ && !growTable()) return false;
    Slot& s = slots_[count_];
    if (row) {
        const int index = addOwned(row);
        if (index < 0) return false;
        s.offset = static_cast<uint32_t>(index);
        s.length = kOwned;
    } else {
        s.offset = 0;
        s.length = kMissing;
    }
    ++count_;
    return true;
}

StringBuffer* RowStore::editable(int row) {
    if (static_cast<unsigned>(row) >= static_cast<unsigned>(count_)) return nullptr;
    Slot& s = slots_[row];
    if (s.length == kOwned) return owned_[s.offset];
    if (s.length == kMissing) return nullptr;
    // The stretch ends with a NUL and holds none, so it copies as a C string.
    StringBuffer* copy = qxNew<StringBuffer>(static_cast<const char*>(block_ + s.offset));
    if (!copy) return nullptr;
    const int index = copy->getSize() == s.length ? addOwned(copy) : -1;
    if (index < 0) {
        qxDelete(copy);
        return nullptr;
    }
    s.offset = static_cast<uint32_t>(index);
    s.length = kOwned;
    return copy;
}

void RowStore::adoptBlock(char* block) {
    if (block_ != block) qxFree(block_);
    block_ = block;
}

void RowStore::trim(int row) {
    if (static_cast<unsigned>(row) >= static_cast<unsigned>(count_)) return;
    Slot& s = slots_[row];
    if (s.length == kOwned) {
        owned_[s.offset]->trim();
        return;
    }
    if (s.length <= 0) return;
    const char* text = block_ + s.offset;
    int start = 0, end = s.length;
    while (start < end && isBlank(text[start]))
        ++start;
    while (end > start && isBlank(text[end - 1]))
        --end;
    block_[s.offset + end] = 0;
    s.offset += static_cast<uint32_t>(start);
    s.length = end - start;
}

void RowStore::removeLast() {
    if (count_ == 0) return;
    const Slot& s = slots_[--count_];
    if (s.length != kOwned) return;
    qxDelete(owned_[s.offset]);
    owned_[s.offset] = nullptr;
    if (static_cast<int>(s.offset) == ownedCount_ - 1) --ownedCount_;
}
