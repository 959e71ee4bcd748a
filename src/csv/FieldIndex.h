#pragma once
// The field starts of every loaded line, found by the loader in the same pass that cuts the text
// into lines (it looks at every byte anyway). Reading a table row by row then needs no scan of
// its own: the row memo (RowFields) borrows a row's starts from here.
//
// The index is made for one delimiter, guessed before the load (the one set, or the one the
// first line suggests); it answers only while the grid uses that delimiter. Lines the loader
// cannot settle with its block masks (a backslash, an LF in quotes, CR LF folded inside) are left
// out, and a row answers only while its text has the length it was indexed with: an edited row
// has a buffer of its own and is never looked up here, and the last row may have been trimmed.
// Without memory the index is dropped; rows are then scanned as they are read.
//
// Per line the entries are: the number of fields n, then n field starts as RowFields keeps them
// (four times the offset in the line, plus the field's kind), then four times (line length + 1).

#include <cstddef>

class FieldIndex {
public:
    FieldIndex() = default;
    ~FieldIndex();
    FieldIndex(const FieldIndex&) = delete;
    FieldIndex& operator=(const FieldIndex&) = delete;

    void clear();

    // The starts of a row's fields with the end sentinel, and their number, when the index holds
    // that row for this delimiter and length; null otherwise. firstRowLine (set by begin) maps
    // rows to lines: the column-name line, when there is one, is line 0.
    const int* row(int row, int length, char delimiter, int* fields) const {
        if (delimiter != delimiter_ || length <= 0 || !lines_) return nullptr;
        const int line = row + firstRowLine_;
        if (row < 0 || line >= lineCount_) return nullptr;
        const int first = lines_[line];
        if (first < 0) return nullptr;
        const int n = entries_[first - 1];
        if ((entries_[first + n] >> 2) - 1 != length) return nullptr;
        *fields = n;
        return entries_ + first;
    }

    // ---- building (the loader) ----
    // Starts an empty index for the delimiter.
    // sizeHint: the length of the text, from which the first blocks are sized.
    void begin(char delimiter, int firstRowLine, int sizeHint);
    bool building() const { return building_; }
    // Room for the entries and lines of one more block; false (and the index dropped) without
    // memory.
    bool reserve(int entries, int lines) {
        if (count_ + entries <= ready_ && lineCount_ + lines <= linesReady_) return true;
        return grow(entries, lines);
    }
    // A new line starts (its first field at offset 0).
    void openLine() {
        lines_[lineCount_++] = static_cast<int>(count_ + 1);
        entries_[count_++] = 0;
        entries_[count_++] = 0;
    }
    // Another field starts at offset `at` of the line.
    void addField(int at) { entries_[count_++] = static_cast<int>(static_cast<unsigned>(at) * 4u); }
    // Adds kind bits to the field that started last.
    void markLast(int kind) { entries_[count_ - 1] |= kind; }
    // The line that is open ends after `length` bytes; a line that cannot be used is left out.
    void closeLine(int length, bool usable) {
        const int first = lines_[lineCount_ - 1];
        if (!usable || length > 0x1FFFFFFE) {
            count_ = first - 1;
            lines_[lineCount_ - 1] = -1;
            return;
        }
        entries_[first - 1] = static_cast<int>(count_ - first);
        entries_[count_++] = (length + 1) * 4;
    }

private:
    bool grow(int entries, int lines);

    // (The counts are not ints, so that the compiler knows that writing an entry leaves them
    // alone and keeps them in registers while a block is indexed.)
    int* entries_ = nullptr;
    std::ptrdiff_t count_ = 0;
    std::ptrdiff_t capacity_ = 0;
    int* lines_ = nullptr; // index of each line's first field start, -1 when left out
    std::ptrdiff_t lineCount_ = 0;
    std::ptrdiff_t lineCapacity_ = 0;
    // How far the blocks' pages have been asked for (see grow): at most the capacities.
    std::ptrdiff_t ready_ = 0;
    std::ptrdiff_t linesReady_ = 0;
    int firstRowLine_ = 0;
    char delimiter_ = 0;
    bool building_ = false;
};
