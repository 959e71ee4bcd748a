#include "text/ExtPtrArray.h"

#include "platform/Memory.h"

#include <cstring>

namespace {
const int kMaxStep = 100000;
}

ExtPtrArray::~ExtPtrArray() {
    qxFree(slots_);
}

bool ExtPtrArray::appendPtr(QuenlixObject* obj) {
    if (count_ + 1 > capacity_) {
        long long want = static_cast<long long>(capacity_) + growthStep_;
        if (want < count_ + 1) want = count_ + 1;
        if (want > 0x3FFFFFFF) return false;
        void* block = qxAlloc(static_cast<size_t>(want) * sizeof(QuenlixObject*));
        if (!block) return false;
        std::memset(block, 0, static_cast<size_t>(want) * sizeof(QuenlixObject*));
        if (slots_ && count_)
            std::memcpy(block, slots_, static_cast<size_t>(count_) * sizeof(QuenlixObject*));
        qxFree(slots_);
        slots_ = static_cast<QuenlixObject**>(block);
        capacity_ = static_cast<int>(want);
        if (growthStep_ < kMaxStep) growthStep_ = capacity_ > kMaxStep ? kMaxStep : capacity_;
    }
    slots_[count_++] = obj;
    return true;
}

QuenlixObject* ExtPtrArray::elementAt(int i) const {
    if (!slots_ || i < 0 || i >= count_) return nullptr;
    return slots_[i];
}

QuenlixObject* ExtPtrArray::lastElement() const {
    return count_ ? elementAt(count_ - 1) : nullptr;
}

QuenlixObject* ExtPtrArray::removeAt(int i) {
    if (!slots_ || i < 0 || i >= count_) return nullptr;
    QuenlixObject* obj = slots_[i];
    if (i < count_ - 1)
        std::memmove(slots_ + i, slots_ + i + 1,
                     static_cast<size_t>(count_ - 1 - i) * sizeof(QuenlixObject*));
    --count_;
    slots_[count_] = nullptr;
    return obj;
}

QuenlixObject* ExtPtrArray::pop() {
    return count_ ? removeAt(count_ - 1) : nullptr;
}

void ExtPtrArray::removeAllObjects() {
    for (int i = 0; i < count_; ++i) {
        if (slots_[i]) {
            QuenlixObject* obj = slots_[i];
            slots_[i] = nullptr;
            qxDelete(obj);
        }
    }
    count_ = 0;
}
