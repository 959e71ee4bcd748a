#include "csv/ClsCsv.h"

#include "platform/Platform.h"
#include "text/XString.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string dataPath(const char* name) { return std::string(QX_TEST_DATA_DIR) + "/csv/data/" + name; }

std::string readBytes(const std::string& path) {
    std::ifstream f(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string tempPath(const char* name) {
    const char* dir = std::getenv("TEMP");
    if (!dir) dir = std::getenv("TMPDIR");
    std::string base = dir ? dir : "/tmp";
    return base + "/qx_clscsv_" + name;
}

struct Csv {
    ClsCsv obj;

    bool loadString(const char* utf8) {
        XString s;
        s.setFromUtf8(utf8);
        return obj.LoadFromString(s);
    }
    std::string saveString() {
        XString s;
        EXPECT_TRUE(obj.SaveToString(s));
        return s.getUtf8();
    }
    bool cell(int r, int c, std::string& out) {
        XString s;
        bool ok = obj.GetCell(r, c, s);
        out = s.getUtf8();
        return ok;
    }
    std::string cell(int r, int c) {
        std::string out;
        cell(r, c, out);
        return out;
    }
    bool setCell(int r, int c, const char* utf8) {
        XString s;
        s.setFromUtf8(utf8);
        return obj.SetCell(r, c, s);
    }
    void setDelimiter(const char* utf8) {
        XString s;
        s.setFromUtf8(utf8);
        obj.put_Delimiter(s);
    }
    std::string delimiter() {
        XString s;
        obj.get_Delimiter(s);
        return s.getUtf8();
    }
    std::string columnName(int i) {
        XString s;
        EXPECT_TRUE(obj.GetColumnName(i, s));
        return s.getUtf8();
    }
    int index(const char* utf8) {
        XString s;
        s.setFromUtf8(utf8);
        return obj.GetIndex(s);
    }
    std::string text() {
        XString s;
        obj.lastErrorText(s, true);
        return s.getUtf8();
    }
    bool loadFile2(const std::string& path, const char* charset) {
        XString p, cs;
        p.setFromUtf8(path.c_str());
        cs.setFromUtf8(charset);
        return obj.LoadFile2(p, cs);
    }
    bool saveFile2(const std::string& path, const char* charset) {
        XString p, cs;
        p.setFromUtf8(path.c_str());
        cs.setFromUtf8(charset);
        return obj.SaveFile2(p, cs);
    }
    bool loadFile(const std::string& path) {
        XString p;
        p.setFromUtf8(path.c_str());
        return obj.LoadFile(p);
    }
    bool saveFile(const std::string& path) {
        XString p;
        p.setFromUtf8(path.c_str());
        return obj.SaveFile(p);
    }
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            if (start < text.size()) out.push_back(text.substr(start));
            return out;
        }
        out.push_back(text.substr(start, end - start));
        start = end + 2;
    }
}

} // namespace

TEST(ClsCsvDelimiter, SetBeforeLoadDoesNotSurviveTheLoad) {
    Csv csv;
    csv.setDelimiter("\t");
    ASSERT_TRUE(csv.loadString("a\tb"));
    EXPECT_EQ(csv.delimiter(), ";");
    EXPECT_EQ(csv.obj.GetNumCols(0), 1);
    EXPECT_EQ(csv.cell(0, 0), "a\tb");
    csv.setDelimiter("\t");
    EXPECT_EQ(csv.obj.GetNumCols(0), 2);
    EXPECT_EQ(csv.cell(0, 0), "a");
    EXPECT_EQ(csv.cell(0, 1), "b");
}

TEST(ClsCsvDelimiter, PutTakesTheFirstCharacterAndIgnoresEmpty) {
    struct Case {
        const char* put;
        const char* expect;
    } cases[] = {{"", ","}, {"|;", "|"}, {";", ";"}, {"\t", "\t"}};
    for (const Case& c : cases) {
        Csv csv;
        csv.setDelimiter(c.put);
        EXPECT_EQ(csv.delimiter(), c.expect) << "put '" << c.put << "'";
    }
}

TEST(ClsCsvLoadSave, EmptyStringAndNewObject) {
    Csv fresh;
    EXPECT_EQ(fresh.saveString(), "");
    EXPECT_EQ(fresh.delimiter(), ",");
    EXPECT_TRUE(fresh.obj.get_Crlf());
    EXPECT_FALSE(fresh.obj.get_HasColumnNames());

    Csv csv;
    ASSERT_TRUE(csv.loadString("x,y\r\n"));
    ASSERT_TRUE(csv.loadString(""));
    EXPECT_EQ(csv.obj.get_NumRows(), 0);
    EXPECT_EQ(csv.obj.get_NumColumns(), 0);
}

TEST(ClsCsvLoadSave, FailedLoadLeavesAnEmptyTableAndLogsTheFailure) {
    Csv csv;
    ASSERT_TRUE(csv.loadString("a,b\nc,d\n"));
    EXPECT_FALSE(csv.loadFile(tempPath("does-not-exist.csv")));
    EXPECT_EQ(csv.obj.get_NumRows(), 0);
    std::string out;
    EXPECT_FALSE(csv.cell(0, 0, out));
    std::string report = csv.text();
    EXPECT_NE(report.find("  LoadFile:\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("WindowsError: 0x2\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("    Failed.\r\n"), std::string::npos) << report;
}

TEST(ClsCsvColumnNames, SwitchingAfterTheLoad) {
    Csv on;
    ASSERT_TRUE(on.loadString("a,b\r\nc,d\r\n"));
    on.obj.put_HasColumnNames(true);
    EXPECT_EQ(on.cell(0, 0), "a");
    EXPECT_EQ(on.saveString(), "\r\na,b\r\nc,d\r\n");

    Csv off;
    off.obj.put_HasColumnNames(true);
    ASSERT_TRUE(off.loadString("Name,Age\r\nBob,7\r\n"));
    off.obj.put_HasColumnNames(false);
    EXPECT_EQ(off.columnName(1), "Age");
    EXPECT_EQ(off.index("Age"), 1);
    EXPECT_EQ(off.saveString(), "Bob,7\r\n");
}

TEST(ClsCsvColumnNames, LookupIsCaseSensitiveAndCountsComeFromTheHeader) {
    Csv csv;
    csv.obj.put_HasColumnNames(true);
    ASSERT_TRUE(csv.loadString("Name,Age,Town\nBob,7\n"));
    EXPECT_EQ(csv.index("Name"), 0);
    EXPECT_EQ(csv.index("name"), -1);
    EXPECT_EQ(csv.index("Town"), 2);
    EXPECT_EQ(csv.obj.get_NumColumns(), 3);
    EXPECT_EQ(csv.obj.GetNumCols(0), 2);
    EXPECT_EQ(csv.columnName(5), "");
    EXPECT_EQ(csv.columnName(-1), "");
    EXPECT_EQ(csv.columnName(1000001), "");

    Csv noHeader;
    ASSERT_TRUE(noHeader.loadString("a,b,c\nd\n"));
    EXPECT_EQ(noHeader.obj.get_NumColumns(), 3);
}

TEST(ClsCsvCells, RangeRules) {
    Csv csv;
    ASSERT_TRUE(csv.loadString("a,b\n"));
    std::string out = "junk";
    struct Case {
        int row, col;
        bool ok;
        const char* text;
    } cases[] = {{0, 0, true, "a"}, {0, 1, true, "b"}, {0, 2, true, ""}, {0, -1, true, ""},
                 {1, 0, false, ""}, {-1, 0, false, ""}};
    for (const Case& c : cases) {
        EXPECT_EQ(csv.cell(c.row, c.col, out), c.ok) << c.row << "," << c.col;
        EXPECT_EQ(out, c.text) << c.row << "," << c.col;
    }
    EXPECT_FALSE(csv.setCell(-1, 0, "x"));
    EXPECT_TRUE(csv.setCell(0, -1, "x"));
    EXPECT_EQ(csv.saveString(), "a,b\r\n");
    XString name;
    name.setFromUtf8("n");
    EXPECT_FALSE(csv.obj.SetColumnName(-1, name));
    EXPECT_FALSE(csv.obj.SetColumnName(1000001, name));
    EXPECT_TRUE(csv.obj.SetColumnName(1000000, name));
}

TEST(ClsCsvLog, UnloggedOperationsKeepTheLastReport) {
    Csv csv;
    ASSERT_TRUE(csv.loadString("a,b\n"));
    std::string before = csv.text();
    std::vector<std::string> l = lines(before);
    ASSERT_GE(l.size(), 6u) << before;
    EXPECT_EQ(l[0], "QuenlixLog:");
    EXPECT_EQ(l[1], "  LoadFromString:");
    EXPECT_EQ(l[2], "    DllDate: Mar 10 2009");
    EXPECT_EQ(l[3].rfind("    Username: ", 0), 0u);
    EXPECT_EQ(l[4].rfind("    Component: ", 0), 0u);
    EXPECT_EQ(l.back(), "    Success.");

    csv.setCell(3, 1, "z");
    csv.cell(0, 0);
    csv.index("a");
    csv.setDelimiter(";");
    csv.obj.get_NumRows();
    EXPECT_EQ(csv.text(), before);

    csv.saveString();
    EXPECT_NE(csv.text().find("  SaveToString:\r\n"), std::string::npos);
    EXPECT_EQ(csv.text().find("LoadFromString"), std::string::npos);
}

TEST(ClsCsvLoadSave, SaveToStringReturnsTheWriterTextUnchanged) {
    Csv csv;
    ASSERT_TRUE(csv.loadString("é,\"x,y\",\"say \"\"hi\"\"\"\n日本,b\n"));
    EXPECT_EQ(csv.saveString(), "é,\"x,y\",\"say \"\"hi\"\"\"\r\n日本,b\r\n");
    csv.obj.put_Crlf(false);
    EXPECT_EQ(csv.saveString(), "é,\"x,y\",\"say \"\"hi\"\"\"\n日本,b\n");
}

TEST(ClsCsvFiles, SaveFileWritesTheAnsiCodePage) {
    Csv csv;
    ASSERT_TRUE(csv.loadString("café,€\n"));
    std::string path = tempPath("ansi.csv");
    ASSERT_TRUE(csv.saveFile(path));
    if (platform::ansiCodePage() == 1252) {
        EXPECT_EQ(readBytes(path), "caf\xE9,\x80\r\n");
    }
    Csv back;
    ASSERT_TRUE(back.loadFile(path));
    EXPECT_EQ(back.cell(0, 0), "café");
    EXPECT_EQ(back.cell(0, 1), "€");
    std::remove(path.c_str());
}

TEST(ClsCsvFiles, ByteOrderMarkIsRemovedBeforeTheAnsiConversion) {
    std::string path = tempPath("bom.csv");
    {
        std::ofstream f(path.c_str(), std::ios::binary);
        f << "\xEF\xBB\xBF" "abc,\xC3\xA9\r\n";
    }
    Csv ansi;
    ASSERT_TRUE(ansi.loadFile(path));
    EXPECT_EQ(ansi.cell(0, 0), "abc");
    if (platform::ansiCodePage() == 1252) {
        // The two UTF-8 bytes of é are read as two windows-1252 characters.
        EXPECT_EQ(ansi.cell(0, 1), "\xC3\x83\xC2\xA9");
    }
    Csv utf8;
    ASSERT_TRUE(utf8.loadFile2(path, "utf-8"));
    EXPECT_EQ(utf8.cell(0, 1), "é");
    std::remove(path.c_str());
}

namespace {
struct CharsetSample {
    const char* file;
    const char* charset;
    bool identicalBytes; // the saved file equals the sample byte for byte
    const char* cells[4][3];
};

const CharsetSample kSamples[] = {
    {"windows-1252.csv", "windows-1252", true,
     {{"Name", "City", "Note"},
      {"Zoë", "Köln", "crème, brûlée"},
      {"Ñandú", "São Paulo", "say \"olé\""},
      {"Æsir", "Þórshöfn", "£5 – €6"}}},
    {"shift_jis.csv", "shift_jis", true,
     {{"名前", "都市", "メモ"},
      {"山田", "東京", "ｶﾞｷﾞ半角"},
      {"鈴木", "大阪", "「引用」、句点。"},
      {"佐藤", "札幌", "全角ＡＢＣ"}}},
    {"iso-2022-jp.csv", "iso-2022-jp", true,
     {{"名前", "都市", "メモ"},
      {"山田", "東京", "ガギ全角"},
      {"鈴木", "大阪", "「引用」、句点。"},
      {"佐藤", "札幌", "全角ＡＢＣ"}}},
    {"euc-kr.csv", "euc-kr", true,
     {{"이름", "도시", "메모"}, {"김민수", "서울", "안녕하세요"}, {"이영희", "부산", "가, 나"}, {}}},
    {"ibm037.csv", "ibm037", true,
     {{"Name", "City", "Note"},
      {"Zoe", "Koln", "a, b"},
      {"Andre", "Sao Paulo", "x;y"},
      {"cafe", "Zurich", "1.5 + 2 = 3.5"}}},
    {"utf-16le.csv", "unicode", true,
     {{"Name", "Text", "Note"},
      {"Zoë", "東京", "한국어"},
      {"emoji", "\xF0\x9F\x98\x80 smile", "Ωmega"},
      {"plain", "a+b=c", "x, y"}}},
    {"utf-16le-bom.csv", "utf-16", false,
     {{"Name", "Text", "Note"},
      {"Zoë", "東京", "한국어"},
      {"emoji", "\xF0\x9F\x98\x80 smile", "Ωmega"},
      {"plain", "a+b=c", "x, y"}}},
    {"utf-16be.csv", "utf-16be", true,
     {{"Name", "Text", "Note"},
      {"Zoë", "東京", "한국어"},
      {"emoji", "\xF0\x9F\x98\x80 smile", "Ωmega"},
      {"plain", "a+b=c", "x, y"}}},
    {"utf-7.csv", "utf-7", false,
     {{"Name", "Text", "Note"},
      {"Zoë", "東京", "한국어"},
      {"emoji", "\xF0\x9F\x98\x80 smile", "Ωmega"},
      {"plain", "a+b=c", "x, y"}}},
};

// The grid holds characters beyond U+FFFF as two 3-byte sequences, one per surrogate.
std::string cellAsHeld(const char* utf8) {
    std::string s = utf8;
    size_t at = s.find("\xF0\x9F\x98\x80");
    if (at != std::string::npos) s.replace(at, 4, "\xED\xA0\xBD\xED\xB8\x80");
    return s;
}
} // namespace

TEST(ClsCsvCharsets, LoadFile2ReadsEverySampleAndSaveFile2WritesItBack) {
    for (const CharsetSample& s : kSamples) {
        SCOPED_TRACE(s.file);
        Csv csv;
        std::string in = dataPath(s.file);
        ASSERT_TRUE(csv.loadFile2(in, s.charset));
        int rows = s.cells[3][0] ? 4 : 3;
        ASSERT_EQ(csv.obj.get_NumRows(), rows);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < 3; ++c) EXPECT_EQ(csv.cell(r, c), cellAsHeld(s.cells[r][c]));
        std::vector<std::string> l = lines(csv.text());
        ASSERT_GE(l.size(), 3u);
        EXPECT_EQ(l[1], "  LoadFile2:");
        EXPECT_EQ(l.back(), "    Success.");

        std::string out = tempPath(s.file);
        ASSERT_TRUE(csv.saveFile2(out, s.charset));
        std::string saved = readBytes(out);
        std::string original = readBytes(in);
        if (s.identicalBytes) {
            EXPECT_EQ(saved, original);
        } else if (original.compare(0, 2, "\xFF\xFE") == 0) {
            EXPECT_EQ(saved, original.substr(2)); // no byte-order mark is ever written
        }
        Csv back;
        ASSERT_TRUE(back.loadFile2(out, s.charset));
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < 3; ++c) EXPECT_EQ(back.cell(r, c), cellAsHeld(s.cells[r][c]));
        std::remove(out.c_str());
    }
}

TEST(ClsCsvCharsets, UnknownAndUnconvertibleCharsets) {
    std::string path = dataPath("windows-1252.csv");
    Csv unknown;
    ASSERT_TRUE(unknown.loadFile2(path, "no-such-charset"));
    EXPECT_EQ(unknown.cell(1, 0), "Zo\xEB"); // bytes left as they were read
    Csv none;
    ASSERT_TRUE(none.loadFile2(path, "x-mac-korean")); // known name, no conversion
    EXPECT_EQ(none.obj.get_NumRows(), 0);
    std::string out = tempPath("none.csv");
    Csv some;
    ASSERT_TRUE(some.loadString("a,b\n"));
    ASSERT_TRUE(some.saveFile2(out, "hz-gb-2312"));
    EXPECT_EQ(readBytes(out), "");
    std::remove(out.c_str());
}
