#include "encoding/Charset.h"

#include "encoding/tables/TableStore.h"
#include "platform/Platform.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// ---- setByName -------------------------------------------------------------------------------

struct NameCase {
    const char* name;
    int codePage;
    const char* canonical;
};

// clang-format off
const NameCase kSetByNameCases[] = {
    {" Shift_JIS ", 932, "shift_jis"},
    {"UTF8", 65001, "utf-8"},
    {"UNICODEFFFE", 1201, "unicodefffe"},
    {"utf-16", 1200, "unicode"},
    {"\tlatin1\r\n", 28591, "iso-8859-1"},
    {"ISO_8859-1", 28591, "iso-8859-1"},
    {"ks_c_5601-1987", 949, "ks_c_5601-1987"},
    {"x-ms-cp932", 932, "shift_jis"},
    {"default", 0, ""},
    {"x-user-defined", 0, ""},
    {"X-USER-DEFINED", 50000, ""}, // in the table, without a canonical name
    {"Default", 0, ""}, // not in the table at all
    {"asmo-449", 709, ""}, // kept although it has no canonical name
    {"cp930", 50930, ""},
    {"gb18030", 936, "gb2312"},
    {"euc-jp", 51932, "euc-jp"},
    {"csiso2022jp", 50220, "iso-2022-jp"},
    {"iso-2022-jp-1", 50221, "csiso2022jp"},
    {"iso-2022-jp-2", 50222, "iso-2022-jp"},
    {"x-ansi", 1252, "windows-1252"},
    {"iso-8859-8 visual", 28598, "iso-8859-8"},
    {"ISO-8859-8  VISUAL", 0, ""}, // inner blanks are part of the name
    {"visual", 28598, "iso-8859-8"},
    {"hz-gb-2312", 52936, "hz-gb-2312"},
    {"l1", 0, ""}, // names under three bytes are refused
    {"us", 0, ""},
    {"", 0, ""},
    {"   ", 0, ""},
    {"utf-8x", 0, ""},
    {"oem-x", 0, ""},
    {"\xC9UC-KR", 0, ""}, // 0xC9 lowers to 0xE9, not to 'e'
};
// clang-format on

TEST(CharsetSetByName, ResolvesNamesAndTheirCanonicalForm) {
    for (const NameCase& c : kSetByNameCases) {
        Charset cs;
        cs.setByCodePage(1252); // something to replace
        cs.setByName(c.name);
        EXPECT_EQ(cs.getCodePage(), c.codePage) << '"' << c.name << '"';
        EXPECT_STREQ(cs.getName(), c.canonical) << '"' << c.name << '"';
    }
}

TEST(CharsetSetByName, NullChangesNothing) {
    Charset cs;
    cs.setByName("utf-8");
    cs.setByName(nullptr);
    EXPECT_EQ(cs.getCodePage(), 65001);
    EXPECT_STREQ(cs.getName(), "utf-8");
    cs.clear();
    EXPECT_EQ(cs.getCodePage(), 0);
    EXPECT_STREQ(cs.getName(), "");
}

TEST(CharsetSetByName, AnsiAndOemFollowTheSystem) {
    enctest::AnsiCodePageOverride ansi(1252);
    // clang-format off
    const struct {
        int system;
        const char* name;
        int codePage;
        const char* canonical;
    } cases[] = {
        {1252, "ansi", 1252, "windows-1252"},
        {1252, "ANSI", 1252, "windows-1252"},
        {932, "Ansi", 932, "shift_jis"},
        {709, "ansi", 0, ""}, // an ANSI code page without a canonical name is refused
        {709, " ansi ", 709, ""}, // with blanks it goes through the name lookup, which keeps it
        {1251, " ANSI", 1251, "windows-1251"},
    };
    // clang-format on
    for (const auto& c : cases) {
        ansi.set(c.system);
        Charset cs;
        cs.setByName(c.name);
        EXPECT_EQ(cs.getCodePage(), c.codePage) << c.name << " on " << c.system;
        EXPECT_STREQ(cs.getName(), c.canonical) << c.name << " on " << c.system;
    }

    int oem = platform::oemCodePage();
    StringBuffer oemName;
    bool named = codePageToCharsetName(oem, oemName);
    for (const char* name : {"oem", "OEM"}) {
        Charset cs;
        cs.setByName(name);
        EXPECT_EQ(cs.getCodePage(), named ? oem : 0) << name;
        EXPECT_STREQ(cs.getName(), oemName.getString()) << name;
    }
    if (oem == 437) {
        EXPECT_STREQ(oemName.getString(), "ibm437");
    }
    EXPECT_EQ(charsetNameToCodePage("oem"), 0);
}

TEST(CharsetSetByCodePage, NeedsACanonicalName) {
    // clang-format off
    const NameCase cases[] = {
        {nullptr, 54936, "gb18030"},
        {nullptr, 709, ""},
        {nullptr, 50222, "iso-2022-jp"},
        {nullptr, 20932, "euc-jp"},
        {nullptr, 1200, "unicode"},
        {nullptr, 0, ""},
        {nullptr, -1, ""},
        {nullptr, 50000, ""},
        {nullptr, 65006, "utf-32be"},
    };
    // clang-format on
    for (const NameCase& c : cases) {
        Charset cs;
        cs.setByName("utf-8");
        cs.setByCodePage(c.codePage);
        EXPECT_EQ(cs.getCodePage(), c.canonical[0] ? c.codePage : 0) << c.codePage;
        EXPECT_STREQ(cs.getName(), c.canonical) << c.codePage;
    }
}

TEST(CharsetLookup, NameToCodePage) {
    enctest::AnsiCodePageOverride ansi(1250);
    // clang-format off
    const struct {
        const char* name;
        int codePage;
    } cases[] = {
        {nullptr, 0},
        {"ks_c_5601-1987", 949},
        {"x-ms-cp932", 932},
        {"oem", 0},
        {"default", 0},
        {" ansi ", 1250},
        {"ANSI", 1250},
        {"x-ansi", 1252},
        {"x_user_defined", 50000},
        {"UTF_8", 65001},
        {"ut", 0},
        {"l9", 0},
    };
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(charsetNameToCodePage(c.name), c.codePage) << (c.name ? c.name : "(null)");
        EXPECT_EQ(isKnownCharsetName(c.name), c.codePage != 0) << (c.name ? c.name : "(null)");
    }
    StringBuffer out("leftover");
    EXPECT_FALSE(codePageToCharsetName(709, out));
    EXPECT_EQ(out.getSize(), 0);
    EXPECT_TRUE(codePageToCharsetName(65000, out));
    EXPECT_STREQ(out.getString(), "utf-7");
}

// ---- the two tables, checked against the reference data -------------------------------------

struct Row {
    int codePage;
    std::string canonical; // empty when none
    std::string conversion;
    std::vector<std::string> names;
};

std::vector<Row> readRows() {
    std::vector<Row> rows;
    std::ifstream in(enctest::dataPath("charset_table.tsv"), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> cells;
        std::istringstream ss(line);
        std::string cell;
        while (std::getline(ss, cell, '\t'))
            cells.push_back(cell);
        if (cells.size() != 4) {
            ADD_FAILURE() << "bad row: " << line;
            continue;
        }
        Row r;
        r.codePage = std::stoi(cells[0]);
        r.canonical = cells[1] == "-" ? "" : cells[1];
        r.conversion = cells[2];
        if (cells[3] != "-") {
            std::istringstream ns(cells[3]);
            std::string n;
            while (std::getline(ns, n, ','))
                r.names.push_back(n);
        }
        rows.push_back(r);
    }
    return rows;
}

std::string shout(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        if (c == '-') c = '_';
    }
    return s;
}

TEST(CharsetNameTable, EveryNameResolvesToItsCodePage) {
    std::vector<Row> rows = readRows();
    ASSERT_EQ(rows.size(), 150u) << enctest::dataPath("charset_table.tsv");
    std::map<std::string, int> expected;
    for (const Row& r : rows)
        for (const std::string& n : r.names) {
            ASSERT_TRUE(expected.emplace(n, r.codePage).second) << "listed twice: " << n;
            EXPECT_EQ(charsetNameToCodePage(n.c_str()), r.codePage) << n;
            // Callers' spellings: capitals, '_' for '-', blanks around.
            std::string loud = " \t" + shout(n) + "\r\n";
            EXPECT_EQ(charsetNameToCodePage(loud.c_str()), r.codePage) << loud;
        }
    EXPECT_EQ(expected.size(), 413u);

    // The listing holds exactly these names, in strictly ascending byte order.
    ASSERT_EQ(charsetNameCount(), static_cast<int>(expected.size()));
    std::string previous;
    for (int i = 0; i < charsetNameCount(); ++i) {
        int cp = -1;
        const char* name = charsetNameAt(i, &cp);
        ASSERT_NE(name, nullptr);
        auto it = expected.find(name);
        ASSERT_NE(it, expected.end()) << "not a listed name: " << name;
        EXPECT_EQ(cp, it->second) << name;
        EXPECT_LT(previous, std::string(name));
        previous = name;
    }
    int cp = -1;
    EXPECT_EQ(charsetNameAt(charsetNameCount(), &cp), nullptr);
    EXPECT_EQ(cp, 0);
    EXPECT_EQ(charsetNameAt(-1, nullptr), nullptr);
}

TEST(CharsetNameTable, EveryCanonicalNameMapsBack) {
    std::vector<Row> rows = readRows();
    ASSERT_EQ(rows.size(), 150u);
    std::map<int, std::string> canonical;
    std::map<std::string, int> byName;
    for (const Row& r : rows) {
        if (!r.canonical.empty()) canonical[r.codePage] = r.canonical;
        for (const std::string& n : r.names)
            byName[n] = r.codePage;
    }
    EXPECT_EQ(canonical.size(), 140u);

    for (const Row& r : rows) {
        StringBuffer out;
        EXPECT_EQ(codePageToCharsetName(r.codePage, out), !r.canonical.empty()) << r.codePage;
        EXPECT_EQ(std::string(out.getString()), r.canonical) << r.codePage;
    }

    // The listing of canonical names.
    ASSERT_EQ(canonicalNameCount(), static_cast<int>(canonical.size()));
    int previous = -1;
    for (int i = 0; i < canonicalNameCount(); ++i) {
        int cp = 0;
        const char* name = canonicalNameAt(i, &cp);
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(canonical[cp], name) << cp;
        EXPECT_GT(cp, previous);
        previous = cp;
    }
    EXPECT_EQ(canonicalNameAt(canonicalNameCount(), nullptr), nullptr);

    // A canonical name used as a charset name: the code page its normalised form is listed
    // under, and that code page's canonical name. Mostly the name comes back unchanged.
    for (const auto& entry : canonical) {
        std::string n = entry.second;
        for (char& c : n)
            if (c == '_') c = '-';
        auto it = byName.find(n);
        int cp = it == byName.end() ? 0 : it->second;
        Charset cs;
        cs.setByName(entry.second.c_str());
        EXPECT_EQ(cs.getCodePage(), cp) << entry.second;
        auto named = canonical.find(cp);
        EXPECT_EQ(std::string(cs.getName()), named == canonical.end() ? "" : named->second)
            << entry.second;
    }
}

TEST(CharsetNameTable, IrregularRowsHoldAsListed) {
    // clang-format off
    const struct {
        const char* name;
        int codePage;
    } cases[] = {
        {"gb18030", 936},
        {"gb18030-2000", 936},
        {"euc-jp", 51932},
        {"csiso2022jp", 50220},
        {"x-ansi", 1252},
        {"iso-8859-11", 874},
        {"tis-620", 874},
        {"visual", 28598},
        {"logical", 28598},
        {"iso-8859-8 visual", 28598},
        {"unicode", 1200},
        {"ucs-2", 1200},
        {"utf-16le", 1200},
        {"unicodefffe", 1201},
        {"utf-16be", 1201},
        {"asmo-449", 709},
        {"x-cp21027", 21027},
        {"x-user-defined", 50000},
        {"cp939", 50939},
        {"euc-tw", 51950},
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(charsetNameToCodePage(c.name), c.codePage) << c.name;
    StringBuffer a, b;
    ASSERT_TRUE(codePageToCharsetName(50220, a));
    ASSERT_TRUE(codePageToCharsetName(50222, b));
    EXPECT_STREQ(a.getString(), b.getString());
    ASSERT_TRUE(codePageToCharsetName(54936, a));
    EXPECT_STREQ(a.getString(), "gb18030");
}

TEST(CharsetConversionKind, MatchesTheReferenceAndTheTableList) {
    std::vector<Row> rows = readRows();
    ASSERT_EQ(rows.size(), 150u);
    int tables = 0;
    for (const Row& r : rows) {
        CodePageConversion kind = codePageConversionKind(r.codePage);
        const char* word = kind == CodePageConversion::kTable     ? "table"
                           : kind == CodePageConversion::kBuiltIn ? "built-in"
                                                                  : "none";
        EXPECT_EQ(r.conversion, word) << r.codePage;
        // The table store keeps its own list of the code pages it has tables for.
        EXPECT_EQ(kind == CodePageConversion::kTable,
                  TableStore::listedKindOf(r.codePage) != TableStore::kNone)
            << r.codePage;
        if (kind == CodePageConversion::kTable) ++tables;
    }
    EXPECT_EQ(tables, 103);
    for (int cp : {0, 1, 12000, 65002, -5})
        EXPECT_EQ(codePageConversionKind(cp), CodePageConversion::kNone) << cp;
}

} // namespace
