// Sizes and shapes: a line of 100 MB, a million columns, names or empty lines, UTF-16 cut
// mid-unit, files past a buffer's signed 32-bit length and row indexes far beyond the table. A
// failed call keeps what the object held (a failed load only the settings). Cases needing
// gigabytes run only with QX_BIG_TESTS=1.
#include "csv/CsvTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

namespace {

namespace fs = std::filesystem;
using csvtest::Csv;
using csvtest::repeated;
using csvtest::X;

// What a caller can see of a table, to compare before and after a call that must change nothing.
std::string snapshot(Csv& csv) {
    return std::to_string(csv.obj.get_NumRows()) + csv.delimiter() +
           (csv.obj.get_Crlf() ? "C" : "") + (csv.obj.get_HasColumnNames() ? "N" : "") + csv.save();
}

// Loads text from a string, or from a file written with it.
bool load(Csv& csv, const testfs::TempDir& dir, const std::string& text, bool fromFile) {
    if (!fromFile) return csv.loadString(text);
    return testfs::writeAll(dir.path("in.csv"), text) && csv.loadFile(dir.path("in.csv"));
}

// One line of 100 MB as one field (from a file) and as 9-byte fields (from a string), each field
// its number padded with a letter that changes per field, so that a misplaced or short cell is
// noticed. 3 to 5 s and 800 MB a case with ASan.
TEST(SizeShape, OneLineOf100MBLoadsReadsAndSaves) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    const int kLong = 100 << 20;
    for (int fieldLength : {kLong, 9}) {
        const bool fromFile = fieldLength == kLong;
        SCOPED_TRACE(fieldLength);
        const auto field = [&](int i) {
            std::string f = std::to_string(i);
            f.resize(static_cast<size_t>(fieldLength), static_cast<char>('a' + i % 26));
            return f;
        };
        const int fields = (kLong + 1) / (fieldLength + 1);
        std::string line;
        line.reserve(static_cast<size_t>(kLong) + 16);
        for (int i = 0; i < fields; ++i)
            (line += i ? "," : "") += field(i);
        Csv csv;
        ASSERT_TRUE(load(csv, dir, fromFile ? line + "\r\n" : line, fromFile));
        ASSERT_EQ(csv.obj.get_NumRows(), 1);
        ASSERT_EQ(csv.obj.GetNumCols(0), fields);
        for (int i : {0, fields / 2, fields - 1})
            EXPECT_EQ(csv.cell(0, i), field(i)) << "cell " << i;
        EXPECT_EQ(csv.cell(0, fields), "");
        EXPECT_TRUE(csv.save() == line + "\r\n");
        ASSERT_TRUE(csv.obj.SaveFile(X(dir.utf8Path("out.csv"))));
        EXPECT_TRUE(testfs::contentsOf(dir.path("out.csv")) == line + "\r\n");
    }
}

// A million columns in a data row, then as names (one pass over the row and the name index, not
// one per cell). 9 s and 700 MB with ASan.
TEST(SizeShape, MillionColumnsAndColumnNames) {
    const int kWide = 1000000;
    std::string line;
    for (int i = 0; i < kWide; ++i)
        (line += i ? ",c" : "c") += std::to_string(i);
    Csv csv;
    ASSERT_TRUE(csv.loadString(line + "\nlast,row\n"));
    ASSERT_EQ(csv.obj.GetNumCols(0), kWide);
    int wrong = 0;
    for (int i = 0; i < kWide; ++i)
        wrong += csv.cell(0, i) != "c" + std::to_string(i);
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(csv.obj.SetCell(0, kWide - 1, X("end")));
    EXPECT_TRUE(csv.obj.SetCell(0, kWide, X("new,one")));
    EXPECT_EQ(csv.obj.GetNumCols(0), kWide + 1);
    EXPECT_TRUE(csv.save() ==
                line.substr(0, line.rfind(',') + 1) + "end,\"new,one\"\r\nlast,row\r\n");

    Csv names;
    names.obj.put_HasColumnNames(true);
    ASSERT_TRUE(names.loadString(line + "\nlast,row\n"));
    EXPECT_EQ(names.obj.get_NumColumns(), kWide);
    for (int i : {0, kWide / 3, kWide - 1}) {
        EXPECT_EQ(names.columnName(i), "c" + std::to_string(i));
        EXPECT_EQ(names.obj.GetIndex(X("c" + std::to_string(i))), i);
    }
    EXPECT_EQ(names.obj.GetIndex(X("c" + std::to_string(kWide))), -1);
    EXPECT_TRUE(names.obj.SetColumnName(kWide, X("n,ew")));
    EXPECT_EQ(names.obj.GetIndex(X("n,ew")), kWide);
    EXPECT_TRUE(names.save() == line + ",\"n,ew\"\r\nlast,row\r\n");
}

// A million empty lines: blank lines before the last non-blank one stay as empty rows.
TEST(SizeShape, MillionEmptyLines) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    const int kMany = 1000000;
    const struct {
        std::string text;
        bool names, fromFile;
        int rows;
    } cases[] = {
        {repeated("\r\n", kMany), false, true, 0},
        {repeated("\n", kMany) + "x", false, false, kMany + 1},
        {"x" + repeated("\r\n", kMany), false, true, 1},
        {"h\n" + repeated("\r\n", kMany) + "x\n", true, true, kMany + 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 4) + " " + std::to_string(c.rows));
        Csv csv;
        csv.obj.put_HasColumnNames(c.names);
        ASSERT_TRUE(load(csv, dir, c.text, c.fromFile));
        ASSERT_EQ(csv.obj.get_NumRows(), c.rows);
        const std::string header = c.names ? "h\r\n" : "";
        EXPECT_TRUE(csv.save() ==
                    header + repeated("\r\n", c.rows ? c.rows - 1 : 0) + (c.rows ? "x\r\n" : ""));
        if (c.rows <= 1) continue;
        const int mid = (c.rows - 1) / 2; // an empty row takes a cell beyond its end
        EXPECT_EQ(csv.obj.GetNumCols(0) + csv.obj.GetNumCols(mid), 0);
        ASSERT_TRUE(csv.obj.SetCell(mid, 2, X("v")));
        EXPECT_EQ(csv.cell(mid, 2), "v");
        EXPECT_EQ(csv.obj.GetNumCols(mid), 3);
        EXPECT_EQ(csv.obj.GetNumCols(mid + 1), 0);
    }
}

// tests/csv/data/utf16-odd.txt: a lone last byte of any value drops.
TEST(SizeShape, Utf16OddByteCountDropsTheLoneLastByte) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    for (const auto& c : csvtest::caseFile("utf16-odd.txt")) {
        ASSERT_EQ(c.size(), 3u) << c[0];
        ASSERT_TRUE(testfs::writeAll(dir.path("odd.csv"), csvtest::unescape(c[1])));
        Csv csv;
        ASSERT_TRUE(csv.loadFile(dir.path("odd.csv"), c[0].c_str()));
        EXPECT_EQ(csv.save(), csvtest::unescape(c[2])) << c[0] << " " << c[1];
    }
}

// Refused before anything is allocated or read; the files are sparse. The failed load leaves the
// table empty, the settings and the delimiter of the last good load stay.
TEST(SizeShape, FilesOf2GiBAndMoreAreRefusedWithTheOutOfMemoryMessage) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    const unsigned long long kGiB = 1ULL << 30;
    std::error_code ec;
    const fs::space_info space = fs::space(dir.root(), ec);
    if (ec || space.available < 4 * kGiB + (64ULL << 20))
        GTEST_SKIP() << "needs 4 GiB free in " << testfs::utf8(dir.root());
    const fs::path path = dir.path("huge.csv");
    for (unsigned long long size : {2 * kGiB - 1, 2 * kGiB, 4 * kGiB + 16}) {
        SCOPED_TRACE(size);
        ASSERT_TRUE(testfs::writeAll(path, ""));
        fs::resize_file(path, size, ec);
        ASSERT_TRUE(!ec && fs::file_size(path) == size);
        for (const char* charset : {static_cast<const char*>(nullptr), "utf-16"}) {
            Csv csv;
            csv.obj.put_Crlf(false);
            csv.obj.put_HasColumnNames(true);
            ASSERT_TRUE(csv.loadString("n;m\na;b\n"));
            EXPECT_FALSE(csv.loadFile(path, charset));
            const std::string fileSize = "fileSize: " + std::to_string(size) + "\r\n";
            for (const std::string& m :
                 {std::string("Out of memory reading file into string buffer"), fileSize,
                  std::string("Failed.")})
                EXPECT_NE(csv.log().find(m), std::string::npos) << m;
            EXPECT_EQ(snapshot(csv), "0;N\n");
            ASSERT_TRUE(csv.loadString("n;m\na;b\n"));
            EXPECT_EQ(csv.cell(0, 1), "b");
        }
        fs::remove(path, ec);
    }
}

// Rows past the growth bound are refused and change nothing; a row a million lines beyond the
// end is made with empty rows before it; rows past the bound that a load made take values.
TEST(SizeShape, RowIndexesBeyondTheTable) {
    Csv csv;
    ASSERT_TRUE(csv.loadString("a,b\nc,d\n"));
    const std::string before = snapshot(csv);
    for (int row : {2000000000, INT_MAX, Grid::kMaxRows, -1, INT_MIN}) {
        EXPECT_FALSE(csv.obj.SetCell(row, 0, X("x"))) << row;
        EXPECT_FALSE(csv.obj.SetCell(row, INT_MAX, X("x"))) << row;
        EXPECT_EQ(snapshot(csv), before) << row;
    }
    // A column so far out that the row would pass the size limit: refused, not a silent no-op.
    for (int col : {INT_MAX, 0x7FFFFFF0})
        for (int row : {0, 1}) {
            EXPECT_FALSE(csv.obj.SetCell(row, col, X("x"))) << row << "," << col;
            EXPECT_EQ(snapshot(csv), before) << row;
        }
    ASSERT_TRUE(csv.obj.SetCell(1000001, 1, X("z")));
    EXPECT_EQ(csv.obj.get_NumRows(), 1000002);
    EXPECT_TRUE(csv.save() == "a,b\r\nc,d\r\n" + repeated("\r\n", 999999) + ",z\r\n");

    const int bound = Grid::kMaxRows, rows = bound + 2;
    Csv loaded;
    ASSERT_TRUE(loaded.loadString(repeated("x\n", rows)));
    ASSERT_EQ(loaded.obj.get_NumRows(), rows);
    EXPECT_TRUE(loaded.obj.SetCell(rows - 1, 1, X("y")));
    EXPECT_EQ(loaded.cell(rows - 1, 0) + loaded.cell(rows - 1, 1) + loaded.cell(bound, 0), "xyx");
    EXPECT_FALSE(loaded.obj.SetCell(rows, 0, X("z")));
    EXPECT_EQ(loaded.obj.get_NumRows(), rows);
}

// Growing a table to its row bound (7 s and 1.6 GB with ASan).
TEST(SizeShapeBig, LastRowAllowed) {
    const char* big = std::getenv("QX_BIG_TESTS");
    if (!big || std::string(big) != "1") GTEST_SKIP() << "set QX_BIG_TESTS=1 for gigabyte cases";
    const int bound = Grid::kMaxRows;
    Csv csv;
    ASSERT_TRUE(csv.loadString("a,b\n"));
    ASSERT_TRUE(csv.obj.SetCell(bound - 1, 0, X("z")));
    EXPECT_EQ(csv.obj.get_NumRows(), bound);
    EXPECT_EQ(csv.cell(bound - 1, 0), "z");
    EXPECT_FALSE(csv.obj.SetCell(bound, 0, X("y")));
}

} // namespace
