#pragma once
// Helpers shared by the encoding tests: hex byte strings, running a converter into a vector, and
// the reader of the reference vectors under tests/encoding/data (written by
// tools/gen_encoding_vectors.py from Python's codecs and iconv).
#include "encoding/EncodingConvert.h"
#include "platform/Platform.h"
#include "text/DataBuffer.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace enctest {

using Bytes = std::vector<unsigned char>;

// One table row: input and expected output as hex ("-" for empty), and the expected result.
struct Io {
    const char* in;
    const char* out;
    bool ok = true;
};

// "C3 A9", "c3a9" or "-" (empty); blanks are ignored.
inline Bytes hex(const std::string& text) {
    Bytes out;
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == '-') continue;
        int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<unsigned char>(high << 4 | v));
            high = -1;
        }
    }
    return out;
}

inline Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
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
inline std::string showHex(const char* h) {
    return show(hex(h));
}

inline Bytes bytesOf(const DataBuffer& db) {
    if (!db.getData()) return {};
    return Bytes(db.getData(), db.getData() + db.getSize());
}

inline void fill(DataBuffer& db, const Bytes& b) {
    db.clear();
    if (!b.empty()) db.append(b.data(), static_cast<unsigned>(b.size()));
}

// Runs f(data, size, out) on the input (null data when empty) and returns what it appended.
template <class F> Bytes apply(const Bytes& in, F f, bool* ok = nullptr) {
    DataBuffer out;
    bool r = f(in.empty() ? nullptr : in.data(), static_cast<unsigned>(in.size()), out);
    if (ok) *ok = r;
    return bytesOf(out);
}

// Expects f, run on the hex input, to append the hex output and return ok.
template <class F> void expectIo(const Io& c, F f) {
    bool ok = !c.ok;
    EXPECT_EQ(show(apply(hex(c.in), f, &ok)), showHex(c.out)) << c.in;
    EXPECT_EQ(ok, c.ok) << c.in;
}

// Runs f(in, out) on DataBuffers holding the input and receiving the output.
inline Bytes onBuffers(bool (*f)(const DataBuffer&, DataBuffer&), const Bytes& in,
                       bool* ok = nullptr) {
    DataBuffer src, out;
    fill(src, in);
    bool r = f(src, out);
    if (ok) *ok = r;
    return bytesOf(out);
}

// EncodingConvert::convert into a fresh buffer.
inline Bytes convert(int from, int to, const Bytes& in, bool* ok = nullptr) {
    return apply(
        in,
        [&](const unsigned char* p, unsigned n, DataBuffer& out) {
            return EncodingConvert().convert(from, to, p, n, out);
        },
        ok);
}

// UTF-16LE bytes of a UTF-16 string literal.
inline Bytes utf16le(const std::u16string& s) {
    Bytes b;
    for (char16_t c : s) {
        b.push_back(static_cast<unsigned char>(c & 0xFF));
        b.push_back(static_cast<unsigned char>(c >> 8));
    }
    return b;
}

struct Record {
    std::string tag;
    std::vector<Bytes> fields;
    int line = 0;
};

inline std::string dataPath(const char* name) {
    return std::string(QX_TEST_DATA_DIR) + "/encoding/data/" + name;
}

// The records of one vector file ('#' starts a comment line); empty when it cannot be read.
inline std::vector<Record> readVectors(const char* name) {
    std::vector<Record> records;
    std::ifstream in(dataPath(name), std::ios::binary);
    std::string line, f;
    for (int lineNo = 1; std::getline(in, line); ++lineNo) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Record r;
        r.line = lineNo;
        fields >> r.tag;
        while (fields >> f)
            r.fields.push_back(hex(f));
        records.push_back(r);
    }
    return records;
}

// Restores the system ANSI code page when a test that overrode it ends.
struct AnsiCodePageOverride {
    explicit AnsiCodePageOverride(int cp) { platform::setAnsiCodePageOverride(cp); }
    ~AnsiCodePageOverride() { platform::setAnsiCodePageOverride(0); }
    void set(int cp) { platform::setAnsiCodePageOverride(cp); }
};

} // namespace enctest
