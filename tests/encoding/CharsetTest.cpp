// The name tables against tests/encoding/data/charset_table.tsv; the single names of cases.txt
// ("name" and "lookup" lines) are checked in EncodingCasesTest.
#include "encoding/Charset.h"
#include "encoding/tables/TableStore.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

#include <map>

namespace {

TEST(CharsetNameTable, EveryNameCanonicalNameAndConversionKind) {
    std::map<std::string, int> names;
    std::map<int, std::string> canonical;
    const std::vector<enctest::Record> rows = enctest::readVectors("charset_table.tsv");
    ASSERT_EQ(rows.size(), 150u);
    for (const enctest::Record& r : rows) {
        ASSERT_GE(r.words.size(), 4u) << r.line;
        const int cp = std::stoi(r.words[0]);
        std::string cell = r.words[3]; // names may hold a blank
        for (size_t i = 4; i < r.words.size(); ++i)
            cell += " " + r.words[i];
        std::istringstream list(cell == "-" ? "" : cell);
        for (std::string n; std::getline(list, n, ',');) {
            ASSERT_TRUE(names.emplace(n, cp).second) << "listed twice: " << n;
            std::string loud = " \t" + n + "\r\n"; // capitals, '_' for '-', blanks around
            for (char& c : loud)
                c = c == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            EXPECT_EQ(charsetNameToCodePage(n.c_str()), cp) << n;
            EXPECT_EQ(charsetNameToCodePage(loud.c_str()), cp) << loud;
        }
        const std::string name = r.words[1] == "-" ? "" : r.words[1];
        if (!name.empty()) canonical[cp] = name;
        StringBuffer out("leftover");
        EXPECT_EQ(codePageToCharsetName(cp, out), !name.empty()) << cp;
        EXPECT_EQ(std::string(out.getString()), name) << cp;
        const CodePageConversion kind = codePageConversionKind(cp);
        EXPECT_EQ(r.words[2], kind == CodePageConversion::kTable     ? "table"
                              : kind == CodePageConversion::kBuiltIn ? "built-in"
                                                                     : "none")
            << cp;
        EXPECT_EQ(kind == CodePageConversion::kTable,
                  TableStore::listedKindOf(cp) != TableStore::kNone)
            << cp;
    }
    ASSERT_EQ(charsetNameCount(), 413);
    ASSERT_EQ(names.size(), 413u);
    std::string previous;
    for (int i = 0; i < charsetNameCount(); ++i) { // the listing: ascending, as in the data
        int cp = -1;
        const char* name = charsetNameAt(i, &cp);
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(cp, names.count(name) ? names[name] : -2) << name;
        EXPECT_LT(previous, std::string(name));
        previous = name;
    }
    EXPECT_EQ(charsetNameAt(charsetNameCount(), nullptr), nullptr);
    ASSERT_EQ(canonicalNameCount(), 140);
    for (int i = 0; i < canonicalNameCount(); ++i) {
        int cp = 0;
        const char* name = canonicalNameAt(i, &cp);
        EXPECT_EQ(canonical[cp], name ? name : "(null)") << cp;
    }
    EXPECT_EQ(enctest::allCodePages().size(), 103u);
}

// A null name changes nothing; "OEM" names the system's OEM code page; no table slot for code
// pages without tables, nor for the other kind of table.
TEST(CharsetNameTable, NullOemAndMissingTables) {
    Charset cs;
    cs.setByName("utf-8");
    cs.setByName(nullptr);
    EXPECT_EQ(cs.getCodePage(), 65001);
    EXPECT_EQ(charsetNameToCodePage(nullptr), 0);
    EXPECT_FALSE(isKnownCharsetName(nullptr));
    StringBuffer oemName;
    const bool named = codePageToCharsetName(platform::oemCodePage(), oemName);
    cs.setByName("OEM");
    EXPECT_EQ(cs.getCodePage(), named ? platform::oemCodePage() : 0);
    EXPECT_STREQ(cs.getName(), oemName.getString());
    EXPECT_EQ(charsetNameToCodePage("oem"), 0);
    for (int cp : {1, 12000, 65002, -5})
        EXPECT_EQ(codePageConversionKind(cp), CodePageConversion::kNone) << cp;
    EXPECT_TRUE(!TableStore::reverse(20932) && !TableStore::forwardSingleByte(20932) &&
                !TableStore::forwardDoubleByte(1252) && !TableStore::forwardSingleByte(932));
}

} // namespace
