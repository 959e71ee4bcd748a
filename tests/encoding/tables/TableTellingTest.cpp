// The rows that tell the tables apart from other published mappings of the same code pages, each
// converted through the engine in the direction that shows it.
#include "encoding/EncodingConvert.h"
#include "encoding/tables/HashConvert.h"
#include "encoding/tables/TableStore.h"
#include "encoding/tables/UnicodeLookup.h"
#include "text/DataBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes hex(const std::string& s) {
    Bytes out;
    for (size_t i = 0; i + 1 < s.size();) {
        if (s[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<unsigned char>(std::stoul(s.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}

// UTF-16LE bytes of a list of units given as "20AC 0041".
Bytes units(const std::string& s) {
    Bytes out;
    for (size_t i = 0; i < s.size(); i += 5) {
        unsigned u = static_cast<unsigned>(std::stoul(s.substr(i, 4), nullptr, 16));
        out.push_back(static_cast<unsigned char>(u));
        out.push_back(static_cast<unsigned char>(u >> 8));
    }
    return out;
}

struct TellingCase {
    const char* name;
    int codePage;
    bool toUnicode;  // code page to UTF-16, else UTF-16 to code page
    const char* in;  // hex bytes, or units "XXXX XXXX" from UTF-16
    const char* out; // expected hex bytes, or units to UTF-16; "" for nothing
    bool ok;         // expected result flag
};

class TableTelling : public ::testing::TestWithParam<TellingCase> {};

TEST_P(TableTelling, Converts) {
    const TellingCase& c = GetParam();
    if (TableStore::kindOf(c.codePage) == TableStore::kNone)
        GTEST_SKIP() << "no table data for " << c.codePage;
    Bytes in = c.toUnicode ? hex(c.in) : units(c.in);
    Bytes want = c.toUnicode ? units(c.out) : hex(c.out);
    EncodingConvert ec;
    DataBuffer out;
    bool ok = c.toUnicode
                  ? ec.toUtf16(c.codePage, in.data(), static_cast<unsigned>(in.size()), out)
                  : ec.fromUtf16(c.codePage, in.data(), static_cast<unsigned>(in.size()), out);
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(Bytes(out.getData(), out.getData() + out.getSize()), want);
}

const TellingCase kTellingCases[] = {
    // ISO-8859: the euro sign at 0x80 in most parts, nothing in Greek, a C1 control in 13 and 15.
    {"Latin1EuroIn", 28591, true, "80", "20AC", true},
    {"Latin1EuroOut", 28591, false, "20AC", "80", true},
    {"Latin2EuroIn", 28592, true, "80", "20AC", true},
    {"Latin3EuroIn", 28593, true, "80", "20AC", true},
    {"Latin4EuroIn", 28594, true, "80", "20AC", true},
    {"CyrillicEuroIn", 28595, true, "80", "20AC", true},
    {"ArabicEuroOut", 28596, false, "20AC", "80", true},
    {"HebrewEuroIn", 28598, true, "80", "20AC", true},
    {"Latin5EuroOut", 28599, false, "20AC", "80", true},
    {"Latin1C1ControlOut", 28591, false, "0080", "", false},
    {"GreekNothingAt80", 28597, true, "80 41", "0041", false},
    {"GreekControlOut", 28597, false, "0080", "", false},
    {"Latin7ControlAt80", 28603, true, "80", "0080", true},
    {"Latin9ControlAt80", 28605, false, "0080", "80", true},
    {"Latin9EuroAtA4", 28605, true, "A4", "20AC", true},
    // US-ASCII: the no-break space goes out as a blank; nothing above 0x7F comes in.
    {"AsciiNoBreakSpaceOut", 20127, false, "0041 00A0", "41 20", true},
    {"AsciiHighByteIn", 20127, true, "E9", "", false},
    {"AsciiHighBytesDropped", 20127, true, "41 80 FF 42", "0041 0042", false},
    {"AsciiLatinLetterOut", 20127, false, "00E9", "", false},
    // Shift_JIS: single-byte extras and the half-width katakana.
    {"SjisControlAt80", 932, true, "80", "0080", true},
    {"SjisNoBreakSpaceOut", 932, false, "00A0", "20", true},
    {"SjisYenOut", 932, false, "00A5", "5C", true},
    {"SjisBackslashIn", 932, true, "5C", "005C", true},
    {"SjisPrivateA0", 932, true, "A0 FD FE FF", "F8F0 F8F1 F8F2 F8F3", true},
    {"SjisPrivateOut", 932, false, "F8F0 F8F3", "A0 FF", true},
    {"SjisKatakanaFirst", 932, true, "A1", "FF61", true},
    {"SjisKatakanaLast", 932, false, "FF9F", "DF", true},
    {"SjisHiraganaA", 932, true, "82 A0", "3042", true},
    {"SjisLoneLeadByte", 932, true, "82", "", false},
    // EUC-JP carries the same single-byte extras.
    {"EucJpControlAt80", 51932, true, "80", "0080", true},
    {"EucJpNoBreakSpaceOut", 51932, false, "00A0", "20", true},
    {"EucJpYenOut", 51932, false, "00A5", "5C", true},
    {"EucJpPrivate", 51932, true, "A0 FF", "F8F0 F8F3", true},
    {"EucJpHiraganaA", 51932, true, "A4 A2", "3042", true},
    {"EucJpHalfWidthKatakana", 51932, true, "8E B1", "FF71", true},
    // GB: no-break space, euro, private use at 0xFF and the user-defined area from AA A1.
    {"GbNoBreakSpaceOut", 936, false, "00A0", "20", true},
    {"GbEuroIn", 936, true, "80", "20AC", true},
    {"GbEuroOut", 936, false, "20AC", "80", true},
    {"GbPrivateFF", 936, true, "FF", "F8F5", true},
    {"GbUserDefinedFirst", 936, true, "AA A1", "E000", true},
    {"GbUserDefinedOut", 936, false, "E000", "AA A1", true},
    {"EucCnSharesGb", 51936, true, "AA A1 80", "E000 20AC", true},
    // Mac Roman's ohm sign, Mac Arabic's private-use punctuation.
    {"MacRomanOhmIn", 10000, true, "BD", "2126", true},
    {"MacRomanOhmOut", 10000, false, "2126", "BD", true},
    {"MacRomanOmegaOut", 10000, false, "03A9", "", false},
    {"MacArabicPrivateFirst", 10004, true, "A0", "F827", true},
    {"MacArabicPrivateOut", 10004, false, "F827", "A0", true},
    // Johab: initial consonants as conjoining jamo.
    {"JohabKiyeokIn", 1361, true, "88 41", "1100", true},
    {"JohabKiyeokOut", 1361, false, "1100", "88 41", true},
    {"JohabSyllableGa", 1361, true, "88 61", "AC00", true},
    // Mac Japanese: the patch over Shift_JIS.
    {"MacJapaneseYenUnmappable", 10001, false, "00A5", "", false},
    {"MacJapaneseNoBreakSpace", 10001, false, "00A0", "A0", true},
    {"MacJapaneseCopyright", 10001, false, "00A9", "FD", true},
    {"MacJapaneseTradeMark", 10001, true, "FE", "2122", true},
    {"MacJapaneseNumero", 10001, false, "2116", "86 9B", true},
    {"MacJapaneseNumeroIn", 10001, true, "86 9B", "2116", true},
    {"MacJapaneseNoSummation", 10001, false, "2211", "", false},
    {"MacJapanesePrivateRemoved", 10001, false, "F8F0", "", false},
    {"MacJapaneseKeepsHiragana", 10001, true, "82 A0", "3042", true},
    // Korean.
    {"UhcHangulGa", 949, true, "B0 A1", "AC00", true},
    {"EucKrHangulGa", 51949, true, "B0 A1", "AC00", true},
    {"EucKrNoExtendedHangul", 51949, true, "81 41", "0041", false},
    // Big5.
    {"Big5Ideograph", 950, true, "A4 40", "4E00", true},
    // EBCDIC sets have no ASCII pass-through.
    {"Ebcdic037LetterA", 37, true, "C1", "0041", true},
    {"Ebcdic037LetterAOut", 37, false, "0041", "C1", true},
    {"Ebcdic1140Euro", 1140, true, "9F", "20AC", true},
    {"Ebcdic1047Bracket", 1047, true, "AD", "005B", true},
};

INSTANTIATE_TEST_SUITE_P(Table, TableTelling, ::testing::ValuesIn(kTellingCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Keys that occur more than once: the first entry serves the forward direction and every entry
// the reverse one.
TEST(TableTellingDuplicates, FirstEntryForwardEveryEntryReverse) {
    const HashConvert* fwd = TableStore::forwardDoubleByte(51932);
    const HashConvert* rev = TableStore::reverse(51932);
    if (!fwd || !rev) GTEST_SKIP() << "no table data for 51932";
    // The cent sign and the full-width cent sign both go out as A1 F1; it comes back full-width.
    EncodingConvert ec;
    DataBuffer out;
    Bytes in = units("00A2 FFE0");
    EXPECT_TRUE(ec.fromUtf16(51932, in.data(), static_cast<unsigned>(in.size()), out));
    EXPECT_EQ(Bytes(out.getData(), out.getData() + out.getSize()), hex("A1F1 A1F1"));
    DataBuffer back;
    EXPECT_TRUE(ec.toUtf16(51932, out.getData(), out.getSize(), back));
    EXPECT_EQ(Bytes(back.getData(), back.getData() + back.getSize()), units("FFE0 FFE0"));
}

TEST(TableTellingAscii, PassThroughFlagsFollowTheList) {
    for (int cp : {1252, 20127, 28591, 10000, 866, 932, 936, 949, 950, 1361, 10001, 51932, 51949}) {
        if (TableStore::kindOf(cp) == TableStore::kNone) continue;
        EXPECT_TRUE(TableStore::reverse(cp)->asciiPassThrough) << cp;
    }
    for (int cp : {37, 500, 1026, 875, 20105, 20106, 20290, 10021}) {
        if (TableStore::kindOf(cp) == TableStore::kNone) continue;
        EXPECT_FALSE(TableStore::reverse(cp)->asciiPassThrough) << cp;
    }
}

} // namespace
