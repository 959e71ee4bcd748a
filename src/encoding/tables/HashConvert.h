#pragma once
// Map from byte strings to byte strings by separate chaining, used for the code-page tables.
// A bucket is one byte block holding a chain of entries (key length, key bytes, value length,
// value bytes), ended by a key length of 0. The bucket of a key is the little-endian number
// formed from its first bytes (up to 4) modulo the bucket count. Several entries may carry the
// same key; lookups return the first one inserted.
#include <cstdint>

class HashConvert {
public:
    HashConvert() = default;
    virtual ~HashConvert();
    HashConvert(const HashConvert&) = delete;
    HashConvert& operator=(const HashConvert&) = delete;

    // Frees all entries and buckets, then allocates count empty buckets; false without memory.
    bool initBuckets(unsigned count);
    void insert(const unsigned char* key, int keyLen, const unsigned char* value, int valueLen);
    void remove(const unsigned char* key, int keyLen);
    // Copies the value of the first entry with this key into valueOut (which must hold the
    // longest value) and sets *valueLenOut; the length is 0 when the key is absent.
    void lookup(const unsigned char* key, int keyLen, unsigned char* valueOut,
                int* valueLenOut) const;
    // Calls f(key, keyLen, value, valueLen) for every entry, bucket by bucket and each chain in
    // the order of insertion: of entries with the same key, the one lookup returns comes first.
    template <class F> void forEachEntry(F&& f) const {
        if (!buckets_) return;
        for (unsigned b = 0; b < bucketCount_; ++b) {
            const unsigned char* p = buckets_[b];
            if (!p) continue;
            while (*p != 0) {
                const int keyLen = p[0];
                const unsigned char* value = p + 1 + keyLen;
                const int valueLen = value[0];
                f(p + 1, keyLen, value + 1, valueLen);
                p = value + 1 + valueLen;
            }
        }
    }
    // Inserts every entry of this map into target as (value, key), bucket by bucket.
    void buildReverse(HashConvert& target) const;
    unsigned getBucketCount() const { return bucketCount_; }
    // Number of entries, and of entries whose key has the given length (for tests).
    unsigned countEntries() const;
    unsigned countEntriesWithKeyLength(int keyLen) const;

    bool asciiPassThrough = false;

private:
    unsigned bucketOf(const unsigned char* key, int keyLen) const;
    unsigned bucketCount_ = 0;
    unsigned char** buckets_ = nullptr;
};
