#include "text/ExtIntArray.h"

#include "platform/Memory.h"

#include <cstring>

namespace {
const int kMaxStep = 500000;
}

ExtIntArray::ExtIntArray() {
    values_ = static_cast<int*>(qxAlloc(80 * sizeof(int)));
    if (!values_) capacity_ = 0;
}

ExtIntArray::~ExtIntArray() {
    qxFree(values_);
}

bool ExtIntArray::grow() {
    long long want = static_cast<long long>(capacity_) + growthStep_;
    if (want < count_ + 1) want = count_ + 1;
    if (want > 0x1FFFFFFF) return false;
    int* block = static_cast<int*>(qxAlloc(static_cast<size_t>(want) * sizeof(int)));
    if (!block) return false;
    if (values_ && count_) std::memcpy(block, values_, static_cast<size_t>(count_) * sizeof(int));
    qxFree(values_);
    values_ = block;
    capacity_ = static_cast<int>(want);
    if (growthStep_ < kMaxStep) growthStep_ = capacity_ > kMaxStep ? kMaxStep : capacity_;
    return true;
}

bool ExtIntArray::append(int v) {
    if (count_ + 1 > capacity_ && !grow()) return false;
    values_[count_++] = v;
    return true;
}

bool ExtIntArray::appendRepeated(int v, int n) {
    while (n > 0) {
        if (count_ + 1 > capacity_ && !grow()) return false;
        const int k = n < capacity_ - count_ ? n : capacity_ - count_;
        for (int i = 0; i < k; ++i)
            values_[count_ + i] = v;
        count_ += k;
        n -= k;
    }
    return true;
}

int ExtIntArray::elementAt(int i) const {
    if (!values_ || i < 0 || i >= count_) return 0;
    return values_[i];
}

void ExtIntArray::setAt(int i, int v) {
    if (i < 0) return;
    while (i >= count_)
        if (!append(0)) return;
    values_[i] = v;
}
