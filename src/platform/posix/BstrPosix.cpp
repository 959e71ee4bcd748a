// Automation strings on Linux, laid out as Windows lays out its BSTRs: a 4-byte little-endian
// byte length, the UTF-16 units, one zero unit; the string is addressed by a pointer to its first
// unit, so code written for the real thing reads the length at pointer - 4.
#include "platform/Bstr.h"
#include "platform/Memory.h"

#include <cstring>

namespace platform {

namespace {
const unsigned kPrefix = 4;
// Largest unit count whose byte length, prefix and terminator still fit a 32-bit size.
const unsigned kMaxUnits = (0xFFFFFFFFu - kPrefix - 2) / 2;
} // namespace

QxBstr sysAllocStringLen(const uint16_t* text, unsigned n) {
    if (n > kMaxUnits) return nullptr;
    const uint32_t bytes = n * 2u;
    unsigned char* block = static_cast<unsigned char*>(qxAlloc(kPrefix + bytes + 2));
    if (!block) return nullptr;
    std::memcpy(block, &bytes, kPrefix);
    unsigned char* units = block + kPrefix;
    if (text && bytes)
        std::memcpy(units, text, bytes);
    else
        std::memset(units, 0, bytes);
    units[bytes] = 0;
    units[bytes + 1] = 0;
    return reinterpret_cast<QxBstr>(units);
}

unsigned sysStringLen(const QxBstr b) {
    if (!b) return 0;
    uint32_t bytes;
    std::memcpy(&bytes, reinterpret_cast<const unsigned char*>(b) - kPrefix, kPrefix);
    return bytes / 2;
}

void sysFreeString(QxBstr b) {
    if (!b) return;
    qxFree(reinterpret_cast<unsigned char*>(b) - kPrefix);
}

} // namespace platform
