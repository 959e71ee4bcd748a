#pragma once
// Shared by the encoding and table tests: byte strings from case-file fields and hex, conversions
// into a vector, map lookups, and the expected mappings under tests/encoding/tables/data.
#include "encoding/EncodingConvert.h"
#include "encoding/tables/HashConvert.h"
#include "platform/TempDir.h"
#include "text/DataBuffer.h"

#include <bzlib.h>

#include <cctype>
#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace enctest {

using Bytes = std::vector<unsigned char>;

// "C3 A9", "c3a9" or "-" (empty); anything but hex digits is ignored.
inline Bytes hex(const std::string& text) {
    std::string digits;
    for (char c : text)
        if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
    Bytes out;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

// A field of a case file, escapes resolved (testfs::unescape).
inline Bytes bytes(const std::string& field) {
    const std::string s = testfs::unescape(field);
    return Bytes(s.begin(), s.end());
}

inline std::string show(const Bytes& b) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (unsigned char c : b)
        s += {' ', digits[c >> 4], digits[c & 15]};
    return s.empty() ? "(empty)" : s.substr(1);
}

inline Bytes bytesOf(const DataBuffer& db) {
    return db.getData() ? Bytes(db.getData(), db.getData() + db.getSize()) : Bytes();
}

inline void fill(DataBuffer& db, const Bytes& b) {
    db.clear();
    if (!b.empty()) db.append(b.data(), static_cast<unsigned>(b.size()));
}

// EncodingConvert::convert into a fresh buffer.
inline Bytes convert(int from, int to, const Bytes& in) {
    DataBuffer out;
    EncodingConvert().convert(from, to, in.empty() ? nullptr : in.data(),
                              static_cast<unsigned>(in.size()), out);
    return bytesOf(out);
}

// The value a map holds for a key as a number, or -1; two bytes are read first byte high, or for
// a UTF-16 value (which the maps hold little-endian) first byte low.
inline long valueOf(const HashConvert& map, const Bytes& key, bool utf16 = false) {
    unsigned char v[255];
    int len = 0;
    map.lookup(key.data(), static_cast<int>(key.size()), v, &len);
    return len == 0 ? -1 : len == 1 ? v[0] : utf16 ? v[1] << 8 | v[0] : v[0] << 8 | v[1];
}
inline Bytes le(unsigned unit) {
    return {static_cast<unsigned char>(unit & 0xFF), static_cast<unsigned char>(unit >> 8)};
}

// The code pages that carry tables, as charset_table.tsv lists them.
inline const std::vector<int>& allCodePages() {
    static const std::vector<int> list = [] {
        std::vector<int> pages;
        for (const auto& row : testfs::caseRows("encoding/data/charset_table.tsv"))
            if (row.size() == 4 && row[2] == "table") pages.push_back(std::stoi(row[0]));
        return pages;
    }();
    return list;
}

struct Expected {
    std::map<std::string, std::string> header;     // "cp", "kind" (single, double), "ascii" (0, 1)
    std::map<unsigned, unsigned> forward, reverse; // code to unit, unit to code
};

// Reads the generated cpNNNN.txt, or the bzip2 stream of cpNNNN.txt.bz2: a header and lines
// "K code unit" where K is M (both ways), F (forward only), W (reverse only) or D (a dropped
// repeat). A file that cannot be read gives no header.
inline Expected loadExpected(int codePage) {
    Expected e;
    const std::string base = std::string(QX_TEST_DATA_DIR) + "/encoding/tables/data/cp" +
                             std::to_string(codePage) + ".txt";
    std::string text = testfs::contentsOf(base);
    if (text == "<cannot read>") {
        text = testfs::contentsOf(base + ".bz2");
        std::vector<char> buf(1u << 22); // the largest expected mapping is under 300 kB
        unsigned len = static_cast<unsigned>(buf.size());
        const bool ok =
            BZ2_bzBuffToBuffDecompress(buf.data(), &len, &text[0],
                                       static_cast<unsigned>(text.size()), 0, 0) == BZ_OK;
        text.assign(buf.data(), ok ? len : 0);
    }
    std::istringstream in(text);
    for (std::string line, word, a, b; std::getline(in, line);) {
        std::istringstream(line) >> word >> a >> b;
        if (word.size() != 1 || word == "#") {
            e.header[word] = a;
            continue;
        }
        const unsigned code = std::stoul(a, nullptr, 16), unit = std::stoul(b, nullptr, 16);
        if (word == "M" || word == "F") e.forward.emplace(code, unit);
        if (word == "M" || word == "W") e.reverse.emplace(unit, code);
    }
    return e;
}

} // namespace enctest
