#pragma once
// The fast forms of the busiest conversion routes. Each one gives exactly the bytes and the
// result of the plain route named beside it (EncodingConvert's table routes and UTF loops, run
// one after the other through a UTF-16 scratch buffer where a route has two steps); the
// differential tests hold the two forms together. What makes them fast:
//   - two-step routes run in one pass, without the UTF-16 scratch buffer of the whole text;
//   - ASCII runs are copied, widened or narrowed a block at a time (AsciiScan);
//   - table lookups index flat arrays (FlatTables) instead of hash chains;
//   - the output grows by a few large reservations, written in place.
// The caller passes an output buffer that owns its memory (not a borrowed one). When memory
// runs out the output buffer drops its contents, as DataBuffer does, and the route stops.
#include "text/DataBuffer.h"

struct FlatForward;
struct FlatReverse;
class UnicodeLookup;

class FastConvert {
public:
    // EncodingConvert::utf8ToUtf16 with the UTF-8 coder. Always true.
    static bool utf8ToUtf16(const unsigned char* data, unsigned size, DataBuffer& out);
    // The same into `units`, which has room for `size` units (2 * size bytes, unaligned, little
    // endian): the number of units written.
    static unsigned utf8ToUtf16Units(const unsigned char* data, unsigned size,
                                     unsigned char* units);
    // EncodingConvert::utf16ToUtf8 with the UTF-8 coder: U+0000 left out, false for an odd size.
    static bool utf16ToUtf8(const unsigned char* data, unsigned size, DataBuffer& out);
    // singleByteToUtf16 then utf16ToUtf8: true (the second step's result).
    static bool singleByteToUtf8(const UnicodeLookup& lookup, const unsigned char* data,
                                 unsigned size, DataBuffer& out);
    // multiByteToUtf16 then utf16ToUtf8: true.
    static bool multiByteToUtf8(const FlatForward& table, const unsigned char* data, unsigned size,
                                DataBuffer& out);
    // multiByteToUtf16: false when a byte was dropped.
    static bool multiByteToUtf16(const FlatForward& table, const unsigned char* data, unsigned size,
                                 DataBuffer& out);
    // utf8ToUtf16 then fromUtf16 for the table's code page: false when a character was dropped
    // by the second step.
    static bool utf8ToCodePage(const FlatReverse& table, const unsigned char* data, unsigned size,
                               DataBuffer& out);
    // utf16ToCodePage for non-empty input (the code page's digit folding included): false when
    // a unit was dropped or the size is 1.
    static bool utf16ToCodePage(const FlatReverse& table, const unsigned char* data, unsigned size,
                                DataBuffer& out);
};
