#include "encoding/EncodingConvert.h"

#include "encoding/AsciiScan.h"
#include "encoding/BlockWriter.h"
#include "encoding/ConvertState.h"
#include "encoding/EncodingUtf8.h"
#include "encoding/FastConvert.h"
#include "encoding/FlatTables.h"
#include "encoding/Japanese.h"
#include "encoding/Korean.h"
#include "encoding/Utf7.h"
#include "encoding/UtfConvert.h"
#include "encoding/tables/HashConvert.h"
#include "encoding/tables/TableStore.h"
#include "encoding/tables/UnicodeLookup.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

// How a conversion runs:
//  - convert() deals with what lies outside the UTF-16 pivot: targets that are made from another
//    form (UTF-7 and UTF-32 from UTF-16 and UTF-8, UTF-16BE by swapping, ISO-2022 through the
//    Shift_JIS and EUC-KR tables), ISO-2022 sources, and the Mac Arabic input rewrite.
//  - convertCore() removes byte-order marks, brings the source to UTF-16LE or UTF-8 (the pivots)
//    and runs at most two steps between pivot and table code page.
//  - toUtf16()/fromUtf16() pick the table route of a code page from the table store.
// A two-step route returns the result of its second step, so a character dropped by the first
// step does not make the result false; the UTF-7 and UTF-32 targets, in contrast, keep nothing
// when their first step fails. Keep these rules together when changing a route.
//
// The busiest routes (UTF-8 to and from UTF-16, table code pages to and from UTF-8) run through
// FastConvert, which gives the same bytes and results as the plain routes below in one pass;
// the plain routes remain for everything else and as the reference the tests compare with.

namespace {

const int kUtf16Le = 1200;
const int kUtf16Be = 1201;
const int kUtf7 = 65000;
const int kUtf8 = 65001;
const int kUtf32Le = 65005;
const int kUtf32Be = 65006;
const int kShiftJis = 932;
const int kEucKr = 949;
const int kMacArabic = 10004;
const int kIso2022Kr = 50225;

bool isIso2022Jp(int cp) {
    return cp >= 50220 && cp <= 50222;
}

// The fast routes write into the output's own block; a borrowed block is left to the plain ones.
bool fastOutput(const DataBuffer& out) {
    return !out.isBorrowed();
}

// Seven-bit text without NUL reads the same in UTF-8, UTF-16LE and every single-byte code page
// whose lower half is ASCII (Mac Arabic aside, whose input is rewritten first): such text is
// copied, or widened or narrowed for UTF-16, without building a table. Paths, names and many
// whole files are such text. False, with nothing written, when the shortcut does not apply.
bool asciiSide(int cp) {
    return cp == kUtf8 || cp == kUtf16Le || (cp != kMacArabic && TableStore::passesAscii(cp));
}

bool copySevenBit(int from, int to, const unsigned char* data, unsigned size, DataBuffer& out) {
    if (!asciiSide(from) || !asciiSide(to)) return false;
    if (from == kUtf16Le) {
        if (size % 2) return false;
        for (unsigned i = 0; i < size; i += 2)
            if (data[i] == 0 || data[i] >= 0x80 || data[i + 1] != 0) return false;
        BlockWriter w(out);
        for (unsigned i = 0; i < size; i += 2)
            w.put(data[i]);
        return true;
    }
    if (AsciiScan::asciiPrefix(data, size) != size || std::memchr(data, 0, size)) return false;
    if (to != kUtf16Le) {
        out.append(data, size);
        return true;
    }
    BlockWriter w(out);
    for (unsigned i = 0; i < size; ++i)
        w.put(data[i], 0);
    return true;
}

// Short conversions are not worth a table of UTF-8 forms per call.
const unsigned kFastSingleByteMinimum = 256;

// The flat reverse table of a code page with a table, when it is available (see FlatTables).
const FlatReverse* flatReverse(int codePage, uint64_t units) {
    return TableStore::hasTable(codePage) ? FlatTables::reverse(codePage, units) : nullptr;
}

// Grows out ahead of a step so that the step appends without reallocating; the estimate only
// saves reallocations, so a failure (which DataBuffer reports by dropping its contents, as the
// following appends would) is not looked at.
void reserveMore(DataBuffer& out, uint64_t extra) {
    uint64_t want = static_cast<uint64_t>(out.getSize()) + extra;
    if (want > 0x7FFFFFF0u) return;
    if (want > out.getCapacity()) out.ensureBuffer(static_cast<unsigned>(want));
}

// Appends the 16-bit units of data with their two bytes swapped; an odd trailing byte is left out.
void appendSwapped16(const unsigned char* data, unsigned size, DataBuffer& out) {
    BlockWriter w(out);
    for (unsigned i = 0; i + 2 <= size; i += 2)
        w.put(data[i + 1], data[i]);
}

bool isMacArabicRightToLeft(unsigned char b) {
    return b == 0x81 || b == 0x8C || b == 0x93 || b == 0x98 || b == 0x9B ||
           (b >= 0xA0 && b <= 0xA4) || (b >= 0xA6 && b <= 0xAB) || (b >= 0xAD && b <= 0xBA) ||
           (b >= 0xBC && b <= 0xBE) || b == 0xC0 || (b >= 0xDB && b <= 0xDF) ||
           (b >= 0xFB && b <= 0xFD);
}

// Mac Arabic repeats the ASCII digits and punctuation as right-to-left characters 0x80 higher;
// they are folded onto the ASCII bytes, and 0x81 (a right-to-left no-break space) onto 0xA0.
unsigned char foldMacArabicByte(unsigned char b) {
    if (b >= 0xB0 && b <= 0xB9) return static_cast<unsigned char>(b - 0x80);
    if (b >= 0xA0 && b <= 0xAF && b != 0xA5 && b != 0xAC)
        return static_cast<unsigned char>(b - 0x80);
    switch (b) {
    case 0xBA:
    case 0xBC:
    case 0xBD:
    case 0xBE:
    case 0xDB:
    case 0xDC:
    case 0xDD:
    case 0xDE:
    case 0xDF:
    case 0xFB:
    case 0xFC:
    case 0xFD:
        return static_cast<unsigned char>(b - 0x80);
    case 0x81:
        return 0xA0;
    default:
        return b;
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Entry points

bool EncodingConvert::convertFromAnsi(int toCodePage, const unsigned char* data, unsigned size,
                                      DataBuffer& out) {
    return convert(platform::ansiCodePage(), toCodePage, data, size, out);
}

bool EncodingConvert::encodesByLines(int toCodePage) {
    return toCodePage != kUtf7 && !isIso2022Jp(toCodePage) && toCodePage != kIso2022Kr &&
           toCodePage != kUtf32Le && toCodePage != kUtf32Be;
}

bool EncodingConvert::decodesByLines(int fromCodePage, uint64_t bytes) {
    switch (TableStore::kindOf(fromCodePage)) {
    case TableStore::kSingleByte:
        return fromCodePage != kMacArabic;
    case TableStore::kDoubleByte: {
        // Only a flat table tells cheaply that no key holds an LF; small texts do not pay for
        // building one and are decoded whole.
        const FlatForward* flat = FlatTables::forward(fromCodePage, bytes);
        if (!flat || flat->leadHasPairs['\n']) return false;
        for (unsigned lead = 0; lead < 256; ++lead)
            if (flat->pair[lead << 8 | '\n']) return false;
        return true;
    }
    default:
        return false;
    }
}

bool EncodingConvert::decodesByBytes(int fromCodePage) {
    return TableStore::kindOf(fromCodePage) == TableStore::kSingleByte &&
           fromCodePage != kMacArabic;
}

bool EncodingConvert::convert(int from, int to, const unsigned char* data, unsigned size,
                              DataBuffer& out) {
    if (to == 0 || from == to) {
        out.append(data, size); // a byte-order mark stays
        return true;
    }

    DataBuffer rewritten;
    if (from == kMacArabic) {
        rewritten.append(data, size);
        rewriteMacArabic(rewritten.getData(), rewritten.getSize());
        data = rewritten.getData();
        size = rewritten.getSize();
    } else if (isIso2022Jp(from)) {
        DataBuffer sjis;
        Japanese().iso2022jpToShiftJis(data, size, sjis);
        if (sjis.getSize() == 0) return true;
        return convert(kShiftJis, to, sjis.getData(), sjis.getSize(), out);
    } else if (from == kIso2022Kr) {
        DataBuffer euc;
        Korean().iso2022krToEucKr(data, size, euc);
        if (euc.getSize() == 0) return true;
        return convert(kEucKr, to, euc.getData(), euc.getSize(), out);
    }

    DataBuffer scratch;
    if (to == kUtf7) {
        if (!convertCore(from, kUtf16Le, data, size, scratch)) return false;
        return utf16ToUtf7(scratch, out);
    }
    if (to == kUtf32Le || to == kUtf32Be) {
        // UTF-8 without a byte-order mark is its own UTF-8 form: read where it lies.
        const bool marked =
            data && size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF;
        if (from == kUtf8 && data && size && !marked)
            scratch.borrowData(data, size);
        else if (!convertCore(from, kUtf8, data, size, scratch))
            return false;
        return to == kUtf32Le ? utf8ToUtf32le(scratch, out) : utf8ToUtf32be(scratch, out);
    }
    if (to == kUtf16Be) {
        bool ok = convertCore(from, kUtf16Le, data, size, scratch);
        if (scratch.getData()) appendSwapped16(scratch.getData(), scratch.getSize(), out);
        return ok;
    }
    if (isIso2022Jp(to)) {
        bool ok = convertCore(from, kShiftJis, data, size, scratch);
        if (scratch.getSize())
            Japanese().shiftJisToIso2022jp(scratch.getData(), scratch.getSize(), out);
        return ok;
    }
    if (to == kIso2022Kr) {
        bool ok = convertCore(from, kEucKr, data, size, scratch);
        if (scratch.getSize()) Korean().eucKrToIso2022kr(scratch.getData(), scratch.getSize(), out);
        return ok;
    }
    return convertCore(from, to, data, size, out);
}

bool EncodingConvert::convertCore(int from, int to, const unsigned char* data, unsigned size,
                                  DataBuffer& out) {
    if (!data || size == 0) return true;

    // Byte-order marks. For UTF-16 the mark decides the byte order, whatever the code page said;
    // UTF-32 marks are not recognised (FF FE 00 00 is the character U+FEFF).
    int source = from;
    if (from == kUtf8) {
        if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
            data += 3;
            size -= 3;
        }
    } else if (from == kUtf16Le || from == kUtf16Be) {
        if (size >= 2 && data[0] == 0xFE && data[1] == 0xFF) {
            source = kUtf16Be;
            data += 2;
            size -= 2;
        } else if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
            source = kUtf16Le;
            data += 2;
            size -= 2;
        }
    }
    if (size == 0) return true;
    // Compared with the byte order the mark decided, so that big-endian text marked FE FF is
    // swapped even when it was announced as 1200.
    if (source == to) {
        out.append(data, size);
        return true;
    }
    if (copySevenBit(source, to, data, size, out)) return true;

    // Bring the source to one of the pivots, UTF-16LE or UTF-8.
    DataBuffer pivot;
    DataBuffer input;
    if (source == kUtf16Be) {
        if (size < 2) return true;
        appendSwapped16(data, size, pivot);
        source = kUtf16Le;
    } else if (source == kUtf32Be) {
        if (size < 4) return true;
        {
            BlockWriter w(input);
            for (unsigned i = 0; i + 4 <= size; i += 4) {
                w.put(data[i + 3], data[i + 2]);
                w.put(data[i + 1], data[i]);
            }
        }
        utf32leToUtf8(input, pivot);
        source = kUtf8;
    } else if (source == kUtf32Le) {
        input.borrowData(data, size);
        utf32leToUtf8(input, pivot);
        source = kUtf8;
    } else if (source == kUtf7) {
        input.borrowData(data, size);
        utf7ToUtf16(input, pivot); // its flag is not part of the result
        source = kUtf16Le;
    } else {
        pivot.borrowData(data, size);
    }
    const unsigned char* p = pivot.getData();
    unsigned n = pivot.getSize();

    const EncodingUtf8& utf8 = EncodingUtf8::instance();
    const bool fast = fastOutput(out);
    if (source == kUtf16Le) {
        if (to == kUtf16Le) {
            out.append(p, n);
            return true;
        }
        if (to == kUtf8) {
            if (fast) return FastConvert::utf16ToUtf8(p, n, out);
            reserveMore(out, static_cast<uint64_t>(n) / 2 + 4);
            return utf16ToUtf8(utf8, p, n, out);
        }
        reserveMore(out, static_cast<uint64_t>(n) / 2 + 4);
        return fromUtf16(to, p, n, out);
    }
    if (source == kUtf8) {
        if (to == kUtf16Le) {
            if (fast) return FastConvert::utf8ToUtf16(p, n, out);
            reserveMore(out, static_cast<uint64_t>(n) * 2);
            return utf8ToUtf16(utf8, p, n, out);
        }
        if (to == kUtf8) { // reached from UTF-32 only
            // A unit is at most three bytes, and a four-byte form gives two of them.
            reserveMore(out, static_cast<uint64_t>(n) + n / 2 + 4);
            return utf8ToUtf8(utf8, utf8, p, n, out);
        }
        if (fast) {
            // One pass instead of UTF-16 scratch plus table step; same bytes, same result.
            if (const FlatReverse* flat = flatReverse(to, n))
                return FastConvert::utf8ToCodePage(*flat, p, n, out);
        }
        DataBuffer utf16;
        reserveMore(utf16, static_cast<uint64_t>(n) * 2);
        utf8ToUtf16(utf8, p, n, utf16);
        reserveMore(out, static_cast<uint64_t>(utf16.getSize()) / 2 + 4);
        return fromUtf16(to, utf16.getData(), utf16.getSize(), out);
    }
    // A table code page.
    if (to == kUtf16Le) {
        reserveMore(out, static_cast<uint64_t>(n) * 2);
        return toUtf16(source, p, n, out);
    }
    if (to == kUtf8 && fast) {
        // One pass instead of UTF-16 scratch plus UTF-8 step; same bytes, same result.
        switch (TableStore::kindOf(source)) {
        case TableStore::kSingleByte:
            if (n >= kFastSingleByteMinimum) {
                if (const UnicodeLookup* lookup = TableStore::forwardSingleByte(source))
                    return FastConvert::singleByteToUtf8(*lookup, p, n, out);
            }
            break;
        case TableStore::kDoubleByte:
            if (const FlatForward* flat = FlatTables::forward(source, n))
                return FastConvert::multiByteToUtf8(*flat, p, n, out);
            break;
        default:
            break;
        }
    }
    DataBuffer utf16;
    reserveMore(utf16, static_cast<uint64_t>(n) * 2);
    toUtf16(source, p, n, utf16);
    reserveMore(out, static_cast<uint64_t>(utf16.getSize()) / 2 + 4);
    if (to == kUtf8) return utf16ToUtf8(utf8, utf16.getData(), utf16.getSize(), out);
    return fromUtf16(to, utf16.getData(), utf16.getSize(), out);
}

// ---------------------------------------------------------------------------------------------
// Table dispatch

void EncodingConvert::ensureForwardTable(int codePage) {
    switch (TableStore::kindOf(codePage)) {
    case TableStore::kSingleByte:
        TableStore::forwardSingleByte(codePage);
        break;
    case TableStore::kDoubleByte:
        TableStore::forwardDoubleByte(codePage);
        break;
    default:
        break;
    }
}

void EncodingConvert::ensureReverseTable(int codePage) {
    if (TableStore::hasTable(codePage)) TableStore::reverse(codePage);
}

bool EncodingConvert::toUtf16(int codePage, const unsigned char* data, unsigned size,
                              DataBuffer& out) {
    if (!data || size == 0) return true;
    switch (TableStore::kindOf(codePage)) {
    case TableStore::kDoubleByte: {
        if (fastOutput(out)) {
            if (const FlatForward* flat = FlatTables::forward(codePage, size))
                return FastConvert::multiByteToUtf16(*flat, data, size, out);
        }
        const HashConvert* table = TableStore::forwardDoubleByte(codePage);
        if (!table) return false;
        return multiByteToUtf16(*table, data, size, out);
    }
    case TableStore::kSingleByte: {
        const UnicodeLookup* lookup = TableStore::forwardSingleByte(codePage);
        return lookup ? singleByteToUtf16(*lookup, data, size, out) : false;
    }
    default:
        return false;
    }
}

bool EncodingConvert::fromUtf16(int codePage, const unsigned char* data, unsigned size,
                                DataBuffer& out) {
    if (!data || size == 0) return true;
    if (!TableStore::hasTable(codePage)) return false;
    if (fastOutput(out)) {
        // The flat table has the digit folding of 28596 and 1256 built in.
        if (const FlatReverse* flat = FlatTables::reverse(codePage, size / 2))
            return FastConvert::utf16ToCodePage(*flat, data, size, out);
    }
    const HashConvert* table = TableStore::reverse(codePage);
    if (!table) return false;
    if (codePage == 28596 || codePage == 1256) {
        // These Arabic code pages have no Arabic-Indic digits of their own; write them as the
        // ASCII digits rather than dropping them.
        DataBuffer folded;
        folded.append(data, size);
        if (!folded.getData()) return false;
        foldArabicIndicDigits(folded.getData(), folded.getSize());
        return utf16ToCodePage(table, folded.getData(), folded.getSize(), out);
    }
    return utf16ToCodePage(table, data, size, out);
}

// ---------------------------------------------------------------------------------------------
// Table routes

bool EncodingConvert::singleByteToUtf16(const UnicodeLookup& lookup, const unsigned char* data,
                                        unsigned size, DataBuffer& out) {
    if (!data) return true;
    bool ok = true;
    BlockWriter w(out);
    for (unsigned i = 0; i < size; ++i) {
        unsigned char b = data[i];
        if (b == 0) {
            w.put(0, 0);
            continue;
        }
        uint16_t u = lookup.table[b];
        if (u == 0) {
            ok = false; // unmappable: dropped
            continue;
        }
        w.put(static_cast<unsigned char>(u & 0xFF), static_cast<unsigned char>(u >> 8));
    }
    return ok;
}

bool EncodingConvert::multiByteToUtf16(const HashConvert& table, const unsigned char* data,
                                       unsigned size, DataBuffer& out) {
    if (!data) return true;
    bool ok = true;
    BlockWriter w(out);
    unsigned char value[256];
    int valueLen = 0;
    unsigned i = 0;
    while (i < size) {
        unsigned remaining = size - i;
        if (remaining >= 2) {
            // Keys of 2, then 3 and 4 bytes; the shipped tables hold only 1- and 2-byte keys.
            unsigned keyLen = 0;
            for (unsigned k = 2; k <= 4 && k <= remaining && keyLen == 0; ++k) {
                table.lookup(data + i, static_cast<int>(k), value, &valueLen);
                if (valueLen > 0) keyLen = k;
            }
            if (keyLen) {
                for (int k = 0; k < valueLen; ++k)
                    w.put(value[k]);
                i += keyLen;
                continue;
            }
        }
        unsigned char b = data[i];
        if (b == 0) {
            w.put(0, 0);
        } else if (table.asciiPassThrough && b <= 0x7F) {
            w.put(b, 0);
        } else {
            table.lookup(data + i, 1, value, &valueLen);
            if (valueLen > 0) {
                for (int k = 0; k < valueLen; ++k)
                    w.put(value[k]);
            } else {
                ok = false; // a byte that starts no character: dropped, scan goes on after it
            }
        }
        ++i;
    }
    return ok;
}

bool EncodingConvert::utf16ToCodePage(const HashConvert* table, const unsigned char* data,
                                      unsigned size, DataBuffer& out) {
    if (!table) return false;
    if (!data || size == 0) return true;
    if (size == 1) return false;
    bool ok = true;
    BlockWriter w(out);
    unsigned char value[256];
    int valueLen = 0;
    // U+EFFD is converted like any other unit. It is not read as a marker announcing raw bytes
    // to be copied unconverted: no part of the system writes such markers, and honouring one
    // would let text smuggle arbitrary bytes past the table.
    for (unsigned i = 0; i + 2 <= size; i += 2) {
        unsigned char lo = data[i], hi = data[i + 1];
        if (table->asciiPassThrough && hi == 0 && lo < 0x80) {
            w.put(lo);
            continue;
        }
        table->lookup(data + i, 2, value, &valueLen);
        if (valueLen > 0) {
            for (int k = 0; k < valueLen; ++k)
                w.put(value[k]);
        } else if (lo == 0 && hi == 0) {
            w.put(0);
        } else {
            ok = false; // no such character in the code page: dropped
        }
    }
    return ok;
}

// ---------------------------------------------------------------------------------------------
// UTF loops

bool EncodingConvert::utf8ToUtf16(const EncodingBase& coder, const unsigned char* data,
                                  unsigned size, DataBuffer& out) {
    if (!data || size == 0) return true;
    ConvertState state;
    BlockWriter w(out);
    unsigned i = 0;
    while (i < size) {
        unsigned short unit = 0;
        int remaining = static_cast<int>(std::min<unsigned>(size - i, 0x7FFFFFFFu));
        int used = coder.decodeChar(state, data + i, remaining, &unit);
        if (used > 0) {
            w.put(static_cast<unsigned char>(unit & 0xFF), static_cast<unsigned char>(unit >> 8));
            i += static_cast<unsigned>(used);
        } else {
            ++i; // invalid or cut off: drop one byte and go on
        }
    }
    return true;
}

bool EncodingConvert::utf16ToUtf8(const EncodingBase& coder, const unsigned char* data,
                                  unsigned size, DataBuffer& out) {
    if (!data || size == 0) return true;
    if (size == 1) return false;
    ConvertState state;
    for (unsigned i = 0; i + 2 <= size; i += 2) {
        unsigned short unit = static_cast<unsigned short>(data[i] | (data[i + 1] << 8));
        if (unit == 0) continue; // U+0000 does not go into 8-bit text
        coder.encodeChar(state, unit, out);
    }
    return (size & 1) == 0;
}

bool EncodingConvert::utf8ToUtf8(const EncodingBase& decoder, const EncodingBase& encoder,
                                 const unsigned char* data, unsigned size, DataBuffer& out) {
    if (!data || size == 0) return true;
    ConvertState state;
    unsigned i = 0;
    while (i < size) {
        unsigned short unit = 0;
        int remaining = static_cast<int>(std::min<unsigned>(size - i, 0x7FFFFFFFu));
        int used = decoder.decodeChar(state, data + i, remaining, &unit);
        if (used > 0) {
            encoder.encodeChar(state, unit, out);
            i += static_cast<unsigned>(used);
        } else {
            ++i;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Rewrites

void EncodingConvert::rewriteMacArabic(unsigned char* data, unsigned size) {
    if (!data) return;
    // A run of right-to-left bytes is stored in visual order; put it back in logical order. The
    // run test reads each byte before it is folded, and a reversal moves folded bytes.
    bool inRun = false;
    unsigned runStart = 0;
    for (unsigned i = 0; i < size; ++i) {
        bool rtl = isMacArabicRightToLeft(data[i]);
        if (!inRun) {
            if (rtl) {
                inRun = true;
                runStart = i;
            }
        } else if (!rtl) {
            if (i - runStart >= 2) std::reverse(data + runStart, data + i);
            inRun = false;
        }
        data[i] = foldMacArabicByte(data[i]);
    }
    if (inRun && size - runStart >= 2) std::reverse(data + runStart, data + size);
}

void EncodingConvert::foldArabicIndicDigits(unsigned char* data, unsigned size) {
    if (!data) return;
    for (unsigned i = 0; i + 2 <= size; i += 2) {
        unsigned unit = data[i] | (data[i + 1] << 8);
        if ((unit >= 0x0660 && unit <= 0x0669) || (unit >= 0x06F0 && unit <= 0x06F9)) {
            data[i] = static_cast<unsigned char>('0' + (unit & 0x0F));
            data[i + 1] = 0;
        }
    }
}
