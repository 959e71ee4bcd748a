#pragma once
// Helpers for the table tests: an independent base64 encoder, the tagged bzip2 wrapper and a
// builder for table data, so that tests make their own table texts; and the expected mappings.
#include "encoding/EncodingConvert.h"
#include "encoding/tables/HashConvert.h"
#include "text/DataBuffer.h"

#include <bzlib.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace tabletest {

using Bytes = std::vector<unsigned char>;
using Entries = std::vector<std::pair<unsigned, unsigned>>;

inline std::string base64(const Bytes& in) {
    static const char abc[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < in.size(); i += 3) {
        const size_t n = in.size() - i < 3 ? in.size() - i : 3;
        uint32_t v = in[i] << 16 | (n > 1 ? in[i + 1] << 8 : 0) | (n > 2 ? in[i + 2] : 0);
        for (size_t k = 0; k < 4; ++k)
            out += k <= n ? abc[(v >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

inline void putLe16(Bytes& b, unsigned v) {
    b.push_back(static_cast<unsigned char>(v & 0xFF));
    b.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
}

// Tag, size and one bzip2 stream, as the embedded compressed tables hold them.
inline Bytes taggedBzip2(const Bytes& raw, uint32_t statedSize) {
    unsigned cap = static_cast<unsigned>(raw.size() + raw.size() / 100 + 700);
    std::vector<char> packed(cap), src(raw.begin(), raw.end());
    src.push_back(0); // never a null pointer, also for an empty stream
    BZ2_bzBuffToBuffCompress(packed.data(), &cap, src.data(), static_cast<unsigned>(raw.size()), 9,
                             0, 0);
    Bytes out;
    for (uint32_t word : {0xB394A7E1u, statedSize}) {
        putLe16(out, word & 0xFFFF);
        putLe16(out, word >> 16);
    }
    out.insert(out.end(), packed.begin(), packed.begin() + cap);
    return out;
}
inline Bytes taggedBzip2(const Bytes& raw) {
    return taggedBzip2(raw, static_cast<uint32_t>(raw.size()));
}

// Table data of a full table from absolute entries (the builder does the delta coding).
inline Bytes fullTable(bool ascii, const Entries& singles, const Entries& doubles) {
    Bytes b{static_cast<unsigned char>(ascii ? 'a' : 'x'), 'u'};
    unsigned code = 0, unit = 0;
    for (auto& [byte, u] : singles) {
        b.push_back(static_cast<unsigned char>((byte - code) & 0xFF));
        putLe16(b, (u - unit) & 0xFFFF);
        code = byte;
        unit = u;
    }
    b.push_back(0);
    code = unit = 0;
    for (auto& [c, u] : doubles) {
        putLe16(b, (c - code) & 0xFFFF);
        putLe16(b, (u - unit) & 0xFFFF);
        code = c;
        unit = u;
    }
    putLe16(b, 0);
    return b;
}

inline std::string storedText(const Bytes& data) {
    return "x" + base64(data);
}
inline std::string compressedText(const Bytes& data) {
    return "c" + base64(taggedBzip2(data));
}

// The value a map holds for a key as a number (two bytes read first byte high), or -1.
inline long valueOf(const HashConvert& map, const Bytes& key) {
    unsigned char v[255];
    int len = 0;
    map.lookup(key.data(), static_cast<int>(key.size()), v, &len);
    return len == 0 ? -1 : len == 1 ? v[0] : v[0] << 8 | v[1];
}
// The same for a UTF-16 value, which the maps hold little-endian.
inline long unitOf(const HashConvert& map, const Bytes& key) {
    long v = valueOf(map, key);
    return v < 0 ? v : ((v & 0xFF) << 8 | v >> 8);
}
inline Bytes le(unsigned unit) {
    return {static_cast<unsigned char>(unit & 0xFF), static_cast<unsigned char>(unit >> 8)};
}
// A code-page character: one byte below 0x100, else lead byte first.
inline Bytes codeBytes(unsigned code) {
    return code < 0x100
               ? Bytes{static_cast<unsigned char>(code)}
               : Bytes{static_cast<unsigned char>(code >> 8), static_cast<unsigned char>(code)};
}

// Converts through the engine, code page to UTF-16 or back; *ok receives the result.
inline Bytes convert(int cp, bool toUnicode, const Bytes& in, bool* ok = nullptr) {
    EncodingConvert ec;
    DataBuffer out;
    const unsigned n = static_cast<unsigned>(in.size());
    const bool done =
        toUnicode ? ec.toUtf16(cp, in.data(), n, out) : ec.fromUtf16(cp, in.data(), n, out);
    if (ok) *ok = done;
    return Bytes(out.getData(), out.getData() + out.getSize());
}

// ---- expected mappings (tests/encoding/tables/data, written by tools/gen_codepages) -------------

// The 103 code pages that carry tables.
inline const std::vector<int>& allCodePages() {
    static const std::vector<int> list = {
        37,    437,   500,   708,   720,   737,   775,   850,   852,   855,   857,   858,   860,
        861,   862,   863,   864,   865,   866,   869,   870,   874,   875,   932,   936,   949,
        950,   1026,  1047,  1140,  1141,  1142,  1143,  1144,  1145,  1146,  1147,  1148,  1149,
        1250,  1251,  1252,  1253,  1254,  1255,  1256,  1257,  1258,  1361,  10000, 10001, 10004,
        10005, 10006, 10007, 10010, 10017, 10021, 10029, 10079, 10081, 10082, 20105, 20106, 20107,
        20108, 20127, 20261, 20269, 20273, 20277, 20278, 20280, 20284, 20285, 20290, 20297, 20420,
        20423, 20424, 20838, 20866, 20871, 20880, 20905, 20924, 21025, 21866, 28591, 28592, 28593,
        28594, 28595, 28596, 28597, 28598, 28599, 28603, 28605, 38598, 51932, 51936, 51949};
    return list;
}

struct Expected {
    bool doubleByte = false, ascii = false;
    std::map<unsigned, unsigned> forward, reverse; // code to unit, unit to code
    std::string error;                             // set when the file is missing or not understood
};

inline bool bunzip(const std::string& in, std::string& out) {
    std::vector<char> src(in.begin(), in.end());
    for (unsigned cap = 1u << 20; cap <= (1u << 26); cap *= 2) {
        std::vector<char> buf(cap);
        unsigned len = cap;
        int rc = BZ2_bzBuffToBuffDecompress(buf.data(), &len, src.data(),
                                            static_cast<unsigned>(src.size()), 0, 0);
        if (rc == BZ_OK) out.assign(buf.data(), len);
        if (rc != BZ_OUTBUFF_FULL) return rc == BZ_OK;
    }
    return false;
}

// Reads cpNNNN.txt or cpNNNN.txt.bz2: comments, a header ("cp", "kind", "ascii", "source") and
// lines "K code unit" where K is M (both ways), F (forward only), W (reverse only) or D (a dropped
// repeat).
inline Expected loadExpected(int codePage) {
    Expected e;
    const std::string base = std::string(QX_TEST_DATA_DIR) + "/encoding/tables/data/cp" +
                             std::to_string(codePage) + ".txt";
    std::ifstream plain(base, std::ios::binary), packed(base + ".bz2", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(plain ? plain : packed)),
                     std::istreambuf_iterator<char>());
    if (!plain && !bunzip(std::string(text), text)) text.clear();
    std::istringstream in(text);
    std::map<std::string, std::string> header;
    for (std::string line, word, a, b; std::getline(in, line);) {
        std::istringstream(line) >> word >> a >> b;
        if (word.size() != 1 || word == "#") {
            header[word] = a;
            continue;
        }
        const unsigned code = std::stoul(a, nullptr, 16), unit = std::stoul(b, nullptr, 16);
        if (word == "M" || word == "F") e.forward.emplace(code, unit);
        if (word == "M" || word == "W") e.reverse.emplace(unit, code);
    }
    e.doubleByte = header["kind"] == "double";
    e.ascii = header["ascii"] == "1";
    if (header["cp"] != std::to_string(codePage) || !header.count("kind") || !header.count("ascii"))
        e.error = "missing or incomplete " + base + "[.bz2]";
    return e;
}

} // namespace tabletest
