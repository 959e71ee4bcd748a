#pragma once
// Shared by the encoding and table tests: hex byte strings, conversions into a vector, the readers
// of the files under tests/encoding/data and tests/encoding/tables/data, and table texts made here
// (an independent base64 encoder and the tagged bzip2 wrapper).
#include "encoding/EncodingConvert.h"
#include "encoding/tables/HashConvert.h"
#include "platform/Platform.h"
#include "text/DataBuffer.h"

#include <bzlib.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace enctest {

using Bytes = std::vector<unsigned char>;
using Entries = std::vector<std::pair<unsigned, unsigned>>;

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

inline std::string show(const Bytes& b) {
    std::string s;
    char buf[4];
    for (size_t i = 0; i < b.size(); ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", b[i]);
        s += buf;
    }
    return s.empty() ? "(empty)" : s;
}

inline Bytes bytesOf(const DataBuffer& db) {
    return db.getData() ? Bytes(db.getData(), db.getData() + db.getSize()) : Bytes();
}

inline void fill(DataBuffer& db, const Bytes& b) {
    db.clear();
    if (!b.empty()) db.append(b.data(), static_cast<unsigned>(b.size()));
}

// Runs f(in, out) on DataBuffers holding the input and receiving the output.
inline Bytes onBuffers(bool (*f)(const DataBuffer&, DataBuffer&), const Bytes& in,
                       bool* ok = nullptr) {
    DataBuffer src, out;
    fill(src, in);
    const bool r = f(src, out);
    if (ok) *ok = r;
    return bytesOf(out);
}

// EncodingConvert::convert into a fresh buffer.
inline Bytes convert(int from, int to, const Bytes& in, bool* ok = nullptr) {
    DataBuffer out;
    const bool r = EncodingConvert().convert(from, to, in.empty() ? nullptr : in.data(),
                                             static_cast<unsigned>(in.size()), out);
    if (ok) *ok = r;
    return bytesOf(out);
}

// One field of a data file: hex bytes, "-" for none, or "quoted text" with \t \r \n \" \\ \xHH
// (\x20 for a blank).
inline Bytes field(const std::string& f) {
    if (f.empty() || f[0] != '"') return hex(f);
    Bytes b;
    for (size_t i = 1; i + 1 < f.size(); ++i) {
        char c = f[i];
        if (c == '\\' && i + 2 < f.size()) {
            c = f[++i];
            if (c == 'x')
                b.push_back(hex(f.substr(i + 1, 2))[0]), i += 2;
            else
                b.push_back(c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c);
        } else {
            b.push_back(static_cast<unsigned char>(c));
        }
    }
    return b;
}

struct Record {
    std::vector<std::string> words; // the tag, then the fields as written
    std::vector<Bytes> fields;      // the fields after the tag
    int line = 0;
};

inline std::string dataPath(const char* name) {
    return std::string(QX_TEST_DATA_DIR) + "/encoding/data/" + name;
}

// The records of one data file: words separated by blanks, "#" starting a comment.
inline std::vector<Record> readVectors(const char* name) {
    std::vector<Record> records;
    std::ifstream in(dataPath(name), std::ios::binary);
    std::string line;
    for (int lineNo = 1; std::getline(in, line); ++lineNo) {
        Record r;
        r.line = lineNo;
        std::istringstream words(line);
        for (std::string w; words >> w && w[0] != '#';) {
            r.words.push_back(w);
            if (r.words.size() > 1) r.fields.push_back(field(w));
        }
        if (!r.words.empty()) records.push_back(r);
    }
    return records;
}

// Restores the system ANSI code page when a test that overrode it ends.
struct AnsiCodePageOverride {
    explicit AnsiCodePageOverride(int cp) { platform::setAnsiCodePageOverride(cp); }
    ~AnsiCodePageOverride() { platform::setAnsiCodePageOverride(0); }
};

// ---- table texts ----

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

// Tag, size (the raw size unless stated) and one bzip2 stream, as the embedded tables hold them.
inline Bytes taggedBzip2(const Bytes& raw, int64_t statedSize = -1) {
    unsigned cap = static_cast<unsigned>(raw.size() + raw.size() / 100 + 700);
    std::vector<char> packed(cap), src(raw.begin(), raw.end());
    src.push_back(0); // never a null pointer, also for an empty stream
    BZ2_bzBuffToBuffCompress(packed.data(), &cap, src.data(), static_cast<unsigned>(raw.size()), 9,
                             0, 0);
    Bytes out;
    for (uint32_t word : {0xB394A7E1u, uint32_t(statedSize < 0 ? raw.size() : statedSize)})
        putLe16(out, word & 0xFFFF), putLe16(out, word >> 16);
    out.insert(out.end(), packed.begin(), packed.begin() + cap);
    return out;
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

// ---- expected mappings (tests/encoding/tables/data, written by tools/gen_codepages) ----

// The code pages that carry tables, as charset_table.tsv lists them.
inline const std::vector<int>& allCodePages() {
    static const std::vector<int> list = [] {
        std::vector<int> pages;
        for (const Record& row : readVectors("charset_table.tsv"))
            if (row.words.size() > 2 && row.words[2] == "table")
                pages.push_back(std::stoi(row.words[0]));
        return pages;
    }();
    return list;
}

struct Expected {
    bool doubleByte = false, ascii = false;
    std::map<unsigned, unsigned> forward, reverse; // code to unit, unit to code
    std::string error;                             // set when the file is missing or not understood
};

// Reads cpNNNN.txt or cpNNNN.txt.bz2: a header ("cp", "kind", "ascii") and lines "K code unit"
// where K is M (both ways), F (forward only), W (reverse only) or D (a dropped repeat).
inline Expected loadExpected(int codePage) {
    Expected e;
    const std::string base = std::string(QX_TEST_DATA_DIR) + "/encoding/tables/data/cp" +
                             std::to_string(codePage) + ".txt";
    std::ifstream plain(base, std::ios::binary), packed(base + ".bz2", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(plain ? plain : packed)),
                     std::istreambuf_iterator<char>());
    if (!plain) {
        std::vector<char> buf(1u << 22); // the largest expected mapping is under 300 kB
        unsigned len = static_cast<unsigned>(buf.size());
        const bool ok =
            BZ2_bzBuffToBuffDecompress(buf.data(), &len, &text[0],
                                       static_cast<unsigned>(text.size()), 0, 0) == BZ_OK;
        text.assign(buf.data(), ok ? len : 0);
    }
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

} // namespace enctest
