#include "encoding/tables/HashConvert.h"

#include "platform/Memory.h"

#include <cstring>

// A bucket block is a run of entries [keyLen][key...][valueLen][value...] closed by a zero key
// length. The chains are short (the bucket counts are chosen near the entry counts), which keeps
// a lookup to one pass over a few contiguous bytes. A block holding n bytes (the closing zero
// included) is at least blockSize(n) long, so an insert reallocates only when it crosses a
// power of two: a table of some thousand entries is built on the first conversion of every
// process, and one reallocation per entry was a good part of that.

namespace {

// Offset of the closing zero of a chain, i.e. the number of bytes its entries use.
unsigned chainLength(const unsigned char* block) {
    unsigned pos = 0;
    while (block[pos] != 0) {
        unsigned keyLen = block[pos];
        unsigned valueLen = block[pos + 1 + keyLen];
        pos += 2 + keyLen + valueLen;
    }
    return pos;
}

// The size a block of n bytes is given: n rounded up to a power of two, at least 16.
unsigned blockSize(unsigned n) {
    unsigned size = 16;
    while (size < n)
        size *= 2;
    return size;
}

} // namespace

HashConvert::~HashConvert() {
    if (!buckets_) return;
    for (unsigned i = 0; i < bucketCount_; ++i)
        qxFree(buckets_[i]);
    qxFree(buckets_);
}

bool HashConvert::initBuckets(unsigned count) {
    if (buckets_) {
        for (unsigned i = 0; i < bucketCount_; ++i)
            qxFree(buckets_[i]);
        qxFree(buckets_);
    }
    buckets_ = nullptr;
    bucketCount_ = 0;
    if (count == 0) return true;
    void* block = qxAlloc(static_cast<std::size_t>(count) * sizeof(unsigned char*));
    if (!block) return false;
    buckets_ = static_cast<unsigned char**>(block);
    for (unsigned i = 0; i < count; ++i)
        buckets_[i] = nullptr;
    bucketCount_ = count;
    return true;
}

unsigned HashConvert::bucketOf(const unsigned char* key, int keyLen) const {
    uint32_t n = 0;
    int used = keyLen < 4 ? keyLen : 4;
    for (int i = 0; i < used; ++i)
        n |= static_cast<uint32_t>(key[i]) << (8 * i);
    return n % bucketCount_;
}

void HashConvert::insert(const unsigned char* key, int keyLen, const unsigned char* value,
                         int valueLen) {
    if (!buckets_ || !key || !value || keyLen < 1 || keyLen > 255 || valueLen < 1 || valueLen > 255)
        return;
    unsigned b = bucketOf(key, keyLen);
    const unsigned used = buckets_[b] ? chainLength(buckets_[b]) : 0;
    const unsigned need =
        used + 2 + static_cast<unsigned>(keyLen) + static_cast<unsigned>(valueLen) + 1;
    if (!buckets_[b] || need > blockSize(used + 1)) {
        void* grown = qxRealloc(buckets_[b], blockSize(need));
        if (!grown) return; // the old chain stays intact
        buckets_[b] = static_cast<unsigned char*>(grown);
    }
    unsigned char* p = buckets_[b];
    p += used;
    *p++ = static_cast<unsigned char>(keyLen);
    std::memcpy(p, key, static_cast<std::size_t>(keyLen));
    p += keyLen;
    *p++ = static_cast<unsigned char>(valueLen);
    std::memcpy(p, value, static_cast<std::size_t>(valueLen));
    p += valueLen;
    *p = 0;
}

void HashConvert::remove(const unsigned char* key, int keyLen) {
    if (!buckets_ || !key || keyLen < 1 || keyLen > 255) return;
    unsigned b = bucketOf(key, keyLen);
    unsigned char* block = buckets_[b];
    if (!block) return;
    // Compact in place: kept entries slide towards the front.
    unsigned from = 0, to = 0;
    while (block[from] != 0) {
        unsigned kLen = block[from];
        unsigned vLen = block[from + 1 + kLen];
        unsigned size = 2 + kLen + vLen;
        bool match =
            kLen == static_cast<unsigned>(keyLen) && std::memcmp(block + from + 1, key, kLen) == 0;
        if (!match) {
            if (to != from) std::memmove(block + to, block + from, size);
            to += size;
        }
        from += size;
    }
    if (to == 0) {
        qxFree(block);
        buckets_[b] = nullptr;
        return;
    }
    block[to] = 0;
    if (blockSize(to + 1) < blockSize(from + 1)) { // (a block may stay larger than it needs)
        void* shrunk = qxRealloc(block, blockSize(to + 1));
        if (shrunk) buckets_[b] = static_cast<unsigned char*>(shrunk);
    }
}

void HashConvert::lookup(const unsigned char* key, int keyLen, unsigned char* valueOut,
                         int* valueLenOut) const {
    if (valueLenOut) *valueLenOut = 0;
    if (!buckets_ || !key || keyLen < 1 || keyLen > 255 || !valueOut || !valueLenOut) return;
    const unsigned char* p = buckets_[bucketOf(key, keyLen)];
    if (!p) return;
    while (*p != 0) {
        unsigned kLen = p[0];
        const unsigned char* value = p + 1 + kLen;
        unsigned vLen = value[0];
        if (kLen == static_cast<unsigned>(keyLen) && std::memcmp(p + 1, key, kLen) == 0) {
            std::memcpy(valueOut, value + 1, vLen);
            *valueLenOut = static_cast<int>(vLen);
            return;
        }
        p = value + 1 + vLen;
    }
}

void HashConvert::buildReverse(HashConvert& target) const {
    forEachEntry([&](const unsigned char* key, int keyLen, const unsigned char* value,
                     int valueLen) { target.insert(value, valueLen, key, keyLen); });
}

unsigned HashConvert::countEntries() const {
    return countEntriesWithKeyLength(0);
}

// Counts the entries whose key is keyLen bytes long; 0 counts every entry.
unsigned HashConvert::countEntriesWithKeyLength(int keyLen) const {
    unsigned n = 0;
    forEachEntry([&](const unsigned char*, int length, const unsigned char*, int) {
        if (keyLen == 0 || length == keyLen) ++n;
    });
    return n;
}
