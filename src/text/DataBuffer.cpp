#include "text/DataBuffer.h"

#include "platform/Memory.h"
#include "platform/Platform.h"

#include <cstring>

namespace {
const uint8_t kAlive = 0xDB;
const unsigned kBlockStep = 20000;
const unsigned kByteStep = 10000;
} // namespace

DataBuffer::~DataBuffer() {
    checkMarker();
    marker_ = 0;
    dropBlock();
}

void DataBuffer::checkMarker() const {
    if (marker_ != kAlive) platform::fatalFault("DataBuffer used after destruction");
}

void DataBuffer::dropBlock() {
    if (data_ && !borrowed_) qxFree(data_);
    data_ = nullptr;
    size_ = capacity_ = 0;
    borrowed_ = false;
}

unsigned char* DataBuffer::getDataAt(int i) const {
    if (!data_ || i < 0 || static_cast<unsigned>(i) >= size_) return nullptr;
    return data_ + i;
}

// Moves the bytes in use into a new block of its own; on failure the contents are dropped.
bool DataBuffer::reallocate(unsigned newCapacity) {
    unsigned char* block = static_cast<unsigned char*>(qxAlloc(newCapacity));
    if (!block) {
        dropBlock();
        return false;
    }
    if (data_ && size_) std::memcpy(block, data_, size_);
    unsigned keep = size_;
    dropBlock();
    data_ = block;
    size_ = keep;
    capacity_ = newCapacity;
    return true;
}

void DataBuffer::append(const void* p, unsigned n) {
    checkMarker();
    if (!p || n == 0) return;
    const unsigned char* src = static_cast<const unsigned char*>(p);
    if (static_cast<uint64_t>(size_) + n > capacity_) {
        uint64_t want = static_cast<uint64_t>(size_) + (n > kBlockStep ? n : kBlockStep);
        if (want > 0xFFFFFFF0u) return;
        // The source may be this buffer's own block, which reallocate() frees.
        bool inside = data_ && src >= data_ && src < data_ + capacity_;
        size_t offset = inside ? static_cast<size_t>(src - data_) : 0;
        unsigned char* keepOld = nullptr;
        if (inside && !borrowed_) {
            keepOld = static_cast<unsigned char*>(qxAlloc(n));
            if (!keepOld) {
                dropBlock();
                return;
            }
            std::memcpy(keepOld, src, n);
            src = keepOld;
        } else if (inside) {
            src = data_ + offset; // borrowed memory stays valid
        }
        bool ok = reallocate(static_cast<unsigned>(want));
        if (!ok) {
            qxFree(keepOld);
            return;
        }
        std::memcpy(data_ + size_, src, n);
        size_ += n;
        qxFree(keepOld);
        return;
    }
    std::memmove(data_ + size_, src, n);
    size_ += n;
}

void DataBuffer::appendByte(unsigned char b) {
    checkMarker();
    if (size_ + 1 > capacity_) {
        if (static_cast<uint64_t>(size_) + kByteStep > 0xFFFFFFF0u) return;
        if (!reallocate(size_ + kByteStep)) return;
    }
    data_[size_++] = b;
}

void DataBuffer::appendStrW(const uint16_t* text) {
    checkMarker();
    unsigned n = 0;
    if (text)
        while (text[n])
            ++n;
    if (n) append(text, n * 2);
    const unsigned char zero[2] = {0, 0};
    append(zero, 2);
}

bool DataBuffer::growBy(unsigned n) {
    checkMarker();
    uint64_t want = static_cast<uint64_t>(capacity_) + capacity_ / 2;
    if (want < static_cast<uint64_t>(size_) + n) want = static_cast<uint64_t>(size_) + n;
    if (want < kBlockStep) want = kBlockStep;
    if (want > 0xFFFFFFF0u) want = static_cast<uint64_t>(size_) + n;
    if (want > 0xFFFFFFF0u) return false;
    return ensureBuffer(static_cast<unsigned>(want));
}

bool DataBuffer::ensureBuffer(unsigned n) {
    checkMarker();
    if (capacity_ < n && !reallocate(n)) return false;
    return data_ != nullptr;
}

void DataBuffer::shorten(unsigned n) {
    size_ = n >= size_ ? 0 : size_ - n;
}

void DataBuffer::setDataSize(unsigned n) {
    size_ = n > capacity_ ? capacity_ : n;
}

void DataBuffer::takeOwnership(unsigned char* p, unsigned n) {
    checkMarker();
    dropBlock();
    data_ = p;
    size_ = capacity_ = p ? n : 0;
    borrowed_ = false;
}

void DataBuffer::borrowData(const unsigned char* p, unsigned n) {
    checkMarker();
    dropBlock();
    data_ = const_cast<unsigned char*>(p);
    size_ = capacity_ = p ? n : 0;
    borrowed_ = p != nullptr;
}

void DataBuffer::releaseData() {
    data_ = nullptr;
    size_ = capacity_ = 0;
    borrowed_ = false;
}

void DataBuffer::replaceChar16(uint16_t from, uint16_t to) {
    if (!data_ || from == 0 || to == 0) return;
    unsigned units = size_ / 2;
    for (unsigned i = 0; i < units; ++i) {
        uint16_t u = static_cast<uint16_t>(data_[2 * i] | (data_[2 * i + 1] << 8));
        if (u == from) {
            data_[2 * i] = static_cast<unsigned char>(to & 0xFF);
            data_[2 * i + 1] = static_cast<unsigned char>(to >> 8);
        }
    }
}
