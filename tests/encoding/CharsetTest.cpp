#include "encoding/Charset.h"

#include "encoding/tables/TableStore.h"
#include "platform/Platform.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct NameCase {
    const char* name;
    int codePage;
    const char* canonical;
};

const NameCase kSetByNameCases[] = {
    {" Shift_JIS ", 932, "shift_jis"},
    {"UTF8", 65001, "utf-8"},
    {"UNICODEFFFE", 1201, "unicodefffe"},
    {"\tlatin1\r\n", 28591, "iso-8859-1"},
    {"ISO_8859-1", 28591, "iso-8859-1"},
    {"ks_c_5601-1987", 949, "ks_c_5601-1987"},
    {"x-ms-cp932", 932, "shift_jis"},
    {"default", 0, ""},
    {"x-user-defined", 0, ""},
    {"X-USER-DEFINED", 50000, ""}, // in the table, without a canonical name
    {"Default", 0, ""},            // not in the table at all
    {"defaultx", 0, ""},
    {"asmo-449", 709, ""}, // kept although it has no canonical name
    {"gb18030", 936, "gb2312"},
    {"iso-2022-jp-1", 50221, "csiso2022jp"},
    {"ISO-8859-8  VISUAL", 0, ""}, // inner blanks are part of the name
    {"l1", 0, ""},                 // names under three bytes are refused
    {"   ", 0, ""},
    {"utf-8x", 0, ""},
    {"\xC9UC-KR", 0, ""}, // 0xC9 lowers to 0xE9, not to 'e'
};

TEST(CharsetSetByName, ResolvesNamesAndTheirCanonicalForm) {
    for (const NameCase& c : kSetByNameCases) {
        Charset cs;
        cs.setByCodePage(1252); // something to replace
        cs.setByName(c.name);
        EXPECT_EQ(cs.getCodePage(), c.codePage) << '"' << c.name << '"';
        EXPECT_STREQ(cs.getName(), c.canonical) << '"' << c.name << '"';
    }
    Charset cs;
    cs.setByName("utf-8");
    cs.setByName(nullptr);
    EXPECT_EQ(cs.getCodePage(), 65001);
    EXPECT_STREQ(cs.getName(), "utf-8");
}

TEST(CharsetSetByName, AnsiAndOemFollowTheSystem) {
    enctest::AnsiCodePageOverride ansi(1252);
    const struct {
        int system;
        NameCase c;
    } cases[] = {
        {1252, {"ansi", 1252, "windows-1252"}},
        {932, {"ANSI", 932, "shift_jis"}},
        {709, {"ansi", 0, ""}},     // an ANSI code page without a canonical name is refused
        {709, {" ansi ", 709, ""}}, // with blanks it goes through the name lookup
    };
    for (const auto& k : cases) {
        ansi.set(k.system);
        Charset cs;
        cs.setByName(k.c.name);
        EXPECT_EQ(cs.getCodePage(), k.c.codePage) << k.c.name << " on " << k.system;
        EXPECT_STREQ(cs.getName(), k.c.canonical) << k.c.name << " on " << k.system;
    }
    int oem = platform::oemCodePage();
    StringBuffer oemName;
    bool named = codePageToCharsetName(oem, oemName);
    Charset cs;
    cs.setByName("OEM");
    EXPECT_EQ(cs.getCodePage(), named ? oem : 0);
    EXPECT_STREQ(cs.getName(), oemName.getString());
    if (oem == 437) {
        EXPECT_STREQ(oemName.getString(), "ibm437");
    }
    EXPECT_EQ(charsetNameToCodePage("oem"), 0);
}

TEST(CharsetLookup, NameToCodePageAndBack) {
    enctest::AnsiCodePageOverride ansi(1250);
    const NameCase cases[] = {
        {nullptr, 0, nullptr},   {"ks_c_5601-1987", 949, nullptr}, {"x-ms-cp932", 932, nullptr},
        {"default", 0, nullptr}, {" ansi ", 1250, nullptr},        {"UTF_8", 65001, nullptr},
        {"l9", 0, nullptr},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(charsetNameToCodePage(c.name), c.codePage) << (c.name ? c.name : "(null)");
        EXPECT_EQ(isKnownCharsetName(c.name), c.codePage != 0) << (c.name ? c.name : "(null)");
    }
    const NameCase byCodePage[] = {
        {nullptr, 54936, "gb18030"},
        {nullptr, 709, ""},
        {nullptr, 50222, "iso-2022-jp"},
        {nullptr, 0, ""},
        {nullptr, 50000, ""},
        {nullptr, 65006, "utf-32be"},
    };
    for (const NameCase& c : byCodePage) {
        Charset cs;
        cs.setByName("utf-8");
        cs.setByCodePage(c.codePage);
        EXPECT_EQ(cs.getCodePage(), c.canonical[0] ? c.codePage : 0) << c.codePage;
        EXPECT_STREQ(cs.getName(), c.canonical) << c.codePage;
    }
    StringBuffer out("leftover");
    EXPECT_FALSE(codePageToCharsetName(709, out));
    EXPECT_EQ(out.getSize(), 0);
}

// ---- the name tables, checked against tests/encoding/data/charset_table.tsv ----------------

struct Row {
    int codePage;
    std::string canonical; // empty when none
    std::string conversion;
    std::vector<std::string> names;
};

std::vector<std::string> splitAt(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::istringstream ss(s);
    for (std::string cell; std::getline(ss, cell, sep);)
        out.push_back(cell);
    return out;
}

std::vector<Row> readRows() {
    std::vector<Row> rows;
    std::ifstream in(enctest::dataPath("charset_table.tsv"), std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> cells = splitAt(line, '\t');
        if (cells.size() != 4) {
            ADD_FAILURE() << "bad row: " << line;
            continue;
        }
        rows.push_back({std::stoi(cells[0]), cells[1] == "-" ? "" : cells[1], cells[2],
                        cells[3] == "-" ? std::vector<std::string>() : splitAt(cells[3], ',')});
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
