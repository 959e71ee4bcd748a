#pragma once
// Forward table of a single-byte code page: the UTF-16 unit of every byte, 0 for unmappable.
#include <cstdint>

class UnicodeLookup {
public:
    UnicodeLookup() = default;
    virtual ~UnicodeLookup() = default;

    uint16_t table[256] = {};
};
