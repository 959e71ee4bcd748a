#include "util/ZipCRC.h"

namespace {

uint32_t reflect(uint32_t v, int bits) {
    uint32_t r = 0;
    for (int i = 0; i < bits; ++i)
        if (v & (1u << i)) r |= 1u << (bits - 1 - i);
    return r;
}

// The table is derived from the polynomial in its natural (most significant bit first) form:
// each index is reflected into the top byte, run through eight shift-and-XOR steps, and the
// result reflected back, which gives the entries of the bit-reversed algorithm.
struct CrcTable {
    uint32_t entry[256];
    CrcTable() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = reflect(i, 8) << 24;
            for (int k = 0; k < 8; ++k)
                r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
            entry[i] = reflect(r, 32);
        }
    }
};

// A function-local static is built exactly once even when two threads construct the first
// ZipCRC at the same time, and is complete before anybody reads it.
const uint32_t* sharedTable() {
    static const CrcTable table;
    return table.entry;
}

} // namespace

ZipCRC::ZipCRC() : table_(sharedTable()) {}

uint32_t ZipCRC::crc32(const void* data, std::size_t n) const {
    if (!data || n == 0) return 0;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i)
        crc = (crc >> 8) ^ table_[(crc ^ p[i]) & 0xFF];
    return ~crc;
}
