// Compares the forward tables with the platform's own MultiByteToWideChar, code page by code page,
// wherever the platform has the code page. Differences are allowed only where they are meant: the
// telling rows, and the repeats that the double-byte tables drop (a character that several codes
// map to keeps one code). Every allowed difference is listed in the test output.
#ifdef _WIN32
#include "encoding/tables/HashConvert.h"
#include "encoding/tables/TableStore.h"
#include "encoding/tables/TableTestUtil.h"
#include "encoding/tables/UnicodeLookup.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

// The platform's mapping of one byte sequence: the unit, or 0 when it has none. The strict call
// refuses private-use results, which the plain call then gives.
unsigned platformUnit(int cp, const unsigned char* bytes, int n) {
    WCHAR w[4];
    int got = MultiByteToWideChar(static_cast<UINT>(cp), MB_ERR_INVALID_CHARS,
                                  reinterpret_cast<const char*>(bytes), n, w, 4);
    if (got == 1) return w[0];
    got = MultiByteToWideChar(static_cast<UINT>(cp), 0, reinterpret_cast<const char*>(bytes), n, w,
                              4);
    if (got == 1 && w[0] >= 0xE000 && w[0] <= 0xF8FF) return w[0];
    return 0;
}

unsigned tableUnit(int cp, const unsigned char* bytes, int n) {
    if (TableStore::kindOf(cp) == TableStore::kSingleByte)
        return n == 1 ? TableStore::forwardSingleByte(cp)->table[bytes[0]] : 0;
    const HashConvert* map = TableStore::forwardDoubleByte(cp);
    if (n == 1 && map->asciiPassThrough && bytes[0] < 0x80) return bytes[0];
    unsigned char v[255];
    int len = 0;
    map->lookup(bytes, n, v, &len);
    return len == 2 ? static_cast<unsigned>(v[0] | v[1] << 8) : 0;
}

// The code that the table's reverse direction gives for a unit, or -1.
long tableCodeOf(int cp, unsigned unit) {
    const HashConvert* rev = TableStore::reverse(cp);
    if (rev->asciiPassThrough && unit < 0x80) return unit;
    unsigned char key[2] = {static_cast<unsigned char>(unit),
                            static_cast<unsigned char>(unit >> 8)};
    unsigned char v[255];
    int len = 0;
    rev->lookup(key, 2, v, &len);
    if (len == 1) return v[0];
    if (len == 2) return v[0] << 8 | v[1];
    return -1;
}

struct Telling {
    int codePage;
    unsigned code;
    unsigned unit; // what the table holds; 0 for unmapped
};

// The telling rows that differ from the platform tables this test has been run against.
std::vector<Telling> tellingRows() {
    std::vector<Telling> rows;
    for (int cp : {28591, 28592, 28593, 28594, 28595, 28596, 28598, 28599})
        rows.push_back({cp, 0x80, 0x20AC});
    rows.push_back({28597, 0x80, 0});
    for (unsigned b = 0x80; b < 0x100; ++b)
        rows.push_back({20127, b, 0});
    return rows;
}

TEST(TablePlatform, ForwardTablesMatchThePlatform) {
    const std::vector<Telling> telling = tellingRows();
    int compared = 0;
    std::string unexplained;
    for (int cp : tabletest::allCodePages()) {
        CPINFO info;
        if (!GetCPInfo(static_cast<UINT>(cp), &info)) continue;
        if (TableStore::kindOf(cp) == TableStore::kNone) continue;
        ++compared;
        bool lead[256] = {};
        for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i]; i += 2)
            for (int b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b)
                lead[b] = true;
        int repeats = 0, tellingHits = 0;
        std::string tellingText;
        auto check = [&](const unsigned char* bytes, int n) {
            unsigned want = platformUnit(cp, bytes, n);
            unsigned got = tableUnit(cp, bytes, n);
            if (got == want) return;
            unsigned code = n == 1 ? bytes[0] : (bytes[0] << 8 | bytes[1]);
            for (const Telling& t : telling) {
                if (t.codePage == cp && t.code == code && t.unit == got) {
                    ++tellingHits;
                    if (tellingText.size() < 200) {
                        char buf[48];
                        std::snprintf(buf, sizeof buf, " %X:%04X->%04X", code, want, got);
                        tellingText += buf;
                    }
                    return;
                }
            }
            long other = want ? tableCodeOf(cp, want) : -1;
            if (got == 0 && other >= 0 && static_cast<unsigned long>(other) != code) {
                ++repeats;
                return;
            }
            if (unexplained.size() < 2000) {
                char buf[96];
                std::snprintf(buf, sizeof buf, "\n  cp %d: %X platform U+%04X, table U+%04X", cp,
                              code, want, got);
                unexplained += buf;
            }
        };
        for (int b = 1; b < 256; ++b) {
            unsigned char bytes[2] = {static_cast<unsigned char>(b), 0};
            if (!lead[b]) {
                check(bytes, 1);
                continue;
            }
            for (int t = 1; t < 256; ++t) {
                bytes[1] = static_cast<unsigned char>(t);
                check(bytes, 2);
            }
        }
        if (repeats || tellingHits)
            std::printf("[ platform ] cp %d: %d dropped repeats, %d telling rows%s\n", cp, repeats,
                        tellingHits, tellingText.c_str());
    }
    std::printf("[ platform ] %d code pages compared\n", compared);
    EXPECT_GT(compared, 0) << "the platform knows none of the code pages";
    EXPECT_TRUE(unexplained.empty()) << "differences that are neither telling rows nor dropped "
                                        "repeats:"
                                     << unexplained;
}

} // namespace
#endif
