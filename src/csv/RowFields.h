#pragma once
// The field offsets of one row, found as far as they have been asked for. The grid keeps one
// for the row it read last, so that reading a row's cells one after the other costs one pass
// over the row rather than one pass per cell. The grid forgets it (clear()) whenever a row text
// or the delimiter changes; as a second guard it also answers only for the same row object,
// text block, length and delimiter that it was filled from.
#include "text/StringBuffer.h"

class RowFields {
public:
    enum Result { kFound, kBeyondLastField, kNoMemory };

    RowFields() = default;
    ~RowFields();
    RowFields(const RowFields&) = delete;
    RowFields& operator=(const RowFields&) = delete;

    void clear() { text_ = nullptr; }

    // The raw extent [*start, *end) of field col of the row text (quotes and escapes honoured),
    // kBeyondLastField when the row has fewer fields, kNoMemory when the offsets could not be
    // kept (the caller then scans the row itself). col must be at least 0 and the text not empty.
    // *plain tells that the raw text is the cell (it holds no quote and no backslash).
    Result locate(const StringBuffer& text, int row, char delimiter, int col, int* start, int* end,
                  bool* plain) {
        // The common case, the next cell of the row read last, without a call.
        if (col + 1 < known_ && holds(text, row, delimiter)) {
            *start = starts_[col] >> 1;
            *plain = (starts_[col] & 1) == 0;
            *end = (starts_[col + 1] >> 1) - 1;
            return kFound;
        }
        return locateSlow(text, row, delimiter, col, start, end, plain);
    }
    // The row's field count (the whole row is scanned once); -1 for kNoMemory.
    int countFields(const StringBuffer& text, int row, char delimiter);

private:
    Result locateSlow(const StringBuffer& text, int row, char delimiter, int col, int* start,
                      int* end, bool* plain);
    bool holds(const StringBuffer& text, int row, char delimiter) const {
        return text_ == &text && data_ == text.getString() && length_ == text.getSize() &&
               row_ == row && delimiter_ == delimiter;
    }
    void reset(const StringBuffer& text, int row, char delimiter);
    // Finds field starts until field `want` is known or the row ends; false without memory.
    bool scanUpTo(int want);

    const StringBuffer* text_ = nullptr;
    const char* data_ = nullptr;
    int length_ = 0;
    int row_ = -1;
    char delimiter_ = 0;
    // starts_[i]: twice the offset of field i's first byte, plus 1 when the field holds a quote
    // or a backslash (its cell then differs from its raw text).
    int* starts_ = nullptr;
    int known_ = 0; // number of field starts found
    int capacity_ = 0;
    bool complete_ = false; // the whole row has been scanned
    int end_ = 0;           // where the row's text ends, once complete
};
