#pragma once
// The field starts of loaded rows, kept so that a row read again later (reading a table column
// by column, say) is not scanned again: the row memo (RowFields) borrows a row's starts from here.
// The grid fills it as rows are first read, a stretch of rows at a time in row order, from scans
// of the row memo's own kind; a table that is only loaded and saved never pays for it.
//
// The index is made for one delimiter; it answers only while the grid uses that delimiter. A row
// answers only while its text has the length it was indexed with: an edited row has a buffer of
// its own and is never looked up here, and a save may have normalised a row's line ends. Without
// memory the index is dropped; rows are then scanned as they are read.
//
// Per row the entries are: the number of fields n, then n field starts as RowFields keeps them
// (four times the offset in the row, plus the field's kind), then four times (row length + 1).

#include <cstddef>

class FieldIndex {
public:
    FieldIndex() = default;
    ~FieldIndex();
    FieldIndex(const FieldIndex&) = delete;
    FieldIndex& operator=(const FieldIndex&) = delete;

    void clear();

    // The starts of a row's fields with the end sentinel, and their number, when the index holds
    // that row for this delimiter and length; null otherwise.
    const int* row(int row, int length, char delimiter, int* fields) const {
        if (delimiter != delimiter_ || length <= 0 || !lines_) return nullptr;
        if (row < 0 || row >= lineCount_) return nullptr;
        const int first = lines_[row];
        if (first < 0) return nullptr;
        const int n = entries_[first - 1];
        if ((entries_[first + n] >> 2) - 1 != length) return nullptr;
        *fields = n;
        return entries_ + first;
    }

    // ---- building (the grid) ----
    // Starts an empty index for the delimiter, sized for a text of sizeHint bytes in `rows` rows.
    void begin(char delimiter, int sizeHint, int rows);
    // Whether begin was called since the last clear, for which delimiter, and how many rows the
    // index has taken so far (rows 0 to rows() - 1).
    bool building() const { return building_; }
    char delimiter() const { return delimiter_; }
    int rows() const { return static_cast<int>(lineCount_); }
    // Room for `rows` more rows of `entries` entries in all; false (and the index dropped)
    // without memory.
    bool reserve(std::ptrdiff_t entries, int rows) {
        if (count_ + entries <= ready_ && lineCount_ + rows <= linesReady_) return true;
        return grow(entries, rows);
    }
    // The next row: its `fields` starts with the end sentinel (null: a row the index does not
    // answer for), in room reserved for it.
    void addRow(const int* starts, int fields);

private:
    bool grow(std::ptrdiff_t entries, int rows);

    int* entries_ = nullptr;
    std::ptrdiff_t count_ = 0;
    std::ptrdiff_t capacity_ = 0;
    int* lines_ = nullptr; // index of each row's first field start, -1 when left out
    std::ptrdiff_t lineCount_ = 0;
    std::ptrdiff_t lineCapacity_ = 0;
    // How far the blocks' pages have been asked for (see grow): at most the capacities.
    std::ptrdiff_t ready_ = 0;
    std::ptrdiff_t linesReady_ = 0;
    char delimiter_ = 0;
    bool building_ = false;
};
