#pragma once
// CRC-32 as used by zip and Ethernet (polynomial 0x04C11DB7 processed bit-reversed, initial value
// 0xFFFFFFFF, final value complemented), one table lookup per byte. The 256-entry table is shared
// by the whole process and built once, by the first ZipCRC constructed.
#include <cstddef>
#include <cstdint>

class ZipCRC {
public:
    ZipCRC();
    virtual ~ZipCRC() = default;

    // 0 for a count of 0 (the table is not consulted then).
    uint32_t crc32(const void* data, std::size_t n) const;

private:
    const uint32_t* table_;
};
