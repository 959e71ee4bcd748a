#pragma once
// MD5 message digest (RFC 1321). The hash map forms its bucket index from the digest of a key, so
// only the one-shot digest of a whole buffer is offered.
#include <cstddef>
#include <cstdint>

class StringBuffer;

class Md5 {
public:
    Md5();
    virtual ~Md5() = default;

    // Writes the 16-byte digest of the buffer's getSize() bytes to out.
    void digestString(const StringBuffer& data, unsigned char out[16]);
    // The same for any byte range.
    void digestBytes(const void* data, std::size_t n, unsigned char out[16]);

private:
    void reset();
    void update(const unsigned char* p, std::size_t n);
    void finish(unsigned char out[16]);
    void transform(const unsigned char block[64]);

    uint32_t state_[4];
    uint32_t bitCount_[2]; // message length in bits: low word, high word
    unsigned char block_[64];
};
