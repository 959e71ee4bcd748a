#include "encoding/Charset.h"

#include "encoding/tables/TableStore.h"
#include "platform/Platform.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// The names of cases.txt ("name" and "lookup" lines) are checked in EncodingCasesTest.
TEST(CharsetNames, NullNamesOemAndCodePagesWithoutNames) {
    Charset cs;
    cs.setByName("utf-8");
    cs.setByName(nullptr);
    EXPECT_EQ(cs.getCodePage(), 65001);
    EXPECT_STREQ(cs.getName(), "utf-8");
    EXPECT_EQ(charsetNameToCodePage(nullptr), 0);
    EXPECT_FALSE(isKnownCharsetName(nullptr));
    int oem = platform::oemCodePage();
    StringBuffer oemName("leftover");
    bool named = codePageToCharsetName(oem, oemName);
    cs.setByName("OEM");
    EXPECT_EQ(cs.getCodePage(), named ? oem : 0);
    EXPECT_STREQ(cs.getName(), oemName.getString());
    EXPECT_EQ(charsetNameToCodePage("oem"), 0);
    EXPECT_FALSE(codePageToCharsetName(709, oemName));
    EXPECT_EQ(oemName.getSize(), 0);
    // No table slot for code pages without tables, nor for the other kind of table.
    EXPECT_TRUE(!TableStore::reverse(20932) && !TableStore::forwardSingleByte(20932) &&
                !TableStore::forwardDoubleByte(1252) && !TableStore::forwardSingleByte(932));
}

// ---- the name tables, checked against tests/encoding/data/charset_table.tsv ----------------

struct Row {
    int codePage;
    std::string canonical; // empty when none
    std::string conversion;
    std::vector<std::string> names;
};

// The rows of the table: code page, canonical name, conversion kind, names separated by ",".
std::vector<Row> readRows() {
    std::vector<Row> rows;
    std::ifstream in(enctest::dataPath("charset_table.tsv"), std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> cells;
        std::istringstream row(line);
        for (std::string cell; std::getline(row, cell, '\t');)
            cells.push_back(cell == "-" ? "" : cell);
        if (cells.size() != 4) {
            ADD_FAILURE() << "bad row: " << line;
            continue;
        }
        rows.push_back({std::stoi(cells[0]), cells[1], cells[2], {}});
        std::istringstream names(cells[3]);
        for (std::string n; std::getline(names, n, ',');)
            rows.back().names.push_back(n);
    }
    EXPECT_EQ(rows.size(), 150u) << enctest::dataPath("charset_table.tsv");
    return rows;
}

TEST(CharsetNameTable, EveryNameResolvesToItsCodePage) {
    std::map<std::string, int> expected;
    for (const Row& r : readRows())
        for (const std::string& n : r.names) {
            ASSERT_TRUE(expected.emplace(n, r.codePage).second) << "listed twice: " << n;
            EXPECT_EQ(charsetNameToCodePage(n.c_str()), r.codePage) << n;
            std::string loud = " \t" + n + "\r\n"; // capitals, '_' for '-', blanks around
            for (char& c : loud)
                c = c == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            EXPECT_EQ(charsetNameToCodePage(loud.c_str()), r.codePage) << loud;
        }
    EXPECT_EQ(expected.size(), 413u);
    ASSERT_EQ(charsetNameCount(), static_cast<int>(expected.size()));
    std::string previous;
    for (int i = 0; i < charsetNameCount(); ++i) { // the listing: ascending, as in the data
        int cp = -1;
        const char* name = charsetNameAt(i, &cp);
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(cp, expected.count(name) ? expected[name] : -2) << name;
        EXPECT_LT(previous, std::string(name));
        previous = name;
    }
    EXPECT_EQ(charsetNameAt(charsetNameCount(), nullptr), nullptr);
}

TEST(CharsetNameTable, CanonicalNamesAndConversionKinds) {
    std::map<int, std::string> canonical;
    int tables = 0;
    for (const Row& r : readRows()) {
        if (!r.canonical.empty()) canonical[r.codePage] = r.canonical;
        StringBuffer out;
        EXPECT_EQ(codePageToCharsetName(r.codePage, out), !r.canonical.empty()) << r.codePage;
        EXPECT_EQ(std::string(out.getString()), r.canonical) << r.codePage;
        CodePageConversion kind = codePageConversionKind(r.codePage);
        EXPECT_EQ(r.conversion, kind == CodePageConversion::kTable     ? "table"
                                : kind == CodePageConversion::kBuiltIn ? "built-in"
                                                                       : "none")
            << r.codePage;
        EXPECT_EQ(kind == CodePageConversion::kTable,
                  TableStore::listedKindOf(r.codePage) != TableStore::kNone)
            << r.codePage;
        tables += kind == CodePageConversion::kTable;
    }
    EXPECT_EQ(canonical.size(), 140u);
    EXPECT_EQ(tables, 103);
    ASSERT_EQ(canonicalNameCount(), static_cast<int>(canonical.size()));
    for (int i = 0; i < canonicalNameCount(); ++i) {
        int cp = 0;
        const char* name = canonicalNameAt(i, &cp);
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(canonical[cp], name) << cp;
    }
    for (int cp : {1, 12000, 65002, -5})
        EXPECT_EQ(codePageConversionKind(cp), CodePageConversion::kNone) << cp;
}

} // namespace
