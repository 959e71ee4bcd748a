#pragma once
// The one converter of the system: converts a block of bytes from one code page to another and
// appends the result to a DataBuffer. Every conversion between two different code pages goes
// through UTF-16LE (1200) as the pivot, except where the UTF-8 coder works directly. All mapping
// tables come from the process-wide table store; the platform's conversion functions are not used.
//
// Conversion never stops at bad input: unmappable characters and invalid sequences are dropped,
// the conversion goes on, and the result turns false. Nothing is logged.
#include "text/DataBuffer.h"

class EncodingConvert {
public:
    EncodingConvert() = default;
    virtual ~EncodingConvert() = default;

    bool convert(int fromCodePage, int toCodePage, const unsigned char* data, unsigned size,
                 DataBuffer& out);
    // convert() from the system ANSI code page.
    bool convertFromAnsi(int toCodePage, const unsigned char* data, unsigned size,
                         DataBuffer& out);

    // Table store access (the tables themselves live in encoding/tables).
    static void ensureForwardTable(int codePage);
    static void ensureReverseTable(int codePage);

    // Internal routes, public for tests.
    bool convertCore(int from, int to, const unsigned char* data, unsigned size, DataBuffer& out);
    bool toUtf16(int codePage, const unsigned char* data, unsigned size, DataBuffer& out);
    bool fromUtf16(int codePage, const unsigned char* data, unsigned size, DataBuffer& out);
};
