#pragma once
// Flat arrays built from the code-page tables of the table store, so that the busiest routes
// index an array instead of searching a hash chain per character. They are an answer key, not a
// second source of mappings: every entry is the HashConvert's first entry for its key, the one a
// lookup finds, so a flat table gives exactly what the hash route would give for the same input.
//
// A flat table is built at most once per code page and direction: for a double-byte code page on
// its first conversion, for a single-byte one only after it has converted enough text through
// the hash route to pay for the build (one walk over the table's entries, and 256 KB of fresh
// memory); a single large conversion builds it at once. Tables that do not fit the flat form (keys
// longer than two bytes, values of unusual length) are never flattened and keep the hash route.
// Built tables are read-only and shared by all threads until the process ends.
#include <cstdint>

class HashConvert;

// UTF-16 to a code page: what utf16ToCodePage writes for each unit, with the Arabic-Indic digit
// folding of code pages 28596 and 1256 already applied.
struct FlatReverse {
    // Bits 0-7 the first byte, bits 8-15 the second, bits 16-17 the number of bytes (0: the unit
    // has no character in the code page and is dropped).
    uint32_t entry[65536];
    // The table maps every unit below U+0080 to the byte of the same value.
    bool asciiIdentity;
    // The table maps every unit below U+0080 to one byte, asciiByte[unit] (EBCDIC, for one).
    bool asciiSingle;
    unsigned char asciiByte[128];
};

// A double-byte code page to UTF-16 (see EncodingConvert::multiByteToUtf16).
struct FlatForward {
    uint16_t pair[65536]; // unit of the 2-byte key (first byte high), 0 when there is no key
    uint16_t single[256]; // unit of the 1-byte key, 0 when there is none
    bool asciiPassThrough;
    bool leadHasPairs[256]; // some 2-byte key starts with this byte
    // No 2-byte key starts with a byte below 0x80, and those bytes pass through: ASCII runs may
    // be copied without looking at the table.
    bool asciiRuns;
};

class FlatTables {
public:
    // The flat reverse table of codePage, or null while it is not (yet) worth building or cannot
    // be built. `units` is the number of UTF-16 units about to be converted. It is built from the
    // table store's entries without the reverse map where the store can hand them over (the map
    // is then built only by a conversion that takes the hash route), and from the map otherwise.
    static const FlatReverse* reverse(int codePage, uint64_t units);
    // The same for the forward table of a double-byte code page; `bytes` is the input size.
    static const FlatForward* forward(int codePage, uint64_t bytes);

    // Builds without caching (null when the table does not fit the flat form or memory ran out);
    // free the result with qxFree. For tests and measurements. The two built from the store
    // are null also where the store cannot hand the entries over.
    static FlatReverse* buildReverse(int codePage, const HashConvert& table);
    static FlatForward* buildForward(const HashConvert& table);
    static FlatReverse* buildReverseFromStore(int codePage);
    static FlatForward* buildForwardFromStore(int codePage);

    // Conversion volume after which the flat reverse table of a single-byte code page is built.
    static const uint64_t kBuildThreshold = 65536;
    // Whether the process-wide flat table of codePage in that direction has been built.
    static bool has(int codePage, bool reverse);
};
