#include "csv/RowFields.h"

#include "csv/ByteMasks.h"
#include "csv/FieldScanner.h"
#include "platform/Memory.h"

namespace {
// The grid reads rows with quote and backslash handling always on.
const bool kQuotes = true;
const bool kBackslash = true;
} // namespace

RowFields::~RowFields() {
    qxFree(starts_);
}

void RowFields::reset(const char* text, int length, int row, char delimiter) {
    inPlaceRow_ = -1;
    data_ = text;
    length_ = length;
    row_ = row;
    delimiter_ = delimiter;
    complete_ = false;
    end_ = 0;
    known_ = 0;
    ready_ = 0;
    table_ = starts_;
}

void RowFields::borrow(const char* text, int length, int row, char delimiter, const int* starts,
                       int fields) {
    inPlaceRow_ = -1;
    data_ = text;
    length_ = length;
    row_ = row;
    delimiter_ = delimiter;
    table_ = starts;
    known_ = ready_ = fields;
    complete_ = true;
    end_ = length;
}

bool RowFields::reserve(int n) {
    if (known_ + n <= capacity_) return true;
    int grown = capacity_ < 16 ? 16 : capacity_;
    while (grown < known_ + n) {
        if (grown > 0x3FFFFFF) return false;
        grown *= 2;
    }
    void* block = qxRealloc(starts_, static_cast<size_t>(grown) * sizeof(int));
    if (!block) return false;
    starts_ = static_cast<int*>(block);
    table_ = starts_;
    capacity_ = grown;
    return true;
}

// The row ends at `end`: the sentinel after the last field start lets the last field be read
// like every other.
void RowFields::finish(int end) {
    complete_ = true;
    end_ = end;
    starts_[known_] = (end + 1) * 4;
    ready_ = known_;
}

bool RowFields::scanUpTo(int want) {
    if (length_ > 0x1FFFFFFE) return false; // offsets are kept times four
    if (known_ == 0) {
        if (!reserve(2)) return false;
        starts_[0] = 0;
        known_ = 1;
    }
    if (complete_ || known_ > want) return true;
#if defined(QX_FIELD_SCAN_BLOCKS)
    if (!scanBlocks(want)) return false;
#else
    bool noMemory = false;
    bool stopped = false;
    // The scan starts over at the last field whose start is known, with clean state (as at
    // every field start), so marks inside that field are found again.
    const int end = FieldScanner::scanSeparators(
        data_, starts_[known_ - 1] >> 2, length_, delimiter_, kQuotes, kBackslash,
        [&](int p) {
            if (!reserve(2)) {
                noMemory = true;
                return false;
            }
            starts_[known_++] = (p + 1) * 4;
            if (known_ > want) {
                stopped = true;
                return false;
            }
            return true;
        },
        [&](int) { starts_[known_ - 1] |= kUnquote; });
    if (noMemory) return false;
    if (!stopped) finish(end);
#endif
    if (!complete_) ready_ = known_ - 1;
    return true;
}

#if defined(QX_FIELD_SCAN_BLOCKS)
// The same reading as FieldScanner::scanSeparators, a block (ByteMasks::kBits bytes) at a time. A
// block without backslashes is settled with bit masks alone: the quote state at each byte is the
// parity of the quotes before it, delimiters outside quotes separate fields, and a field holding a
// quote is marked. Blocks with a backslash go byte by byte through the bytes that matter.
bool RowFields::scanBlocks(int want) {
    const char* text = data_;
    const int length = length_;
    // The scan starts over at the last field whose start is known, with clean state (as at
    // every field start), so marks inside that field are found again.
    const int from = starts_[known_ - 1] >> 2;
    bool inQuotes = false;
    int next = from; // bytes before this position are escaped or already passed
    int* starts = starts_;
    int known = known_;
    int end = -1; // where the text ends, once found
    bool openOnly = false;
    using Word = ByteMasks::Word;
    const int kBits = ByteMasks::kBits;
    for (int base = from; base < length && end < 0; base += kBits) {
        // One separator per byte at most, plus the sentinel.
        if (known + kBits + 1 > capacity_) {
            known_ = known;
            if (!reserve(kBits + 1)) return false;
            starts = starts_;
        }
        const ByteMasks m(text, base, length, delimiter_, '"', '\\');
        // A byte escaped by a backslash at the end of the block before is ordinary.
        const Word passed = next <= base ? 0 : ByteMasks::below(next - base);
        // The text ends at its first NUL; a delimiter that is also a quote, a backslash or NUL
        // never separates (those tests come first).
        const Word nul = m.nul & ~passed;
        const int stop = nul ? ByteMasks::lowest(nul) : kBits;
        const Word live = ByteMasks::below(stop) & ~passed;
        const Word q = m.b & live;
        const Word b = m.c & live;
        const Word d = m.a & live & ~q & ~b;
        if (stop < kBits) end = base + stop;
        if (!b && !q && !inQuotes) {
            // No quotes (most blocks): every delimiter separates and no field changes kind.
            // (openOnly is false already: it is only ever set for a field inside its quotes.)
            for (Word sep = d; sep; sep &= sep - 1)
                starts[known++] = (base + ByteMasks::lowest(sep) + 1) * 4;
            if (known > want && stop == kBits) {
                starts[known - 1] &= ~kKinds; // a later scan starts over at the last field
                known_ = known;
                return true;
            }
            continue;
        }
        if (!b) {
            const Word parity = ByteMasks::prefixParity(q);
            Word sep = d & ~(inQuotes ? ~parity : parity);
            Word quotes = q; // quotes not yet given to a field
            // Where the current field starts, relative to the block (negative: before it).
            int first = (starts[known - 1] >> 2) - base;
            const auto kind = [&](Word fieldQuotes, int last) {
                return ByteMasks::fieldKind(fieldQuotes, first, last, openOnly);
            };
            while (sep) {
                const int s = ByteMasks::lowest(sep);
                sep &= sep - 1;
                const Word before = ByteMasks::below(s);
                starts[known - 1] |= kind(quotes & before, s);
                quotes &= ~before;
                starts[known++] = (base + s + 1) * 4;
                first = s + 1;
            }
            // The last field of the row may end in this block too.
            starts[known - 1] |= stop < kBits ? kind(quotes, stop) : quotes ? kUnquote : 0;
            // A field that goes on into the next block and has so far only its opening quote
            // may still turn out a quoted stretch alone.
            openOnly = ByteMasks::onlyOpeningQuote(quotes, first, openOnly);
            inQuotes = inQuotes != ByteMasks::top(parity);
            // The whole block is settled, though fewer fields may have been asked for: reading
            // a row cell by cell then costs one call per block rather than one per cell.
            if (known > want && stop == kBits) {
                // The last field goes on past the block; a later scan starts over at it.
                starts[known - 1] &= ~kKinds;
                known_ = known;
                return true;
            }
            continue;
        }
        openOnly = false; // fields through this block are read the long way
        Word hits = d | q | b;
        while (hits) {
            const int p = base + ByteMasks::lowest(hits);
            hits &= hits - 1;
            if (p < next) continue;
            const char c = text[p];
            if (c == '\\') {
                // The next byte is ordinary, whatever it is; the text may end right here.
                starts[known - 1] |= kUnquote;
                if (p + 1 >= length || text[p + 1] == 0) {
                    end = p + 1;
                    break;
                }
                next = p + 2;
                continue;
            }
            if (c == '"') {
                starts[known - 1] |= kUnquote;
                inQuotes = !inQuotes;
                continue;
            }
            if (inQuotes) continue;
            starts[known++] = (p + 1) * 4;
            if (known > want) {
                known_ = known;
                return true;
            }
        }
    }
    known_ = known;
    if (!reserve(1)) return false;
    finish(end < 0 ? length : end);
    return true;
}
#endif

RowFields::Result RowFields::locateSlow(const char* text, int length, int row, char delimiter,
                                        int col, int* start, int* end, bool* asIs) {
    if (!holds(text, length, row, delimiter)) reset(text, length, row, delimiter);
    // Field col ends where field col + 1 starts (less its delimiter) or where the row ends.
    if (col >= 0x7FFFFFFF || !scanUpTo(col + 1)) {
        clear();
        return kNoMemory;
    }
    if (col >= known_) return kBeyondLastField;
    lookup(text, length, row, delimiter, col, start, end, asIs);
    return kFound;
}

int RowFields::countFields(const char* text, int length, int row, char delimiter) {
    if (!holds(text, length, row, delimiter)) reset(text, length, row, delimiter);
    if (!scanUpTo(0x7FFFFFFE)) {
        clear();
        return -1;
    }
    return known_;
}
