#pragma once
// Collects the transcoders' output a few bytes at a time in a small local block and appends it
// to the target buffer whenever the block fills and at flush(), so that the target grows by one
// append per block rather than per byte, and by half its size at a time (DataBuffer::makeRoom)
// rather than by append's fixed step.
#include "text/DataBuffer.h"

class BlockWriter {
public:
    explicit BlockWriter(DataBuffer& target) : target_(target) {}
    ~BlockWriter() { flush(); }
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;

    void put(unsigned char b) {
        if (used_ == sizeof block_) flush();
        block_[used_++] = b;
    }
    void put(unsigned char b1, unsigned char b2) {
        put(b1);
        put(b2);
    }
    void put(unsigned char b1, unsigned char b2, unsigned char b3) {
        put(b1);
        put(b2);
        put(b3);
    }
    void flush() {
        if (used_ && target_.makeRoom(used_)) target_.append(block_, used_);
        used_ = 0;
    }

private:
    DataBuffer& target_;
    unsigned char block_[200];
    unsigned used_ = 0;
};
