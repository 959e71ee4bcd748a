// The CSV document object: settings around loads, range rules, what is logged, files and the
// sample files of every charset family under tests/csv/data.
#include "csv/CsvTestSupport.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using csvtest::Csv;
using csvtest::X;

std::string secondLine(const std::string& report) {
    const size_t start = report.find("\r\n") + 2;
    return report.substr(start, report.find("\r\n", start) - start);
}

TEST(ClsCsvSettings, DelimiterColumnNamesAndRanges) {
    Csv csv;
    csv.obj.put_Delimiter(X("")); // ignored
    EXPECT_EQ(csv.delimiter(), ",");
    csv.obj.put_Delimiter(X("\t")); // does not survive the load
    ASSERT_TRUE(csv.loadString("a\tb"));
    EXPECT_EQ(csv.delimiter(), ";");
    EXPECT_EQ(csv.obj.GetNumCols(0), 1);
    csv.obj.put_Delimiter(X("\t"));
    EXPECT_EQ(csv.cell(0, 1), "b");
    Csv on; // names switched on after the load: the first line stays a row
    ASSERT_TRUE(on.loadString("a,b\r\nc,d\r\n"));
    on.obj.put_HasColumnNames(true);
    EXPECT_EQ(on.cell(0, 0), "a");
    EXPECT_EQ(on.save(), "\r\na,b\r\nc,d\r\n");
    Csv off; // and off: the names stay readable but are not saved
    off.obj.put_HasColumnNames(true);
    ASSERT_TRUE(off.loadString("Name,Age,Town\r\nBob,7\r\n"));
    EXPECT_EQ(off.obj.get_NumColumns(), 3);
    EXPECT_EQ(off.obj.GetNumCols(0), 2);
    EXPECT_EQ(off.columnName(1000001), "");
    off.obj.put_HasColumnNames(false);
    EXPECT_EQ(off.columnName(1), "Age");
    EXPECT_EQ(off.obj.GetIndex(X("Age")), 1);
    EXPECT_EQ(off.save(), "Bob,7\r\n");
    // Ranges: a missing column of an existing row reads empty, a missing row fails.
    XString out;
    EXPECT_TRUE(off.obj.GetCell(0, 2, out));
    EXPECT_FALSE(off.obj.GetCell(1, 0, out));
    EXPECT_TRUE(off.obj.SetCell(0, -1, X("x")));
    EXPECT_FALSE(off.obj.SetColumnName(1000001, X("n")));
    EXPECT_TRUE(off.obj.SetColumnName(1000000, X("n")));
}

// A row before the first never reads, whatever the reads and changes before it left behind for
// the next cell of the row read last.
TEST(ClsCsvRanges, RowMinusOneFailsAfterAnyReadOrChange) {
    const std::function<void(Csv&)> before[] = {
        [](Csv&) {},
        [](Csv& c) { c.cell(0, 1); },
        [](Csv& c) { // the row read is changed
            c.cell(0, 1);
            c.obj.SetCell(0, 0, X("x"));
        },
        [](Csv& c) { // an edited row is read
            c.obj.SetCell(1, 0, X("x"));
            c.cell(1, 1);
        },
        [](Csv& c) {
            c.cell(0, 1);
            c.obj.put_Delimiter(X(";"));
        },
        [](Csv& c) { // read out of order (through the field index), then loaded again
            c.cell(2, 1);
            c.cell(0, 1);
            c.loadString("p,q\nr,s\n");
        },
        [](Csv& c) {
            c.cell(2, 1);
            c.cell(0, 1);
            c.save();
        },
    };
    for (size_t i = 0; i < sizeof before / sizeof *before; ++i)
        for (int col : {0, 1}) {
            SCOPED_TRACE(testing::Message() << "sequence " << i << " column " << col);
            Csv csv;
            ASSERT_TRUE(csv.loadString("a,b\nc,\"d\"\ne,f\n"));
            before[i](csv);
            XString out;
            EXPECT_FALSE(csv.obj.GetCell(-1, col, out)) << out.getUtf8();
        }
}

TEST(ClsCsvLog, LoadsAndSavesAreLoggedOtherCallsAreNot) {
    Csv csv;
    ASSERT_TRUE(csv.loadString("a,b\n"));
    const std::string before = csv.log();
    EXPECT_EQ(secondLine(before), "  LoadFromString:");
    XString out;
    csv.obj.GetCell(0, 0, out);
    csv.obj.SetCell(0, 1, X("x"));
    csv.obj.GetIndex(X("a"));
    csv.obj.put_Delimiter(X(";"));
    EXPECT_EQ(csv.log(), before);
    csv.save();
    EXPECT_EQ(secondLine(csv.log()), "  SaveToString:"); // (failed loads: the path suite)
}

TEST(ClsCsvFiles, SaveFileAndByteOrderMark) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    Csv ansi; // SaveFile writes the ANSI code page
    ASSERT_TRUE(ansi.loadString("café,€\n"));
    ASSERT_TRUE(ansi.obj.SaveFile(X(dir.utf8Path("ansi.csv"))));
    if (platform::ansiCodePage() == 1252)
        EXPECT_EQ(testfs::contentsOf(dir.path("ansi.csv")), "caf\xE9,\x80\r\n");
    Csv back;
    ASSERT_TRUE(back.loadFile(dir.path("ansi.csv")));
    EXPECT_EQ(back.cell(0, 1), "€");
    // A UTF-8 byte-order mark goes before the ANSI conversion.
    ASSERT_TRUE(testfs::writeAll(dir.path("bom.csv"), "\xEF\xBB\xBF"
                                                      "abc,\xC3\xA9\r\n"));
    Csv bom, utf8;
    ASSERT_TRUE(bom.loadFile(dir.path("bom.csv")));
    EXPECT_EQ(bom.cell(0, 0), "abc");
    if (platform::ansiCodePage() == 1252) EXPECT_EQ(bom.cell(0, 1), "\xC3\x83\xC2\xA9");
    ASSERT_TRUE(utf8.loadFile(dir.path("bom.csv"), "utf-8"));
    EXPECT_EQ(utf8.cell(0, 1), "é");
}

// A save normalises the line ends inside stored rows, but only once the file is written: a
// save that fails leaves every cell as it was, whichever way the charset is written out (by
// stretches of lines, or as one converted text). What a save keeps is what it wrote.
TEST(ClsCsvFiles, AFailedSaveLeavesTheRowsAsTheyWere) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string missing = dir.utf8Path("no such folder/t.csv");
    const char* const charsets[] = {"utf-8", "utf-16",      "windows-1252", "utf-32",
                                    "utf-7", "iso-2022-jp", nullptr}; // null: SaveFile
    for (const bool crlf : {true, false})
        for (const char* charset : charsets) {
            SCOPED_TRACE(std::string(charset ? charset : "SaveFile") + (crlf ? " crlf" : " lf"));
            Csv csv;
            ASSERT_TRUE(csv.loadString("\"a\nb\",c\rd\n1,2\n"));
            ASSERT_TRUE(csv.obj.SetCell(1, 1, X("x\r\ny")));
            csv.obj.put_Crlf(crlf);
            const auto save = [&](const std::string& path) {
                return charset ? csv.obj.SaveFile2(X(path), X(charset)) : csv.obj.SaveFile(X(path));
            };
            const auto cells = [&] {
                return csv.cell(0, 0) + "|" + csv.cell(0, 1) + "|" + csv.cell(1, 1);
            };
            EXPECT_FALSE(save(missing));
            EXPECT_EQ(cells(), "a\nb|c\rd|x\r\ny");
            const std::string good = dir.utf8Path("t.csv");
            ASSERT_TRUE(save(good));
            EXPECT_EQ(cells(), crlf ? "a\r\nb|cd|x\r\ny" : "a\nb|c\rd|x\ny");
            Csv back;
            ASSERT_TRUE(charset ? back.loadFile(dir.path("t.csv"), charset)
                                : back.loadFile(dir.path("t.csv")));
            // (A load turns CR LF into LF; the unquoted line break of the cell set splits its row.)
            EXPECT_EQ(back.cell(0, 0) + "|" + back.cell(0, 1), crlf ? "a\nb|cd" : "a\nb|c\rd");
        }
}

std::string readAll(Csv& csv) {
    std::string t;
    for (int r = 0; r < csv.obj.get_NumRows(); ++r)
        for (int c = 0; c < 3; ++c)
            t += csv.cell(r, c) + (c < 2 ? "|" : "/");
    return t;
}

// samples.txt: file, charset, whether the saved file equals the sample, its cells (characters
// beyond U+FFFF read as two 3-byte sequences, one per surrogate; bytes not converted as read).
TEST(ClsCsvCharsets, EverySampleLoadsAndSavesBack) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string data = std::string(QX_TEST_DATA_DIR) + "/csv/data/";
    for (const auto& s : csvtest::caseFile("samples.txt")) {
        SCOPED_TRACE(s[0]);
        const std::string in = data + s[0], out = dir.utf8Path(s[0]);
        const std::string cells = csvtest::unescape(s[3]);
        Csv csv, back;
        ASSERT_TRUE(csv.obj.LoadFile2(X(in), X(s[1])));
        EXPECT_EQ(readAll(csv), cells);
        EXPECT_EQ(secondLine(csv.log()), "  LoadFile2:");
        ASSERT_TRUE(csv.obj.SaveFile2(X(out), X(s[1])));
        const std::string saved = testfs::contentsOf(out), original = testfs::contentsOf(in);
        if (s[2] == "1" || original.compare(0, 2, "\xFF\xFE") == 0)
            EXPECT_EQ(saved, original.substr(s[2] == "1" ? 0 : 2));
        ASSERT_TRUE(back.obj.LoadFile2(X(out), X(s[1])));
        EXPECT_EQ(readAll(back), cells);
    }
    Csv none; // a known charset without conversion writes nothing
    ASSERT_TRUE(none.obj.LoadFile2(X(data + "windows-1252.csv"), X("windows-1252")));
    ASSERT_TRUE(none.obj.SaveFile2(X(dir.utf8Path("none.csv")), X("hz-gb-2312")));
    EXPECT_EQ(testfs::contentsOf(dir.path("none.csv")), "");
}

} // namespace
