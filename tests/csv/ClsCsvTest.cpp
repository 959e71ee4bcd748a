#include "csv/ClsCsv.h"
#include "csv/CsvTestSupport.h"

#include "platform/Platform.h"
#include "text/XString.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string dataPath(const char* name) {
    return std::string(QX_TEST_DATA_DIR) + "/csv/data/" + name;
}

std::string readBytes(const std::string& path) {
    std::ifstream f(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string tempPath(const char* name) {
    const char* dir = std::getenv("TEMP");
    if (!dir) dir = std::getenv("TMPDIR");
    return std::string(dir ? dir : "/tmp") + "/qx_clscsv_" + name;
}

using csvtest::utf8;
using csvtest::X;

struct Csv {
    ClsCsv obj;
    bool load(const char* text) { return obj.LoadFromString(X(text)); }
    std::string save() {
        return utf8([&](XString& s) { EXPECT_TRUE(obj.SaveToString(s)); });
    }
    bool cell(int r, int c, std::string& out) {
        bool ok = false;
        out = utf8([&](XString& s) { ok = obj.GetCell(r, c, s); });
        return ok;
    }
    std::string cell(int r, int c) {
        return utf8([&](XString& s) { obj.GetCell(r, c, s); });
    }
    std::string delimiter() {
        return utf8([&](XString& s) { obj.get_Delimiter(s); });
    }
    std::string columnName(int i) {
        return utf8([&](XString& s) { EXPECT_TRUE(obj.GetColumnName(i, s)); });
    }
    std::string log() {
        return utf8([&](XString& s) { obj.lastErrorText(s, true); });
    }
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    for (size_t start = 0, end; start < text.size(); start = end + 2) {
        end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
    }
    return out;
}

TEST(ClsCsvDelimiter, SetBeforeLoadDoesNotSurviveTheLoad) {
    Csv csv;
    csv.obj.put_Delimiter(X("\t"));
    ASSERT_TRUE(csv.load("a\tb"));
    EXPECT_EQ(csv.delimiter(), ";");
    EXPECT_EQ(csv.obj.GetNumCols(0), 1);
    EXPECT_EQ(csv.cell(0, 0), "a\tb");
    csv.obj.put_Delimiter(X("\t"));
    EXPECT_EQ(csv.obj.GetNumCols(0), 2);
    EXPECT_EQ(csv.cell(0, 1), "b");
    for (auto c : {std::make_pair("", ","), std::make_pair("|;", "|")}) {
        Csv fresh;
        fresh.obj.put_Delimiter(X(c.first));
        EXPECT_EQ(fresh.delimiter(), c.second) << "put '" << c.first << "'";
    }
}

TEST(ClsCsvLoadSave, EmptyTextsAndFailedLoad) {
    Csv csv;
    EXPECT_EQ(csv.save(), "");
    ASSERT_TRUE(csv.load("a,b\nc,d\n"));
    ASSERT_TRUE(csv.load(""));
    EXPECT_EQ(csv.obj.get_NumRows(), 0);
    ASSERT_TRUE(csv.load("a,b\nc,d\n"));
    EXPECT_FALSE(csv.obj.LoadFile(X(tempPath("does-not-exist.csv"))));
    EXPECT_EQ(csv.obj.get_NumRows(), 0);
    std::string out;
    EXPECT_FALSE(csv.cell(0, 0, out));
    std::string report = csv.log();
    for (const char* part : {"  LoadFile:\r\n", "WindowsError: 0x2\r\n", "    Failed.\r\n"})
        EXPECT_NE(report.find(part), std::string::npos) << report;
}

TEST(ClsCsvColumnNames, SwitchingAfterTheLoadAndLookup) {
    Csv on;
    ASSERT_TRUE(on.load("a,b\r\nc,d\r\n"));
    on.obj.put_HasColumnNames(true);
    EXPECT_EQ(on.cell(0, 0), "a");
    EXPECT_EQ(on.save(), "\r\na,b\r\nc,d\r\n");

    Csv off;
    off.obj.put_HasColumnNames(true);
    ASSERT_TRUE(off.load("Name,Age,Town\r\nBob,7\r\n"));
    EXPECT_EQ(off.obj.GetIndex(X("name")), -1);
    EXPECT_EQ(off.obj.get_NumColumns(), 3);
    EXPECT_EQ(off.obj.GetNumCols(0), 2);
    EXPECT_EQ(off.columnName(1000001), "");
    off.obj.put_HasColumnNames(false);
    EXPECT_EQ(off.columnName(1), "Age");
    EXPECT_EQ(off.obj.GetIndex(X("Age")), 1);
    EXPECT_EQ(off.save(), "Bob,7\r\n");
}

TEST(ClsCsvCells, RangeRulesAndUnloggedOperations) {
    Csv csv;
    ASSERT_TRUE(csv.load("a,b\n"));
    const std::string before = csv.log();
    EXPECT_EQ(lines(before)[1], "  LoadFromString:");
    std::string out = "junk";
    EXPECT_TRUE(csv.cell(0, 2, out)); // a missing column of an existing row reads empty
    EXPECT_EQ(out, "");
    EXPECT_FALSE(csv.cell(1, 0, out));
    EXPECT_FALSE(csv.obj.SetCell(-1, 0, X("x")));
    EXPECT_TRUE(csv.obj.SetCell(0, -1, X("x")));
    EXPECT_EQ(csv.cell(0, 1), "b");
    csv.obj.GetIndex(X("a"));
    csv.obj.put_Delimiter(X(";"));
    EXPECT_EQ(csv.log(), before); // none of these reports anything
    csv.save();
    EXPECT_EQ(lines(csv.log())[1], "  SaveToString:");
    EXPECT_FALSE(csv.obj.SetColumnName(1000001, X("n")));
    EXPECT_TRUE(csv.obj.SetColumnName(1000000, X("n")));
}

TEST(ClsCsvLoadSave, SaveToStringAndSaveFile) {
    Csv csv;
    ASSERT_TRUE(csv.load("é,\"x,y\",\"say \"\"hi\"\"\"\n日本,b\n"));
    EXPECT_EQ(csv.save(), "é,\"x,y\",\"say \"\"hi\"\"\"\r\n日本,b\r\n");
    csv.obj.put_Crlf(false);
    EXPECT_EQ(csv.save(), "é,\"x,y\",\"say \"\"hi\"\"\"\n日本,b\n");

    Csv ansi; // SaveFile writes the ANSI code page
    ASSERT_TRUE(ansi.load("café,€\n"));
    std::string path = tempPath("ansi.csv");
    ASSERT_TRUE(ansi.obj.SaveFile(X(path)));
    if (platform::ansiCodePage() == 1252) {
        EXPECT_EQ(readBytes(path), "caf\xE9,\x80\r\n");
    }
    Csv back;
    ASSERT_TRUE(back.obj.LoadFile(X(path)));
    EXPECT_EQ(back.cell(0, 1), "€");
    std::remove(path.c_str());
}

TEST(ClsCsvFiles, ByteOrderMarkIsRemovedBeforeTheAnsiConversion) {
    std::string path = tempPath("bom.csv");
    std::ofstream(path.c_str(), std::ios::binary) << "\xEF\xBB\xBF"
                                                     "abc,\xC3\xA9\r\n";
    Csv ansi;
    ASSERT_TRUE(ansi.obj.LoadFile(X(path)));
    EXPECT_EQ(ansi.cell(0, 0), "abc");
    if (platform::ansiCodePage() == 1252) {
        EXPECT_EQ(ansi.cell(0, 1), "\xC3\x83\xC2\xA9");
    }
    Csv utf8;
    ASSERT_TRUE(utf8.obj.LoadFile2(X(path), X("utf-8")));
    EXPECT_EQ(utf8.cell(0, 1), "é");
    std::remove(path.c_str());
}

// ---- the sample files under tests/csv/data --------------------------------------------------

// Cells as tab-separated lines. The grid holds characters beyond U+FFFF as two 3-byte
// sequences, one per surrogate.
const char* const kUnicodeCells =
    "Name\tText\tNote\nZoë\t東京\t한국어\n"
    "emoji\t\xED\xA0\xBD\xED\xB8\x80 smile\tΩmega\nplain\ta+b=c\tx, y\n";

const struct {
    const char* file;
    const char* charset;
    bool identicalBytes; // the saved file equals the sample byte for byte
    const char* cells;
} kSamples[] = {
    {"windows-1252.csv", "windows-1252", true,
     "Name\tCity\tNote\nZoë\tKöln\tcrème, brûlée\nÑandú\tSão Paulo\tsay \"olé\"\n"
     "Æsir\tÞórshöfn\t£5 – €6\n"},
    {"shift_jis.csv", "shift_jis", true,
     "名前\t都市\tメモ\n山田\t東京\tｶﾞｷﾞ半角\n鈴木\t大阪\t「引用」、句点。\n佐藤\t札幌\t全角ＡＢＣ"
     "\n"},
    {"iso-2022-jp.csv", "iso-2022-jp", true,
     "名前\t都市\tメモ\n山田\t東京\tガギ全角\n鈴木\t大阪\t「引用」、句点。\n佐藤\t札幌\t全角ＡＢＣ"
     "\n"},
    {"euc-kr.csv", "euc-kr", true,
     "이름\t도시\t메모\n김민수\t서울\t안녕하세요\n이영희\t부산\t가, 나\n"},
    {"ibm037.csv", "ibm037", true,
     "Name\tCity\tNote\nZoe\tKoln\ta, b\nAndre\tSao Paulo\tx;y\ncafe\tZurich\t1.5 + 2 = 3.5\n"},
    {"utf-16le.csv", "unicode", true, kUnicodeCells},
    {"utf-16le-bom.csv", "utf-16", false, kUnicodeCells},
    {"utf-16be.csv", "utf-16be", true, kUnicodeCells},
    {"utf-7.csv", "utf-7", false, kUnicodeCells},
};

std::string readAll(Csv& csv) {
    std::string t;
    for (int r = 0; r < csv.obj.get_NumRows(); ++r)
        for (int c = 0; c < 3; ++c)
            t += csv.cell(r, c) + (c < 2 ? "\t" : "\n");
    return t;
}

TEST(ClsCsvCharsets, EverySampleLoadsAndSavesBack) {
    for (const auto& s : kSamples) {
        SCOPED_TRACE(s.file);
        Csv csv;
        std::string in = dataPath(s.file), out = tempPath(s.file);
        ASSERT_TRUE(csv.obj.LoadFile2(X(in), X(s.charset)));
        EXPECT_EQ(readAll(csv), s.cells);
        EXPECT_EQ(lines(csv.log())[1], "  LoadFile2:");
        ASSERT_TRUE(csv.obj.SaveFile2(X(out), X(s.charset)));
        std::string saved = readBytes(out), original = readBytes(in);
        if (s.identicalBytes) {
            EXPECT_EQ(saved, original);
        }
        if (original.compare(0, 2, "\xFF\xFE") == 0) {
            EXPECT_EQ(saved, original.substr(2));
        }
        Csv back;
        ASSERT_TRUE(back.obj.LoadFile2(X(out), X(s.charset)));
        EXPECT_EQ(readAll(back), s.cells);
        std::remove(out.c_str());
    }
}

TEST(ClsCsvCharsets, UnknownAndUnconvertibleCharsets) {
    std::string path = dataPath("windows-1252.csv");
    Csv unknown;
    ASSERT_TRUE(unknown.obj.LoadFile2(X(path), X("no-such-charset")));
    EXPECT_EQ(unknown.cell(1, 0), "Zo\xEB"); // bytes left as they were read
    Csv none;
    ASSERT_TRUE(none.obj.LoadFile2(X(path), X("x-mac-korean"))); // known, no conversion
    EXPECT_EQ(none.obj.get_NumRows(), 0);
    std::string out = tempPath("none.csv");
    ASSERT_TRUE(unknown.obj.SaveFile2(X(out), X("hz-gb-2312")));
    EXPECT_EQ(readBytes(out), "");
    std::remove(out.c_str());
}

} // namespace
