#pragma once
// Per-conversion state handed to every decodeChar and encodeChar call of one coder-driven
// conversion. Each conversion makes its own, starting at 0; coders that need no state (UTF-8)
// ignore it.
#include <cstdint>

class ConvertState {
public:
    ConvertState() = default;
    virtual ~ConvertState() = default;

    int32_t value = 0;
};
