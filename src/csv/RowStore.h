#pragma once
// The raw CSV text of a grid's data rows.
//
// A loaded text stays in one block that the store owns: each row is a stretch of it, ended by a
// NUL written over its line end, and the table keeps only the stretch's offset and length (8
// bytes a row, no allocation per row). A row that is edited, or added after the load, lives in
// a StringBuffer of its own, made on first need ("owned"). A row can also be missing: when memory
// for it could not be had it still counts as a row but holds no text.
//
// Loaded stretches hold no NUL byte (the loader stops at the first NUL of the text), so every
// row's text is exactly the bytes before its terminating NUL.
#include <cstdint>

class StringBuffer;

class RowStore {
public:
    RowStore() = default;
    ~RowStore();
    RowStore(const RowStore&) = delete;
    RowStore& operator=(const RowStore&) = delete;

    int size() const { return count_; }
    // The length of the loaded text (0 before a load).
    int loadedBytes() const { return static_cast<int>(loadedEnd_); }

    // The text of a row: false for a missing row or an index out of range. The pointer stays
    // valid until the row is changed, made owned, removed, or the store cleared.
    bool text(int row, const char** data, int* length) const {
        if (loadedText(row, data, length)) return true;
        return static_cast<unsigned>(row) < static_cast<unsigned>(count_) &&
               ownedText(slots_[row], data, length);
    }
    // text() for a row that lies in the loaded text, without a call: false for any other row.
    bool loadedText(int row, const char** data, int* length) const {
        if (static_cast<unsigned>(row) >= static_cast<unsigned>(count_)) return false;
        const Slot& s = slots_[row];
        if (s.length < 0) return false;
        *data = block_ + s.offset;
        *length = s.length;
        return true;
    }

    // Where the block's written bytes end: memory from a loaded row's text up to here may be
    // read (the rows behind it, their NULs and line ends).
    const char* blockEnd() const { return block_ + blockUsed_; }

    // The row as a StringBuffer that may be changed in place; a loaded row is first copied into
    // one of its own. Null for a missing row, an index out of range, or without memory.
    StringBuffer* editable(int row);
    // Whether a row is still the stretch it was loaded as (not owned, not moved; it may have
    // been shortened in place).
    bool asLoaded(int row) const;

    // Appends a row held in its own buffer (the store takes it over) or, for null, a missing
    // row. False, row not taken, when the table cannot grow.
    bool appendOwned(StringBuffer* row);

    // Deletes every row and frees the text block.
    void clear();

    // ---- loading ----
    // Takes over a block made with qxAlloc (the previous one, if any, is freed). Rows are then
    // appended as stretches of its first `used` bytes; the rest, up to `capacity`, is room for
    // rows that grow when saved (none when capacity is not more than used).
    void adoptBlock(char* block, int used = 0, int capacity = 0);
    char* block() { return block_; }
    // A row made of block[offset, offset + length), where block[offset + length] is a NUL byte;
    // inner tells that the stretch holds an LF (a save normalises such a row). False when the
    // table cannot grow.
    bool appendStretch(int offset, int length, bool inner = false) {
        if (count_ == capacity_ && !growTable()) return false;
        slots_[count_].offset = static_cast<uint32_t>(offset);
        slots_[count_].length = length;
        if (inner) setInner(count_, true); // the table's bits start clear
        ++count_;
        return true;
    }

    // Whether a row is a stretch of the block that held an LF when it was loaded (a trim may
    // have taken it since, or a save made it part of a CR LF).
    bool loadedWithLf(int row) const {
        return static_cast<unsigned>(row) < static_cast<unsigned>(count_) &&
               slots_[row].length >= 0 && isInner(row);
    }

    // Writes to `to` (room bytes there) the rows from `first` on that a save may copy as they
    // lie in the block, each followed by lineEnd (1 or 2 bytes): loaded stretches one right
    // behind the other, none holding CR or LF, each followed by its NUL and then, when the gap
    // is 2, by an LF (the NUL stands for the CR of a CR LF line end) before the next starts;
    // with a gap of 1 the next starts right after the NUL. Where the gap is as long as the line
    // end, the stretch is copied at once and each NUL overwritten. Returns how many rows were
    // written (0 when that row cannot start such a run or does not fit), their bytes in *written.
    int copyPlainRun(int first, char* to, long long room, const char* lineEnd, int lineEndLength,
                     int* written) const;
    // Normalises the line ends inside a row's text as a save does: as StringBuffer::toCrlf when
    // crlf is true, as toLf when it is false. A loaded row whose text only loses bytes is changed
    // in place; one that gains a CR is kept as replaceLoaded keeps it. False, and the row
    // unchanged, for a missing row or without memory.
    bool normaliseLineEnds(int row, bool crlf);
    // Makes a loaded row's text text[0..length) (bytes outside the block that differ from it: a
    // save's normalised form of the row). They go over the row's own stretch when they fit
    // before the next row's stretch and change the row's length (the field index answers only
    // for the length it indexed a row with); else into the block's unused room behind the text
    // while there is some (the old stretch is left unused); else into a buffer of its own. False,
    // and the row unchanged, for a row that is not a stretch of the block or without memory.
    bool replaceLoaded(int row, const char* text, int length);
    // Removes blanks, tabs, CR and LF at both ends of a row's text (as StringBuffer::trim).
    void trim(int row);
    // Removes the last row and deletes its text.
    void removeLast();

private:
    // length >= 0: a stretch of the block at offset. kOwned: offset is the index of the row's
    // buffer in owned_. kMissing: no text.
    struct Slot {
        uint32_t offset;
        int32_t length;
    };
    static const int32_t kMissing = -1;
    static const int32_t kOwned = -2;

    bool ownedText(const Slot& s, const char** data, int* length) const;
    void setInner(int row, bool inner) {
        const uint64_t bit = uint64_t(1) << (row & 63);
        if (inner)
            inner_[row >> 6] |= bit;
        else
            inner_[row >> 6] &= ~bit;
    }
    bool isInner(int row) const { return (inner_[row >> 6] >> (row & 63)) & 1; }
    bool growTable();
    // Makes sure the pages of the block's next `bytes` bytes of room (there are that many) have
    // been asked for.
    void prepareRoom(uint32_t bytes);
    // Stores a buffer in owned_ and returns its index, or -1 without memory.
    int addOwned(StringBuffer* row);
    // Makes the slot's row the buffer (stored in owned_); without memory the buffer is deleted
    // and the slot unchanged.
    bool own(Slot& s, StringBuffer* row);

    char* block_ = nullptr;
    uint32_t loadedEnd_ = 0; // the loaded text's bytes, then rows moved behind them
    uint32_t blockUsed_ = 0;
    uint32_t blockReady_ = 0; // the room's pages asked for up to here
    uint32_t blockCapacity_ = 0;
    Slot* slots_ = nullptr;
    // One bit a row, for the capacity of the table: the row was loaded holding an LF. Bits of
    // rows not in the table are clear.
    uint64_t* inner_ = nullptr;
    int count_ = 0;
    int capacity_ = 0;
    StringBuffer** owned_ = nullptr; // entries of removed rows are null
    int ownedCount_ = 0;
    int ownedCapacity_ = 0;
};
