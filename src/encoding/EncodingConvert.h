#pragma once
// The one converter of the system: converts a block of bytes from one code page to another and
// appends the result to a DataBuffer. Every conversion between two different code pages goes
// through UTF-16LE (1200) as the pivot, except where the UTF-8 coder works directly. All mapping
// tables come from the process-wide table store; the platform's conversion functions are not used.
//
// Conversion never stops at bad input: unmappable characters and invalid sequences are dropped,
// the conversion goes on, and the result turns false. Nothing is logged.
#include "text/DataBuffer.h"

class EncodingBase;
class HashConvert;
class UnicodeLookup;

class EncodingConvert {
public:
    EncodingConvert() = default;
    virtual ~EncodingConvert() = default;

    bool convert(int fromCodePage, int toCodePage, const unsigned char* data, unsigned size,
                 DataBuffer& out);
    // convert() from the system ANSI code page.
    bool convertFromAnsi(int toCodePage, const unsigned char* data, unsigned size, DataBuffer& out);
    // Whether UTF-8 text converted to toCodePage in stretches that each end with a line end gives
    // the same bytes as the whole text converted at once: not for the coders that carry a state
    // to the end of the text (UTF-7, ISO-2022), nor for UTF-32, which stops at the first
    // sequence that is not UTF-8.
    static bool encodesByLines(int toCodePage);
    // Whether a text of about `bytes` bytes in fromCodePage decoded to UTF-8 in stretches that
    // each end just after an LF byte gives the same bytes as the whole text decoded at once: for
    // the code pages with a table in which an LF byte is always a character of its own (every
    // single-byte table but Mac Arabic, whose runs are reordered across the text; a double-byte
    // table whose keys all fit two bytes and none of which holds an LF).
    static bool decodesByLines(int fromCodePage, uint64_t bytes);
    // Whether, further, the stretches may end anywhere: a single-byte table in which every byte is
    // a character of its own (all but Mac Arabic). An EBCDIC text has no LF byte to cut at.
    static bool decodesByBytes(int fromCodePage);

    // Table store access (the tables themselves live in encoding/tables).
    static void ensureForwardTable(int codePage);
    static void ensureReverseTable(int codePage);

    // Internal routes, public for tests.
    bool convertCore(int from, int to, const unsigned char* data, unsigned size, DataBuffer& out);
    bool toUtf16(int codePage, const unsigned char* data, unsigned size, DataBuffer& out);
    bool fromUtf16(int codePage, const unsigned char* data, unsigned size, DataBuffer& out);

    // ---- table routes ----
    // Single-byte code page to UTF-16LE by plain indexing; a byte whose entry is 0 is dropped.
    static bool singleByteToUtf16(const UnicodeLookup& lookup, const unsigned char* data,
                                  unsigned size, DataBuffer& out);
    // Double-byte code page to UTF-16LE: the longest key first (2, then 3 and 4 bytes), then the
    // single byte; a byte that starts no key is dropped and the scan resynchronises on the next.
    static bool multiByteToUtf16(const HashConvert& table, const unsigned char* data, unsigned size,
                                 DataBuffer& out);
    // UTF-16LE to a code page through its reverse table (null: false).
    static bool utf16ToCodePage(const HashConvert* table, const unsigned char* data, unsigned size,
                                DataBuffer& out);

    // ---- loops around a 16-bit coder (the process-wide EncodingUtf8) ----
    // UTF-8 to UTF-16LE; invalid and cut-off sequences are dropped byte by byte. Always true.
    static bool utf8ToUtf16(const EncodingBase& coder, const unsigned char* data, unsigned size,
                            DataBuffer& out);
    // UTF-16LE to UTF-8; U+0000 is left out. False only for an odd size.
    static bool utf16ToUtf8(const EncodingBase& coder, const unsigned char* data, unsigned size,
                            DataBuffer& out);
    // UTF-8 through the decoder and back through the encoder, dropping what the decoder refuses
    // (four-byte forms among them). Always true.
    static bool utf8ToUtf8(const EncodingBase& decoder, const EncodingBase& encoder,
                           const unsigned char* data, unsigned size, DataBuffer& out);

    // ---- input and output rewrites ----
    // Mac Arabic text in place: right-to-left runs put back in logical order, and the
    // right-to-left copies of digits and punctuation folded onto their ASCII bytes.
    static void rewriteMacArabic(unsigned char* data, unsigned size);
    // UTF-16LE in place: Arabic-Indic and extended Arabic-Indic digits become ASCII digits.
    static void foldArabicIndicDigits(unsigned char* data, unsigned size);
};
