// Compares the forward tables with the platform's own MultiByteToWideChar, code page by code page,
// wherever the platform has the code page. Differences are allowed only where they are meant: the
// telling rows, and the repeats that the double-byte tables drop (a character that several codes
// map to keeps one code). Every allowed difference is listed in the test output.
#ifdef _WIN32
#include "encoding/tables/TableStore.h"
#include "encoding/tables/TableTestUtil.h"
#include "encoding/tables/UnicodeLookup.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using namespace tabletest;

// The platform's mapping of one byte sequence: the unit, or 0 when it has none. The strict call
// refuses private-use results, which the plain call then gives.
unsigned platformUnit(int cp, const unsigned char* bytes, int n) {
    WCHAR w[4];
    const char* in = reinterpret_cast<const char*>(bytes);
    if (MultiByteToWideChar(static_cast<UINT>(cp), MB_ERR_INVALID_CHARS, in, n, w, 4) == 1)
        return w[0];
    int got = MultiByteToWideChar(static_cast<UINT>(cp), 0, in, n, w, 4);
    return got == 1 && w[0] >= 0xE000 && w[0] <= 0xF8FF ? w[0] : 0;
}

unsigned tableUnit(int cp, const Bytes& key) {
    if (TableStore::kindOf(cp) == TableStore::kSingleByte)
        return key.size() == 1 ? TableStore::forwardSingleByte(cp)->table[key[0]] : 0;
    const HashConvert* map = TableStore::forwardDoubleByte(cp);
    if (key.size() == 1 && map->asciiPassThrough && key[0] < 0x80) return key[0];
    long unit = unitOf(*map, key);
    return unit < 0 ? 0 : static_cast<unsigned>(unit);
}

// The code that the table's reverse direction gives for a unit, or -1.
long tableCodeOf(int cp, unsigned unit) {
    const HashConvert* rev = TableStore::reverse(cp);
    return rev->asciiPassThrough && unit < 0x80 ? unit : valueOf(*rev, le(unit));
}

// The telling rows that differ from the platform tables this test has been run against.
bool isTellingRow(int cp, unsigned code, unsigned tableUnit) {
    if (cp == 20127) return code >= 0x80 && tableUnit == 0;
    if (cp == 28597) return code == 0x80 && tableUnit == 0;
    return cp >= 28591 && cp <= 28599 && code == 0x80 && tableUnit == 0x20AC;
}

TEST(TablePlatform, ForwardTablesMatchThePlatform) {
    int compared = 0;
    std::string unexplained;
    for (int cp : allCodePages()) {
        CPINFO info;
        if (!GetCPInfo(static_cast<UINT>(cp), &info) || !TableStore::hasTable(cp)) continue;
        ++compared;
        bool lead[256] = {};
        for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i]; i += 2)
            for (int b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b)
                lead[b] = true;
        int repeats = 0, telling = 0;
        std::string tellingText;
        for (unsigned code = 1; code < 0x10000; ++code) {
            // Single bytes that are no lead byte, and every pair after a lead byte.
            if (code < 0x100 ? lead[code] : !lead[code >> 8] || (code & 0xFF) == 0) continue;
            const Bytes key = codeBytes(code);
            const unsigned want = platformUnit(cp, key.data(), static_cast<int>(key.size()));
            const unsigned got = tableUnit(cp, key);
            if (got == want) continue;
            char text[96];
            std::snprintf(text, sizeof text, "%X: platform U+%04X, table U+%04X", code, want, got);
            if (isTellingRow(cp, code, got)) {
                if (telling++ < 8) tellingText += std::string(" ") + text;
                continue;
            }
            const long other = want ? tableCodeOf(cp, want) : -1;
            if (got == 0 && other >= 0 && static_cast<unsigned long>(other) != code) {
                ++repeats;
            } else if (unexplained.size() < 2000) {
                unexplained += "\n  cp " + std::to_string(cp) + ": " + text;
            }
        }
        if (repeats || telling)
            std::printf("[ platform ] cp %d: %d dropped repeats, %d telling rows%s\n", cp, repeats,
                        telling, tellingText.c_str());
    }
    std::printf("[ platform ] %d code pages compared\n", compared);
    EXPECT_GT(compared, 0) << "the platform knows none of the code pages";
    EXPECT_TRUE(unexplained.empty())
        << "differences that are neither telling rows nor dropped repeats:" << unexplained;
}

} // namespace
#endif
