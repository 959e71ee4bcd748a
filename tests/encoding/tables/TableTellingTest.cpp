// The rows that tell the tables apart from other published mappings of the same code pages, each
// converted through the engine in the direction that shows it.
#include "encoding/EncodingConvert.h"
#include "encoding/tables/TableStore.h"
#include "encoding/tables/TableTestUtil.h"
#include "text/DataBuffer.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using namespace tabletest;

// Space-separated hex words: code-page characters ("80", "82A0") or UTF-16 units ("20AC").
Bytes parse(const std::string& words, bool asUnits) {
    Bytes out;
    std::istringstream in(words);
    for (std::string w; in >> w;) {
        const unsigned v = static_cast<unsigned>(std::stoul(w, nullptr, 16));
        const Bytes b = asUnits ? le(v) : codeBytes(v);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

// code page, code page to UTF-16 (else back), input, expected output, expected result
using Row = std::tuple<int, bool, std::string, std::string, bool>;

TEST(TableTelling, RowsConvertAsListed) {
    std::vector<Row> rows = {
        // ISO-8859: nothing at 0x80 in Greek, a C1 control in parts 13 and 15.
        {28591, false, "0080", "", false},
        {28597, true, "80 41", "0041", false},
        {28597, false, "0080", "", false},
        {28603, true, "80", "0080", true},
        {28605, false, "0080", "80", true},
        {28605, true, "A4", "20AC", true},
        // US-ASCII: the no-break space goes out as a blank; nothing above 0x7F comes in.
        {20127, false, "0041 00A0", "41 20", true},
        {20127, true, "E9", "", false},
        {20127, true, "41 80 FF 42", "0041 0042", false},
        {20127, false, "00E9", "", false},
        // Shift_JIS and EUC-JP: single-byte extras; Shift_JIS also the half-width katakana.
        {932, true, "80", "0080", true},
        {932, false, "00A0 00A5", "20 5C", true},
        {932, true, "5C A0 FD FE FF", "005C F8F0 F8F1 F8F2 F8F3", true},
        {932, false, "F8F0 F8F3", "A0 FF", true},
        {932, true, "A1 DF", "FF61 FF9F", true},
        {932, false, "FF61 FF9F", "A1 DF", true},
        {51932, true, "80", "0080", true},
        {51932, true, "A0 FF", "F8F0 F8F3", true},
        {51932, false, "00A0 00A5", "20 5C", true},
        // GB: no-break space, euro, private use at 0xFF and the user-defined area from AA A1.
        {936, false, "00A0 20AC", "20 80", true},
        {936, true, "80 FF AAA1", "20AC F8F5 E000", true},
        {936, false, "E000", "AAA1", true},
        {51936, true, "AAA1 80", "E000 20AC", true},
        // Mac Roman's ohm sign, Mac Arabic's private-use punctuation.
        {10000, true, "BD", "2126", true},
        {10000, false, "2126", "BD", true},
        {10000, false, "03A9", "", false},
        {10004, true, "A0", "F827", true},
        {10004, false, "F827", "A0", true},
        // Johab: initial consonants as conjoining jamo.
        {1361, true, "8841", "1100", true},
        {1361, false, "1100", "8841", true},
        // Mac Japanese: the patch over Shift_JIS.
        {10001, false, "00A5", "", false},
        {10001, false, "00A0 00A9 2116", "A0 FD 869B", true},
        {10001, true, "FE 869B 82A0", "2122 2116 3042", true},
        {10001, false, "2211", "", false},
        {10001, false, "F8F0", "", false},
        // Korean extended Hangul only in 949; EBCDIC without ASCII pass-through.
        {949, true, "8141", "AC02", true},
        {51949, true, "B0A1 8141", "AC00 0041", false},
        {37, true, "C1", "0041", true},
        {37, false, "0041", "C1", true},
    };
    for (int cp : {28591, 28592, 28593, 28594, 28595, 28596, 28598, 28599}) { // the euro at 0x80
        rows.emplace_back(cp, true, "80", "20AC", true);
        rows.emplace_back(cp, false, "20AC", "80", true);
    }
    for (const auto& [cp, toUnicode, in, out, ok] : rows) {
        SCOPED_TRACE(std::to_string(cp) + (toUnicode ? " from " : " to ") + in);
        bool done = false;
        EXPECT_EQ(convert(cp, toUnicode, parse(in, !toUnicode), &done), parse(out, toUnicode));
        EXPECT_EQ(done, ok);
    }
}

// 51932 keys that occur more than once: the first entry serves the forward direction and every
// entry the reverse one. The cent sign and the full-width one both go out as A1 F1, which comes
// back full-width.
TEST(TableTelling, RepeatedKeysFirstEntryForwardEveryEntryReverse) {
    const Bytes out = convert(51932, false, parse("00A2 FFE0", true));
    EXPECT_EQ(out, parse("A1F1 A1F1", false));
    EXPECT_EQ(convert(51932, true, out), parse("FFE0 FFE0", true));
}

} // namespace
