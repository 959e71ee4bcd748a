#pragma once
// The field offsets of one row, found as far as they have been asked for. The grid keeps one
// for the row it read last, so that reading a row's cells one after the other costs one pass
// over the row rather than one pass per cell. The grid forgets it (clear()) whenever a row text
// or the delimiter changes; as a second guard it also answers only for the same row, text
// address, length and delimiter that it was filled from (lookupInPlace, for a row the grid has
// marked, relies on the clearing alone).

class RowFields {
public:
    enum Result { kFound, kBeyondLastField, kNoMemory };
    // The kinds of a field start (see starts_ below).
    static const int kUnquote = 1;
    static const int kQuotedOnly = 3;
    static const int kKinds = 3;

    RowFields() = default;
    ~RowFields();
    RowFields(const RowFields&) = delete;
    RowFields& operator=(const RowFields&) = delete;

    void clear() {
        data_ = nullptr;
        inPlaceRow_ = -1;
    }

    // The extent [*start, *end) of field col of the row text (quotes and escapes honoured),
    // kBeyondLastField when the row has fewer fields, kNoMemory when the offsets could not be
    // kept (the caller then scans the row itself). col must be at least 0 and the text not empty.
    // *asIs tells that the extent is the cell itself: a field without quotes and backslashes, or
    // the inside of a field that is only a quoted stretch ("abc"). Otherwise it is the raw field,
    // which still needs unquoting.
    Result locate(const char* text, int length, int row, char delimiter, int col, int* start,
                  int* end, bool* asIs) {
        if (lookup(text, length, row, delimiter, col, start, end, asIs)) return kFound;
        return locateSlow(text, length, row, delimiter, col, start, end, asIs);
    }
    // The common case of locate, the next cell of the row read last, without a call: false when
    // the field's extent is not known yet.
    bool lookup(const char* text, int length, int row, char delimiter, int col, int* start,
                int* end, bool* asIs) const {
        if (col >= ready_ || col < 0 || !holds(text, length, row, delimiter)) return false;
        extent(col, start, end, asIs);
        return true;
    }
    // The caller's mark that the memo's row is a loaded row whose text stays where it lies
    // until the memo is cleared (the grid clears it whenever a row text or the delimiter
    // changes): lookupInPlace then answers for that row without being given its text. Ignored
    // unless the memo holds that row and text.
    void markInPlace(int row, const char* text) {
        if (data_ == text && data_ && row_ == row) inPlaceRow_ = row;
    }
    // lookup for the marked row: *text and *length give the field's extent in the row text.
    bool lookupInPlace(int row, int col, const char** text, int* length, bool* asIs) const {
        // (Unmarked is -1, which a caller may ask for too.)
        if (row != inPlaceRow_ || row < 0 || col >= ready_ || col < 0) return false;
        int start, end;
        extent(col, &start, &end, asIs);
        *text = data_ + start;
        *length = end - start;
        return true;
    }
    // The row's field count (the whole row is scanned once); -1 for kNoMemory.
    int countFields(const char* text, int length, int row, char delimiter);
    // After countFields: the starts of the row's fields followed by the end sentinel, in the
    // layout borrow takes (valid until the memo moves on to another row).
    const int* fieldStarts() const { return table_; }

    // Whether the memo is for this row text, length and delimiter.
    bool holds(const char* text, int length, int row, char delimiter) const {
        return data_ == text && data_ && length_ == length && row_ == row &&
               delimiter_ == delimiter;
    }
    // Takes the field starts of the row from elsewhere (FieldIndex): `fields` starts in this
    // memo's layout followed by the end sentinel. They are used where they lie and must stay
    // there until the memo is cleared or moves on to another row.
    void borrow(const char* text, int length, int row, char delimiter, const int* starts,
                int fields);

private:
    // The extent of field col (a known one) as lookup gives it.
    void extent(int col, int* start, int* end, bool* asIs) const {
        const int kind = table_[col] & kKinds;
        *start = (table_[col] >> 2) + (kind >> 1);
        *end = (table_[col + 1] >> 2) - 1 - (kind >> 1);
        *asIs = kind != kUnquote;
    }
    Result locateSlow(const char* text, int length, int row, char delimiter, int col, int* start,
                      int* end, bool* asIs);
    void reset(const char* text, int length, int row, char delimiter);
    // Finds field starts until field `want` is known or the row ends; false without memory.
    bool scanUpTo(int want);
    bool scanBlocks(int want);
    // Room for n more entries in starts_.
    bool reserve(int n);
    void finish(int end);

    const char* data_ = nullptr;
    int length_ = 0;
    int row_ = -1;
    int inPlaceRow_ = -1; // see markInPlace; -1 while unmarked
    char delimiter_ = 0;
    // starts_[i]: four times the offset of field i's first byte, plus its kind: kUnquote when
    // the field holds a quote or a backslash (its cell differs from its raw text), kQuotedOnly
    // when it is just one quoted stretch as well ("abc": the cell is the text between the
    // quotes). Once the whole row has been scanned, starts_[known_] holds four times (end of the
    // row + 1), as if another field followed.
    int* starts_ = nullptr;
    // What lookup reads: starts_, or starts borrowed from an index.
    const int* table_ = nullptr;
    int known_ = 0; // number of field starts found
    int ready_ = 0; // fields whose end is known too: known_ - 1, or known_ once complete
    int capacity_ = 0;
    bool complete_ = false; // the whole row has been scanned
    int end_ = 0;           // where the row's text ends, once complete
};
