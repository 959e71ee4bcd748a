#pragma once
// Transcoders between ISO-2022-JP (RFC 1468) and Shift_JIS. Both are pure arithmetic on JIS
// X 0208 row and cell numbers, so the Japanese conversions reach ISO-2022-JP through the Shift_JIS
// table (code page 932) and this class. Stateless: make one on the stack where needed.
#include "text/DataBuffer.h"

class Japanese {
public:
    Japanese() = default;
    virtual ~Japanese() = default;

    // ISO-2022-JP to Shift_JIS. ESC $ @ and ESC $ B switch to JIS X 0208, ESC ( B and ESC ( J back
    // to ASCII, ESC ( I to half-width katakana; other escapes are swallowed. CR and LF end a JIS
    // X 0208 stretch. Appends to out.
    void iso2022jpToShiftJis(const unsigned char* data, unsigned size, DataBuffer& out) const;

    // Shift_JIS to ISO-2022-JP. Double-byte characters are written in JIS X 0208 stretches
    // (ESC $ B ... ESC ( B); half-width katakana, which ISO-2022-JP lacks, are widened to their
    // full-width forms, voiced and semi-voiced marks combined where a full-width form exists. The
    // output always ends in ASCII mode. Appends to out.
    void shiftJisToIso2022jp(const unsigned char* data, unsigned size, DataBuffer& out) const;

    // Widens the half-width katakana at p[0] (0xA1 to 0xDF) to its full-width JIS X 0208 pair,
    // taking in a following voiced (0xDE) or semi-voiced (0xDF) mark when the two combine.
    // Returns the number of bytes used (1 or 2), or 0 when p[0] is not a half-width katakana.
    static int halfwidthKanaToJis(const unsigned char* p, unsigned available, unsigned char jis[2]);

    // The JIS X 0208 pair of a Shift_JIS double-byte character.
    static void shiftJisPairToJis(unsigned char s1, unsigned char s2, unsigned char jis[2]);
};
