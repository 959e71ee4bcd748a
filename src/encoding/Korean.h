#pragma once
// Transcoders between ISO-2022-KR (RFC 1557) and EUC-KR. ISO-2022-KR is EUC-KR with the top bit
// of every double-byte character cleared and the double-byte stretches bracketed by SO and SI,
// after one designator line; the Korean conversions reach it through the EUC-KR table (code page
// 949) and this class. Stateless: make one on the stack where needed.
#include "text/DataBuffer.h"

class Korean {
public:
    Korean() = default;
    virtual ~Korean() = default;

    // ISO-2022-KR to EUC-KR. The designator ESC $ ) C and SO/SI are consumed; any other escape
    // loses just its ESC byte. Inside SO, bytes go in pairs with their top bits set; a pair cut
    // off by the end is dropped. Appends to out.
    void iso2022krToEucKr(const unsigned char* data, unsigned size, DataBuffer& out) const;

    // EUC-KR to ISO-2022-KR: the designator first, then single bytes as they are (after SI when
    // shifted) and double-byte characters with their top bits cleared (after SO when not). No SI
    // is added at the end, so the output may end shifted. Appends to out; empty input gives
    // nothing.
    void eucKrToIso2022kr(const unsigned char* data, unsigned size, DataBuffer& out) const;
};
