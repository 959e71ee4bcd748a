#pragma once
// Growable byte buffer without a terminator of its own, for raw bytes and for text whose bytes
// may be zero (UTF-16, conversion output, decompressed tables, file contents). It either owns its
// block or borrows somebody else's; growth always ends with a block of its own.
//
// Growth is by fixed large steps: a block append adds at least 20000 bytes, a single-byte append
// 10000. When a reallocation fails the buffer drops its contents (data null, size 0); callers
// detect that by a null getData() or a short size.
#include "text/QuenlixObject.h"

#include <cstdint>

class DataBuffer : public QuenlixObject {
public:
    DataBuffer() = default;
    ~DataBuffer() override;
    DataBuffer(const DataBuffer&) = delete;
    DataBuffer& operator=(const DataBuffer&) = delete;

    unsigned char* getData() const { return data_; }
    unsigned getSize() const { return size_; }
    unsigned getCapacity() const { return capacity_; }
    bool isBorrowed() const { return borrowed_; }
    // data + i when 0 <= i < size; otherwise null.
    unsigned char* getDataAt(int i) const;

    void clear() { size_ = 0; }
    void append(const void* p, unsigned n);
    void appendByte(unsigned char b);
    // Appends the code units of a zero-terminated UTF-16 text and its 2-byte terminator; a null
    // pointer appends just the terminator.
    void appendStrW(const uint16_t* text);
    // Grows the block to exactly n bytes when it is smaller; true when a block exists afterwards.
    bool ensureBuffer(unsigned n);
    // Room for n more bytes, for a caller that appends a text of a size it cannot tell a few
    // bytes at a time (a character coder): the block grows by half at least, so such a text is
    // not copied over once per fixed step of append. False without memory (the contents are then
    // dropped, as by a failed append).
    bool makeRoom(unsigned n) {
        return static_cast<unsigned long long>(size_) + n <= capacity_ || growBy(n);
    }
    void shorten(unsigned n);
    void setDataSize(unsigned n);

    // Frees the current block (unless borrowed), then owns p (freed later with qxFree).
    void takeOwnership(unsigned char* p, unsigned n);
    // Frees the current block (unless borrowed), then refers to p without owning it.
    void borrowData(const unsigned char* p, unsigned n);
    // Forgets the block without freeing it; whoever took the pointer now owns it.
    void releaseData();
    // Treats the bytes as 16-bit units and replaces every unit equal to from by to.
    void replaceChar16(uint16_t from, uint16_t to);

private:
    void checkMarker() const;
    bool reallocate(unsigned newCapacity);
    bool growBy(unsigned n);
    void dropBlock();

    uint8_t marker_ = 0xDB;
    bool borrowed_ = false;
    unsigned char* data_ = nullptr;
    unsigned size_ = 0;
    unsigned capacity_ = 0;
};
