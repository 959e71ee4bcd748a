// Size and shape robustness: a line of 100 MB, a million columns or empty lines, texts of one
// repeated mark, a NUL inside a line, UTF-16 files cut mid-unit, files too large for a buffer's
// signed 32-bit length, and row indexes far beyond the table. A call that fails must keep what
// the object held (a load empties the table first, so a failed load keeps only the settings).
// Costs are for the unoptimised ASan build and the 32-bit build under Wine; cases needing a
// gigabytes of memory run only with QX_BIG_TESTS=1.
#include "csv/CsvTestSupport.h"
#include "csv/Grid.h"
#include "log/Logger.h"
#include "platform/Platform.h"
#include "text/StringBuffer.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using csvtest::Csv;
using csvtest::repeated;
using csvtest::X;

// What a caller can see of a table: checked before and after a call that must change nothing.
struct Snapshot {
    int rows;
    std::string text, delimiter;
    bool crlf, names;
    explicit Snapshot(Csv& csv)
        : rows(csv.obj.get_NumRows()), text(csv.save()), delimiter(csv.delimiter()),
          crlf(csv.obj.get_Crlf()), names(csv.obj.get_HasColumnNames()) {}
    bool operator==(const Snapshot& o) const {
        return rows == o.rows && text == o.text && delimiter == o.delimiter && crlf == o.crlf &&
               names == o.names;
    }
};

// The whole file in one read (byte-at-a-time helpers take minutes for 100 MB under ASan).
std::string fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string bytes(static_cast<size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(&bytes[0], static_cast<std::streamsize>(bytes.size()));
    return in ? bytes : "<cannot read>";
}

bool bigTestsWanted() {
    const char* v = std::getenv("QX_BIG_TESTS");
    return v && std::string(v) == "1";
}

// Loads text from a string, or from a file written with it.
bool load(Csv& csv, const testfs::TempDir& dir, const std::string& text, bool fromFile) {
    if (!fromFile) return csv.loadString(text);
    return testfs::writeAll(dir.path("in.csv"), text) && csv.loadFile(dir.path("in.csv"));
}

const int kLongLine = 100 << 20;

// Field i: its number padded with a letter that changes per field, so a misplaced or short cell
// is noticed.
std::string longField(int i, int length) {
    std::string f = std::to_string(i);
    f.resize(static_cast<size_t>(length), static_cast<char>('a' + i % 26));
    return f;
}

struct LongLineCase {
    const char* name;
    int fieldLength; // fields this long fill the line
    bool fromFile;
};
const LongLineCase kLongLines[] = {
    {"OneFieldFromFile", kLongLine, true},
    {"OneFieldFromString", kLongLine, false},
    {"NineByteFieldsFromFile", 9, true},
    {"NineByteFieldsFromString", 9, false},
};

class SizeShapeLongLine : public testing::TestWithParam<LongLineCase> {};

// Per case: 3 to 5 s and 800 MB with ASan, 2 to 3 s and 550 MB under Wine.
TEST_P(SizeShapeLongLine, OneLineOf100MBLoadsReadsAndSaves) {
    const LongLineCase& c = GetParam();
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    const int fields = (kLongLine + 1) / (c.fieldLength + 1);
    std::string line;
    line.reserve(static_cast<size_t>(kLongLine) + 16);
    for (int i = 0; i < fields; ++i)
        (line += i ? "," : "") += longField(i, c.fieldLength);
    Csv csv;
    ASSERT_TRUE(load(csv, dir, c.fromFile ? line + "\r\n" : line, c.fromFile));
    ASSERT_EQ(csv.obj.get_NumRows(), 1);
    ASSERT_EQ(csv.obj.GetNumCols(0), fields);
    for (int i : {0, 1, fields / 2, fields - 1})
        if (i < fields) {
            EXPECT_EQ(csv.cell(0, i), longField(i, c.fieldLength)) << "cell " << i;
        }
    EXPECT_EQ(csv.cell(0, fields), "");
    EXPECT_TRUE(csv.save() == line + "\r\n");
    const fs::path out = dir.path("long-out.csv");
    ASSERT_TRUE(csv.obj.SaveFile(X(testfs::utf8(out))));
    EXPECT_TRUE(fileBytes(out) == line + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(Cases, SizeShapeLongLine, testing::ValuesIn(kLongLines),
                         [](const testing::TestParamInfo<LongLineCase>& i) {
                             return std::string(i.param.name);
                         });

const int kWide = 1000000;

std::string wideLine() {
    std::string line;
    line.reserve(7u * kWide);
    for (int i = 0; i < kWide; ++i)
        (line += i ? ",c" : "c") += std::to_string(i);
    return line;
}

// 2.5 s and 280 MB with ASan, 1 s and 50 MB under Wine.
TEST(SizeShapeWideRow, MillionColumnsInADataRow) {
    const std::string line = wideLine();
    Csv csv;
    ASSERT_TRUE(csv.loadString(line + "\nlast,row\n"));
    EXPECT_EQ(csv.obj.get_NumColumns(), kWide);
    ASSERT_EQ(csv.obj.GetNumCols(0), kWide);
    int wrong = 0; // every cell in turn: one pass over the row, not one per cell
    for (int i = 0; i < kWide; ++i)
        if (csv.cell(0, i) != "c" + std::to_string(i)) ++wrong;
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(csv.obj.SetCell(0, kWide - 1, X("end")));
    EXPECT_TRUE(csv.obj.SetCell(0, kWide, X("new,one")));
    EXPECT_EQ(csv.obj.GetNumCols(0), kWide + 1);
    EXPECT_EQ(csv.cell(0, kWide - 2), "c" + std::to_string(kWide - 2));
    EXPECT_TRUE(csv.save() ==
                line.substr(0, line.rfind(',') + 1) + "end,\"new,one\"\r\nlast,row\r\n");
}

// A million names in the name index: one pass, not minutes. 6 s and 700 MB with ASan (an MD5
// digest and four blocks per name), 3 s and 270 MB under Wine.
TEST(SizeShapeWideRow, MillionColumnNames) {
    const std::string line = wideLine();
    Csv csv;
    csv.obj.put_HasColumnNames(true);
    ASSERT_TRUE(csv.loadString(line + "\nlast,row\n"));
    EXPECT_EQ(csv.obj.get_NumColumns(), kWide);
    EXPECT_EQ(csv.obj.get_NumRows(), 1);
    for (int i : {0, 1, kWide / 3, kWide - 1}) {
        EXPECT_EQ(csv.columnName(i), "c" + std::to_string(i));
        EXPECT_EQ(csv.obj.GetIndex(X("c" + std::to_string(i))), i);
    }
    EXPECT_EQ(csv.obj.GetIndex(X("c" + std::to_string(kWide))), -1);
    // Renaming moves the name; a name given twice points at the later column.
    EXPECT_TRUE(csv.obj.SetColumnName(5, X("five")));
    EXPECT_EQ(csv.obj.GetIndex(X("c5")), -1);
    EXPECT_TRUE(csv.obj.SetColumnName(kWide, X("n,ew")));
    EXPECT_TRUE(csv.obj.SetColumnName(kWide - 1, X("n,ew")));
    EXPECT_EQ(csv.obj.GetIndex(X("n,ew")), kWide - 1);
    EXPECT_EQ(csv.obj.GetIndex(X("five")), 5);
    const Snapshot before(csv);
    EXPECT_FALSE(csv.obj.SetColumnName(kWide + 1, X("no")));
    EXPECT_TRUE(Snapshot(csv) == before);
    std::string names = line;
    names.replace(names.find(",c5,"), 4, ",five,");
    names.replace(names.rfind(','), std::string::npos, ",\"n,ew\",\"n,ew\"");
    EXPECT_TRUE(csv.save() == names + "\r\nlast,row\r\n");
}

const int kManyLines = 1000000;

// 1 s and 210 MB with ASan, 0.5 s under Wine.
TEST(SizeShapeManyLines, MillionEmptyLines) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    const struct {
        const char* name;
        std::string text;
        bool names, fromFile;
        int rows; // the blank lines before the last non-blank one stay as empty rows
    } kCases[] = {
        {"LF only", repeated("\n", kManyLines), false, false, 0},
        {"CR LF only, file", repeated("\r\n", kManyLines), false, true, 0},
        {"blank lines then x", repeated("\n", kManyLines) + "x", false, false, kManyLines + 1},
        {"blank lines then x, file", repeated("\r\n", kManyLines) + "x\r\n", false, true,
         kManyLines + 1},
        {"x then blank lines", "x" + repeated("\r\n", kManyLines), false, true, 1},
        {"names, blank lines, x", "h\n" + repeated("\n", kManyLines) + "x\n", true, false,
         kManyLines + 1},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        Csv csv;
        csv.obj.put_HasColumnNames(c.names);
        ASSERT_TRUE(load(csv, dir, c.text, c.fromFile));
        ASSERT_EQ(csv.obj.get_NumRows(), c.rows);
        const std::string header = c.names ? "h\r\n" : "";
        const int last = c.rows - 1, mid = last / 2;
        if (c.rows <= 1) {
            EXPECT_EQ(csv.save(), header + (c.rows ? "x\r\n" : ""));
            continue;
        }
        EXPECT_EQ(csv.obj.GetNumCols(0) + csv.obj.GetNumCols(mid), 0);
        EXPECT_TRUE(csv.save() == header + repeated("\r\n", last) + "x\r\n");
        // An empty row takes a cell beyond its end like any other.
        ASSERT_TRUE(csv.obj.SetCell(mid, 2, X("v")));
        EXPECT_EQ(csv.cell(mid, 2), "v");
        EXPECT_EQ(csv.obj.GetNumCols(mid), 3);
        EXPECT_EQ(csv.obj.GetNumCols(mid + 1), 0);
    }
}

// 2 s and 260 MB with ASan for all cases, 1 s under Wine.
TEST(SizeShapeOneMark, FilesOfOnlyQuotesOrOnlyBackslashes) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    const int kMany = 2 << 20;
    for (char mark : {'"', '\\'}) {
        for (int n : {1, 2, 3, 4, kMany, kMany + 1}) {
            for (const std::string prefix : {"", "a,"}) { // the marks alone, or as a second field
                SCOPED_TRACE(prefix + std::string(1, mark) + " x " + std::to_string(n));
                const std::string text = prefix + std::string(static_cast<size_t>(n), mark);
                const int col = prefix.empty() ? 0 : 1;
                Csv csv;
                ASSERT_TRUE(load(csv, dir, text, true));
                ASSERT_EQ(csv.obj.get_NumRows(), 1);
                EXPECT_EQ(csv.obj.GetNumCols(0), col + 1);
                // The first quote opens a quoted part where each pair is one quote (an odd last
                // one closes it); each backslash pair is one backslash (an odd last one drops).
                const size_t kept = mark == '"' ? static_cast<size_t>(n - 1) / 2 : n / 2u;
                const std::string cell = csv.cell(0, col);
                EXPECT_TRUE(cell == std::string(kept, mark)) << cell.size() << " marks";
                EXPECT_TRUE(csv.save() == text + "\r\n");
                if (n % 2 == 1) continue; // an open quote or a pending escape takes the delimiter
                ASSERT_TRUE(csv.obj.SetCell(0, col + 1, X("x")));
                EXPECT_EQ(csv.obj.GetNumCols(0), col + 2);
            }
        }
    }
}

TEST(SizeShapeNul, NulInsideALine) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string kNul(1, '\0');
    const std::string kCases[] = {"a,b\nc" + kNul + "d,e\nf,g\n", "a,b\nc," + kNul + "d,e\nf,g\n",
                                  kNul + "a,b\nc,d\n", "a,\"b" + kNul + "c\",d\ne,f\n",
                                  "a,b\nc,d" + kNul};
    for (const std::string& bytes : kCases) {
        SCOPED_TRACE(bytes);
        ASSERT_TRUE(testfs::writeAll(dir.path("zero-byte.csv"), bytes));
        const size_t nul = bytes.find('\0');
        // Read as UTF-8 the NUL stays and ends the text for every scanner: the table holds what
        // came before it. LoadFile converts from the ANSI code page through UTF-16, which never
        // carries U+0000: the NUL drops out and nothing else is lost (unless ANSI is UTF-8).
        Csv cut, dropped, ansi, utf8;
        ASSERT_TRUE(cut.loadString(bytes.substr(0, nul)));
        ASSERT_TRUE(dropped.loadString(bytes.substr(0, nul) + bytes.substr(nul + 1)));
        ASSERT_TRUE(ansi.loadFile(dir.path("zero-byte.csv")));
        EXPECT_EQ(ansi.save(), (platform::ansiCodePage() == 65001 ? cut : dropped).save());
        ASSERT_TRUE(utf8.loadFile(dir.path("zero-byte.csv"), "utf-8"));
        EXPECT_EQ(utf8.save(), cut.save());
    }
}

TEST(SizeShapeUtf16, OddByteCountDropsTheLoneLastByte) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    const char16_t kUnits[] = u"a,\u00E9\r\n\u65E5,b\r\n";
    const std::string kSaved = "a,\xC3\xA9\r\n\xE6\x97\xA5,b\r\n";
    const struct {
        const char* charset;
        bool bigEndian;
        const char* mark;
    } kCases[] = {
        {"utf-16", false, ""},  {"utf-16", false, "\xFF\xFE"},  {"utf-16", true, "\xFE\xFF"},
        {"utf-16be", true, ""}, {"utf-16be", true, "\xFE\xFF"}, {"utf-16be", false, "\xFF\xFE"},
    };
    for (const auto& c : kCases) {
        for (char lone : {'\x41', '\x00', '\xD8'}) {
            SCOPED_TRACE(std::string(c.charset) + (c.bigEndian ? " BE" : " LE") +
                         (*c.mark ? " with mark" : "") + ", lone byte " + std::to_string(lone));
            std::string bytes = c.mark;
            for (const char16_t* u = kUnits; *u; ++u) {
                const char hi = static_cast<char>(*u >> 8), lo = static_cast<char>(*u & 0xFF);
                bytes += c.bigEndian ? std::string{hi, lo} : std::string{lo, hi};
            }
            ASSERT_TRUE(testfs::writeAll(dir.path("odd.csv"), bytes + lone));
            Csv csv;
            ASSERT_TRUE(csv.loadFile(dir.path("odd.csv"), c.charset));
            EXPECT_EQ(csv.obj.get_NumRows(), 2);
            EXPECT_EQ(csv.save(), kSaved);
        }
    }
    // Nothing but the lone byte, after a mark or alone: an empty table.
    for (const char* bytes : {"\xFF\xFE\x41", "\xFE\xFF\x41", "\x41"}) {
        ASSERT_TRUE(testfs::writeAll(dir.path("odd.csv"), bytes));
        Csv csv;
        ASSERT_TRUE(csv.loadFile(dir.path("odd.csv"), "utf-16"));
        EXPECT_EQ(csv.obj.get_NumRows(), 0) << bytes;
    }
}

// Sizes are refused before anything is allocated or read: milliseconds and no memory. The files
// are sparse on Linux and on the host file system under Wine.
TEST(SizeShapeHugeFile, FilesOf2GiBAndMoreAreRefusedWithTheOutOfMemoryMessage) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    const unsigned long long kGiB = 1ULL << 30;
    std::error_code ec;
    const fs::space_info space = fs::space(dir.root(), ec);
    // A file system without sparse files would write the whole size.
    if (ec || space.available < 4 * kGiB + (64ULL << 20))
        GTEST_SKIP() << "needs 4 GiB free in " << testfs::utf8(dir.root());
    const fs::path path = dir.path("huge.csv");
    for (unsigned long long size : {2 * kGiB - 1, 2 * kGiB, 4 * kGiB + 16}) {
        SCOPED_TRACE(size);
        ASSERT_TRUE(testfs::writeAll(path, ""));
        fs::resize_file(path, size, ec);
        ASSERT_TRUE(!ec && fs::file_size(path) == size);
        auto refused = [&](const std::string& log) {
            for (const std::string& part :
                 {std::string("Out of memory reading file into string buffer"),
                  "fileSize: " + std::to_string(size) + "\r\n"})
                EXPECT_NE(log.find(part), std::string::npos) << log;
        };
        StringBuffer sb("kept"); // the buffer keeps the text it held
        Logger log;
        EXPECT_FALSE(sb.loadFromFile(X(testfs::utf8(path)), &log));
        EXPECT_STREQ(sb.getString(), "kept");
        StringBuffer report;
        log.getText(report);
        refused(report.getString());
        // The object: the failed load leaves the table empty, the settings and the delimiter
        // detected by the last good load stay, and the object goes on working.
        for (const char* charset : {static_cast<const char*>(nullptr), "utf-16"}) {
            Csv csv;
            csv.obj.put_Crlf(false);
            csv.obj.put_HasColumnNames(true);
            ASSERT_TRUE(csv.loadString("n;m\na;b\n"));
            EXPECT_FALSE(csv.loadFile(path, charset));
            refused(csv.log());
            EXPECT_NE(csv.log().find("Failed."), std::string::npos);
            EXPECT_EQ(csv.obj.get_NumRows(), 0);
            EXPECT_EQ(csv.delimiter(), ";");
            EXPECT_FALSE(csv.obj.get_Crlf());
            EXPECT_TRUE(csv.obj.get_HasColumnNames());
            ASSERT_TRUE(csv.loadString("n;m\na;b\n"));
            EXPECT_EQ(csv.cell(0, 1), "b");
        }
        fs::remove(path, ec);
    }
}

// 1 s and 200 MB with ASan (the million rows added), 0.5 s under Wine.
TEST(SizeShapeRowIndex, HugeAndNegativeRowsAreRefusedAndChangeNothing) {
    Csv csv;
    ASSERT_TRUE(csv.loadString("a,b\nc,d\n"));
    const Snapshot before(csv);
    for (int row : {2000000000, INT_MAX, Grid::kMaxRows, -1, INT_MIN}) {
        EXPECT_FALSE(csv.obj.SetCell(row, 0, X("x"))) << row;
        EXPECT_FALSE(csv.obj.SetCell(row, INT_MAX, X("x"))) << row;
        EXPECT_TRUE(Snapshot(csv) == before) << row;
    }
    // A row a million lines beyond the end is made, with empty rows before it.
    ASSERT_TRUE(csv.obj.SetCell(kManyLines + 1, 1, X("z")));
    EXPECT_EQ(csv.obj.get_NumRows(), kManyLines + 2);
    EXPECT_TRUE(csv.save() == "a,b\r\nc,d\r\n" + repeated("\r\n", kManyLines - 1) + ",z\r\n");
}

// A loaded table may be longer than SetCell grows one; its rows past the bound take values.
// 1 s and 500 MB with ASan, 0.6 s under Wine.
TEST(SizeShapeRowIndex, RowsPastTheGrowthBoundThatWereLoaded) {
    const int bound = Grid::kMaxRows, rows = bound + 2;
    Csv csv;
    ASSERT_TRUE(csv.loadString(repeated("x\n", rows)));
    ASSERT_EQ(csv.obj.get_NumRows(), rows);
    EXPECT_TRUE(csv.obj.SetCell(rows - 1, 1, X("y")));
    EXPECT_EQ(csv.cell(rows - 1, 1), "y");
    EXPECT_EQ(csv.cell(bound, 0), "x");
    EXPECT_FALSE(csv.obj.SetCell(rows, 0, X("z")));
    EXPECT_EQ(csv.obj.get_NumRows(), rows);
    EXPECT_EQ(csv.cell(rows - 1, 0) + csv.cell(rows - 1, 1), "xy");
}

// Growing a table to its row bound (ten million empty rows, sized to fit a 32-bit process):
// 7 s and 1.6 GB with ASan, 3.5 s and 700 MB under Wine.
TEST(SizeShapeBig, SetCellOnTheLastRowAllowed) {
    if (!bigTestsWanted()) GTEST_SKIP() << "set QX_BIG_TESTS=1 to grow a table to its row bound";
    Csv csv;
    ASSERT_TRUE(csv.loadString("a,b\n"));
    const int bound = Grid::kMaxRows, last = bound - 1;
    ASSERT_TRUE(csv.obj.SetCell(last, 0, X("z")));
    EXPECT_EQ(csv.obj.get_NumRows(), bound);
    EXPECT_EQ(csv.cell(last, 0), "z");
    EXPECT_EQ(csv.obj.GetNumCols(last - 1), 0);
    EXPECT_FALSE(csv.obj.SetCell(bound, 0, X("y")));
    EXPECT_EQ(csv.obj.get_NumRows(), bound);
}

// A gigabyte file. Cost: 1 GB of disk; 25 s and 3 GB of memory with ASan. The 32-bit process
// under Wine finds no block that large: there the load fails, saying so, with an empty table.
TEST(SizeShapeBig, FileOfOneGigabyte) {
    if (!bigTestsWanted()) GTEST_SKIP() << "set QX_BIG_TESTS=1 to run the 1 GB file case";
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    std::error_code ec;
    const fs::space_info space = fs::space(dir.root(), ec);
    if (ec || space.available < (3ULL << 30))
        GTEST_SKIP() << "needs 3 GB free in " << testfs::utf8(dir.root());
    const int kLineLength = 100, kLines = (1 << 30) / kLineLength;
    const auto lineOf = [](int i) { // the line number, then letters
        std::string l = std::to_string(i) + ",";
        l.resize(kLineLength - 2, static_cast<char>('a' + i % 26));
        return l;
    };
    {
        std::ofstream out(dir.path("big.csv"), std::ios::binary);
        for (int i = 0; i < kLines; ++i)
            out << lineOf(i) << "\r\n";
        ASSERT_TRUE(static_cast<bool>(out));
    }
    Csv csv;
    if (!csv.loadFile(dir.path("big.csv"))) {
        EXPECT_NE(csv.log().find("Out of memory"), std::string::npos) << csv.log();
        EXPECT_EQ(csv.obj.get_NumRows(), 0);
        return;
    }
    ASSERT_EQ(csv.obj.get_NumRows(), kLines);
    for (int i : {0, kLines / 2, kLines - 1})
        EXPECT_EQ(csv.cell(i, 0) + "," + csv.cell(i, 1), lineOf(i));
}

} // namespace
