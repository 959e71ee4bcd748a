#pragma once
// Helpers for the table tests: an independent base64 encoder, the tagged bzip2 wrapper and a
// builder for table data, so that tests make their own table texts instead of reusing the
// library's.
#include <bzlib.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace tabletest {

using Bytes = std::vector<unsigned char>;

inline std::string base64(const Bytes& in) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 3 <= in.size(); i += 3) {
        uint32_t v = in[i] << 16 | in[i + 1] << 8 | in[i + 2];
        for (int s = 18; s >= 0; s -= 6)
            out += alphabet[(v >> s) & 63];
    }
    if (in.size() - i == 1) {
        uint32_t v = in[i] << 16;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += "==";
    } else if (in.size() - i == 2) {
        uint32_t v = in[i] << 16 | in[i + 1] << 8;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += "=";
    }
    return out;
}

inline void putLe16(Bytes& b, unsigned v) {
    b.push_back(static_cast<unsigned char>(v & 0xFF));
    b.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
}

inline void putLe32(Bytes& b, uint32_t v) {
    putLe16(b, v & 0xFFFF);
    putLe16(b, v >> 16);
}

// Tag, size and one bzip2 stream, as the embedded compressed tables hold them.
inline Bytes taggedBzip2(const Bytes& raw, uint32_t statedSize) {
    unsigned cap = static_cast<unsigned>(raw.size() + raw.size() / 100 + 700);
    std::vector<char> packed(cap);
    std::vector<char> src(raw.begin(), raw.end());
    int rc = BZ2_bzBuffToBuffCompress(packed.data(), &cap, src.empty() ? nullptr : src.data(),
                                      static_cast<unsigned>(src.size()), 9, 0, 0);
    if (rc != BZ_OK) return {};
    Bytes out;
    putLe32(out, 0xB394A7E1u);
    putLe32(out, statedSize);
    out.insert(out.end(), packed.begin(), packed.begin() + cap);
    return out;
}

inline Bytes taggedBzip2(const Bytes& raw) {
    return taggedBzip2(raw, static_cast<uint32_t>(raw.size()));
}

// Table data of a full table from absolute entries (the builder does the delta coding).
inline Bytes fullTable(bool ascii, const std::vector<std::pair<unsigned, unsigned>>& singles,
                       const std::vector<std::pair<unsigned, unsigned>>& doubles) {
    Bytes b{static_cast<unsigned char>(ascii ? 'a' : 'x'), 'u'};
    unsigned byte = 0, unit = 0;
    for (auto& e : singles) {
        b.push_back(static_cast<unsigned char>((e.first - byte) & 0xFF));
        putLe16(b, (e.second - unit) & 0xFFFF);
        byte = e.first;
        unit = e.second;
    }
    b.push_back(0);
    unsigned code = 0;
    unit = 0;
    for (auto& e : doubles) {
        putLe16(b, (e.first - code) & 0xFFFF);
        putLe16(b, (e.second - unit) & 0xFFFF);
        code = e.first;
        unit = e.second;
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

struct ExpectedLine {
    char kind; // M both ways, F forward only, D dropped repeat, W reverse only
    unsigned code;
    unsigned unit;
};

struct Expected {
    int codePage = 0;
    bool doubleByte = false;
    bool ascii = false;
    std::vector<ExpectedLine> lines;
    std::string error; // set when the file is missing or not understood

    // Code to unit in the forward direction and unit to code in the reverse one, as the lines
    // say (ASCII pass-through not included).
    std::map<unsigned, unsigned> forward() const {
        std::map<unsigned, unsigned> m;
        for (const auto& l : lines)
            if (l.kind == 'M' || l.kind == 'F') m.emplace(l.code, l.unit);
        return m;
    }
    std::map<unsigned, unsigned> reverse() const {
        std::map<unsigned, unsigned> m;
        for (const auto& l : lines)
            if (l.kind == 'M' || l.kind == 'W') m.emplace(l.unit, l.code);
        return m;
    }
};

inline bool readFile(const std::string& path, Bytes& out) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

inline bool bunzip(const Bytes& in, std::string& out) {
    std::vector<char> src(in.begin(), in.end());
    for (unsigned cap = 1u << 20; cap <= (1u << 26); cap *= 2) {
        std::vector<char> buf(cap);
        unsigned len = cap;
        int rc = BZ2_bzBuffToBuffDecompress(buf.data(), &len, src.data(),
                                            static_cast<unsigned>(src.size()), 0, 0);
        if (rc == BZ_OK) {
            out.assign(buf.data(), len);
            return true;
        }
        if (rc != BZ_OUTBUFF_FULL) return false;
    }
    return false;
}

// Reads cpNNNN.txt or cpNNNN.txt.bz2; stops at the first line it does not understand.
inline Expected loadExpected(int codePage) {
    Expected e;
    e.codePage = codePage;
    std::string base = std::string(QX_TEST_DATA_DIR) + "/encoding/tables/data/cp" +
                       std::to_string(codePage) + ".txt";
    Bytes raw;
    std::string text;
    if (readFile(base, raw)) {
        text.assign(raw.begin(), raw.end());
    } else if (!readFile(base + ".bz2", raw) || !bunzip(raw, text)) {
        e.error = "cannot read " + base + "[.bz2]";
        return e;
    }
    std::istringstream in(text);
    std::string line;
    bool sawCp = false, sawKind = false, sawAscii = false;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream ls(line);
        std::string word;
        ls >> word;
        if (word == "cp") {
            int cp = 0;
            ls >> cp;
            sawCp = cp == codePage;
        } else if (word == "kind") {
            ls >> word;
            e.doubleByte = word == "double";
            sawKind = word == "double" || word == "single";
        } else if (word == "ascii") {
            int a = -1;
            ls >> a;
            e.ascii = a == 1;
            sawAscii = a == 0 || a == 1;
        } else if (word == "source" || word == "adjusted") {
            continue;
        } else if (word.size() == 1 && std::string("MFDW").find(word[0]) != std::string::npos) {
            std::string code, unit, rest;
            ls >> code >> unit;
            if (code.empty() || unit.size() != 4 || (ls >> rest)) {
                e.error = "bad line: " + line;
                return e;
            }
            ExpectedLine l{word[0], static_cast<unsigned>(std::stoul(code, nullptr, 16)),
                           static_cast<unsigned>(std::stoul(unit, nullptr, 16))};
            e.lines.push_back(l);
        } else {
            e.error = "unknown line: " + line;
            return e;
        }
    }
    if (!sawCp || !sawKind || !sawAscii) e.error = "header incomplete in " + base;
    return e;
}

} // namespace tabletest
