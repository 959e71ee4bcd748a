#include "csv/RowFields.h"

#include "csv/FieldScanner.h"
#include "platform/Memory.h"
#include "text/StringBuffer.h"

namespace {
// The grid reads rows with quote and backslash handling always on.
const bool kQuotes = true;
const bool kBackslash = true;
} // namespace

RowFields::~RowFields() {
    qxFree(starts_);
}

void RowFields::reset(const StringBuffer& text, int row, char delimiter) {
    text_ = &text;
    data_ = text.getString();
    length_ = text.getSize();
    row_ = row;
    delimiter_ = delimiter;
    complete_ = false;
    end_ = 0;
    known_ = 0;
}

bool RowFields::scanUpTo(int want) {
    if (length_ > 0x3FFFFFFF) return false; // offsets are kept doubled
    if (known_ == 0) {
        if (capacity_ == 0) {
            starts_ = static_cast<int*>(qxAlloc(16 * sizeof(int)));
            if (!starts_) return false;
            capacity_ = 16;
        }
        starts_[0] = 0;
        known_ = 1;
    }
    if (complete_ || known_ > want) return true;
    bool noMemory = false;
    bool stopped = false;
    // The scan starts over at the last field whose start is known, with clean state (as at
    // every field start), so marks inside that field are found again.
    const int end = FieldScanner::scanSeparators(
        data_, starts_[known_ - 1] >> 1, length_, delimiter_, kQuotes, kBackslash,
        [&](int p) {
            if (known_ == capacity_) {
                const int grown = capacity_ * 2;
                void* block = capacity_ > 0x3FFFFFF
                                  ? nullptr
                                  : qxRealloc(starts_, static_cast<size_t>(grown) * sizeof(int));
                if (!block) {
                    noMemory = true;
                    return false;
                }
                starts_ = static_cast<int*>(block);
                capacity_ = grown;
            }
            starts_[known_++] = (p + 1) * 2;
            if (known_ > want) {
                stopped = true;
                return false;
            }
            return true;
        },
        [&](int) { starts_[known_ - 1] |= 1; });
    if (noMemory) return false;
    if (!stopped) {
        complete_ = true;
        end_ = end;
    }
    return true;
}

RowFields::Result RowFields::locateSlow(const StringBuffer& text, int row, char delimiter, int col,
                                        int* start, int* end, bool* plain) {
    if (!holds(text, row, delimiter)) reset(text, row, delimiter);
    // Field col ends where field col + 1 starts (less its delimiter) or where the row ends.
    if (col >= 0x7FFFFFFF || !scanUpTo(col + 1)) {
        clear();
        return kNoMemory;
    }
    if (col >= known_) return kBeyondLastField;
    *start = starts_[col] >> 1;
    *plain = (starts_[col] & 1) == 0;
    *end = col + 1 < known_ ? (starts_[col + 1] >> 1) - 1 : end_;
    return kFound;
}

int RowFields::countFields(const StringBuffer& text, int row, char delimiter) {
    if (!holds(text, row, delimiter)) reset(text, row, delimiter);
    if (!scanUpTo(0x7FFFFFFE)) {
        clear();
        return -1;
    }
    return known_;
}
