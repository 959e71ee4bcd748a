// Size and shape robustness of the CSV document object and the file layer: a line of 100 MB, a
// row of a million columns, a million empty lines, texts made of one repeated mark, a NUL inside
// a line, UTF-16 files cut in the middle of a unit, files too large for a buffer's signed 32-bit
// length, and row indexes far beyond the table. After every call that fails, the test checks that
// the object kept what it held before (a load empties the table before it reads anything, so a
// failed load keeps the settings and the delimiter, not the rows).
//
// Every case states its cost, measured in the unoptimised ASan build and in the 32-bit build
// under Wine (2 GB of address space); none takes more than a few seconds. Cases that need a
// gigabyte of disk or several of memory run only when the environment variable QX_BIG_TESTS is 1.
#include "csv/ClsCsv.h"
#include "csv/Grid.h"
#include "log/Logger.h"
#include "platform/Platform.h"
#include "platform/TempDir.h"
#include "text/StringBuffer.h"
#include "text/XString.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct X {
    XString s;
    explicit X(const std::string& utf8) { s.setFromUtf8(utf8.c_str()); }
    operator XString&() { return s; }
};

std::string utf8Of(XString& s) {
    return s.getUtf8();
}

struct Csv {
    ClsCsv obj;
    std::string cell(int r, int c) {
        XString s;
        obj.GetCell(r, c, s);
        return utf8Of(s);
    }
    std::string save() {
        XString s;
        EXPECT_TRUE(obj.SaveToString(s));
        return utf8Of(s);
    }
    std::string log() {
        XString s;
        obj.lastErrorText(s, true);
        return utf8Of(s);
    }
    std::string delimiter() {
        XString s;
        obj.get_Delimiter(s);
        return utf8Of(s);
    }
    std::string columnName(int i) {
        XString s;
        obj.GetColumnName(i, s);
        return utf8Of(s);
    }
    bool loadString(const std::string& text) { return obj.LoadFromString(X(text)); }
    // LoadFile without a charset, LoadFile2 with one.
    bool loadFile(const fs::path& path, const char* charset = nullptr) {
        X name(testfs::utf8(path));
        return charset ? obj.LoadFile2(name, X(charset)) : obj.LoadFile(name);
    }
};

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

// The whole file, read in one call (the helpers that read a byte at a time take minutes for
// 100 MB in an unoptimised build).
std::string fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string bytes(static_cast<size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(&bytes[0], static_cast<std::streamsize>(bytes.size()));
    return in ? bytes : "<cannot read>";
}

const char* const kOutOfMemory = "Out of memory reading file into string buffer";

bool bigTestsWanted() {
    const char* v = std::getenv("QX_BIG_TESTS");
    return v && std::string(v) == "1";
}

std::string repeated(const std::string& unit, int times) {
    std::string s;
    s.reserve(unit.size() * static_cast<size_t>(times));
    for (int i = 0; i < times; ++i)
        s += unit;
    return s;
}

// ---- one line of 100 MB ------------------------------------------------------------------------

const int kLongLine = 100 << 20;

// Field i of the long lines: its number, padded to the length with a letter that changes from
// field to field, so that a cell read from the wrong place or cut short is noticed.
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

// Cost per case: 3 to 5 s of CPU with ASan, 2 to 3 s under Wine; 800 MB at the peak with ASan,
// 550 MB under Wine (the line, the object's copy, the saved text and its conversion).
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
    if (c.fromFile) {
        ASSERT_TRUE(testfs::writeAll(dir.path("long.csv"), line + "\r\n"));
        ASSERT_TRUE(csv.loadFile(dir.path("long.csv")));
    } else {
        ASSERT_TRUE(csv.loadString(line));
    }
    ASSERT_EQ(csv.obj.get_NumRows(), 1);
    ASSERT_EQ(csv.obj.GetNumCols(0), fields);
    for (int i : {0, 1, fields / 2, fields - 1})
        EXPECT_EQ(csv.cell(0, i), i < fields ? longField(i, c.fieldLength) : "") << "cell " << i;
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

// ---- a row of a million columns -----------------------------------------------------------------

const int kWide = 1000000;

std::string wideLine() {
    std::string line;
    line.reserve(7u * kWide);
    for (int i = 0; i < kWide; ++i)
        (line += i ? ",c" : "c") += std::to_string(i);
    return line;
}

// Cost: 2.5 s of CPU with ASan, 1 s under Wine; 280 MB with ASan, 50 MB under Wine.
TEST(SizeShapeWideRow, MillionColumnsInADataRow) {
    const std::string line = wideLine();
    Csv csv;
    ASSERT_TRUE(csv.loadString(line + "\nlast,row\n"));
    EXPECT_EQ(csv.obj.get_NumColumns(), kWide);
    ASSERT_EQ(csv.obj.GetNumCols(0), kWide);
    // Every cell in turn: one pass over the row, not one per cell.
    int wrong = 0;
    for (int i = 0; i < kWide; ++i)
        if (csv.cell(0, i) != "c" + std::to_string(i)) ++wrong;
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(csv.obj.SetCell(0, kWide - 1, X("end")));
    EXPECT_TRUE(csv.obj.SetCell(0, kWide, X("new,one")));
    EXPECT_EQ(csv.obj.GetNumCols(0), kWide + 1);
    EXPECT_EQ(csv.cell(0, kWide), "new,one");
    EXPECT_EQ(csv.cell(0, kWide - 1), "end");
    EXPECT_EQ(csv.cell(0, kWide - 2), "c" + std::to_string(kWide - 2));
    EXPECT_TRUE(csv.save() ==
                line.substr(0, line.rfind(',') + 1) + "end,\"new,one\"\r\nlast,row\r\n");
}

// A million names in an index of a few hundred buckets: each name used to be compared with
// thousands before it was stored (minutes); now one pass. Cost: 6 s of CPU with ASan (an MD5
// digest and four blocks per name), 3 s under Wine; 700 MB with ASan, 270 MB under Wine.
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

// ---- a million lines ----------------------------------------------------------------------------

const int kManyLines = 1000000;

// Cost: 1 s of CPU with ASan for all cases, 0.5 s under Wine; 210 MB with ASan.
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
        if (c.fromFile) {
            ASSERT_TRUE(testfs::writeAll(dir.path("lines.csv"), c.text));
            ASSERT_TRUE(csv.loadFile(dir.path("lines.csv")));
        } else {
            ASSERT_TRUE(csv.loadString(c.text));
        }
        ASSERT_EQ(csv.obj.get_NumRows(), c.rows);
        const std::string header = c.names ? "h\r\n" : "";
        if (c.rows == 0) {
            EXPECT_EQ(csv.save(), header);
            continue;
        }
        const int last = c.rows - 1;
        EXPECT_EQ(csv.cell(last, 0), "x");
        EXPECT_EQ(csv.obj.GetNumCols(last), 1);
        if (c.rows == 1) continue;
        EXPECT_EQ(csv.obj.GetNumCols(0), 0);
        EXPECT_EQ(csv.obj.GetNumCols(last / 2), 0);
        EXPECT_TRUE(csv.save() == header + repeated("\r\n", last) + "x\r\n");
        // An empty row takes a cell beyond its end like any other.
        ASSERT_TRUE(csv.obj.SetCell(last / 2, 2, X("v")));
        EXPECT_EQ(csv.cell(last / 2, 2), "v");
        EXPECT_EQ(csv.obj.GetNumCols(last / 2), 3);
        EXPECT_EQ(csv.obj.GetNumCols(last / 2 + 1), 0);
    }
}

// ---- texts made of one repeated mark -----------------------------------------------------------

// Cost: 2 s of CPU with ASan for all cases, 1 s under Wine; 260 MB with ASan.
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
                ASSERT_TRUE(testfs::writeAll(dir.path("marks.csv"), text));
                Csv csv;
                ASSERT_TRUE(csv.loadFile(dir.path("marks.csv")));
                ASSERT_EQ(csv.obj.get_NumRows(), 1);
                EXPECT_EQ(csv.obj.GetNumCols(0), col + 1);
                // The first quote opens a quoted part in which each pair stands for one quote (an
                // odd last quote closes it); each backslash pair is one escaped backslash (an odd
                // last one escapes nothing and is dropped).
                const size_t kept = mark == '"' ? static_cast<size_t>(n - 1) / 2 : n / 2u;
                const std::string cell = csv.cell(0, col);
                EXPECT_TRUE(cell == std::string(kept, mark)) << cell.size() << " marks";
                EXPECT_TRUE(csv.save() == text + "\r\n");
                if (n % 2 == 1) continue; // an open quote or a pending escape takes the delimiter
                ASSERT_TRUE(csv.obj.SetCell(0, col + 1, X("x")));
                EXPECT_EQ(csv.obj.GetNumCols(0), col + 2);
                EXPECT_EQ(csv.cell(0, col + 1), "x");
            }
        }
    }
}

// ---- a NUL byte inside a line -------------------------------------------------------------------

// Cost: milliseconds.
TEST(SizeShapeNul, NulInsideALine) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string kNul(1, '\0');
    const struct {
        const char* name;
        std::string bytes;
    } kCases[] = {
        {"middle of a field", "a,b\nc" + kNul + "d,e\nf,g\n"},
        {"after a delimiter", "a,b\nc," + kNul + "d,e\nf,g\n"},
        {"first byte", kNul + "a,b\nc,d\n"},
        {"inside quotes", "a,\"b" + kNul + "c\",d\ne,f\n"},
        {"last byte", "a,b\nc,d" + kNul},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(testfs::writeAll(dir.path("zero-byte.csv"), c.bytes));
        const size_t nul = c.bytes.find('\0');
        // Without a conversion (UTF-8 read as UTF-8) the NUL stays, and a NUL ends the text for
        // every scanner: the table holds what came before it, as if the file ended there.
        Csv cut;
        ASSERT_TRUE(cut.loadString(c.bytes.substr(0, nul)));
        // LoadFile converts from the ANSI code page through UTF-16, and that conversion never
        // carries U+0000 into the text: the NUL drops out and the bytes after it stay where they
        // are, so nothing of the file is lost. (An ANSI code page of UTF-8 converts nothing.)
        Csv dropped;
        ASSERT_TRUE(dropped.loadString(c.bytes.substr(0, nul) + c.bytes.substr(nul + 1)));
        Csv& expected = platform::ansiCodePage() == 65001 ? cut : dropped;
        Csv ansi, utf8;
        ASSERT_TRUE(ansi.loadFile(dir.path("zero-byte.csv")));
        EXPECT_EQ(ansi.save(), expected.save());
        ASSERT_TRUE(utf8.loadFile(dir.path("zero-byte.csv"), "utf-8"));
        EXPECT_EQ(utf8.obj.get_NumRows(), cut.obj.get_NumRows());
        EXPECT_EQ(utf8.save(), cut.save());
    }
}

// ---- UTF-16 files with an odd byte count --------------------------------------------------------

// Cost: milliseconds.
TEST(SizeShapeUtf16, OddByteCountDropsTheLoneLastByte) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    // "a,é" CR LF "日,b" CR LF as UTF-16 units.
    const char16_t kUnits[] = u"a,\u00E9\r\n\u65E5,b\r\n";
    const std::string kCells[2][2] = {{"a", "\xC3\xA9"}, {"\xE6\x97\xA5", "b"}};
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
                         (*c.mark ? " with mark" : "") + ", lone byte " +
                         std::to_string(static_cast<unsigned char>(lone)));
            std::string bytes = c.mark;
            for (const char16_t* u = kUnits; *u; ++u) {
                const char hi = static_cast<char>(*u >> 8), lo = static_cast<char>(*u & 0xFF);
                bytes += c.bigEndian ? std::string{hi, lo} : std::string{lo, hi};
            }
            bytes += lone;
            ASSERT_EQ(bytes.size() % 2, 1u);
            ASSERT_TRUE(testfs::writeAll(dir.path("odd.csv"), bytes));
            Csv csv;
            ASSERT_TRUE(csv.loadFile(dir.path("odd.csv"), c.charset));
            ASSERT_EQ(csv.obj.get_NumRows(), 2);
            for (int r = 0; r < 2; ++r) {
                EXPECT_EQ(csv.obj.GetNumCols(r), 2);
                for (int col = 0; col < 2; ++col)
                    EXPECT_EQ(csv.cell(r, col), kCells[r][col]);
            }
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

// ---- files too large for the buffer -------------------------------------------------------------

// A file of the given size that takes (almost) no disk: the size is set, no byte is written. On
// Linux, and on the host file system under Wine, the file is sparse.
bool makeSparseFile(const fs::path& path, unsigned long long size) {
    if (!testfs::writeAll(path, "")) return false;
    std::error_code ec;
    fs::resize_file(path, size, ec);
    return !ec && fs::file_size(path, ec) == size && !ec;
}

// Cost: milliseconds and no memory: every size is refused before anything is allocated or read.
TEST(SizeShapeHugeFile, FilesOf2GiBAndMoreAreRefusedWithTheOutOfMemoryMessage) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    const unsigned long long kGiB = 1ULL << 30;
    const unsigned long long kSizes[] = {2 * kGiB - 1, 2 * kGiB, 4 * kGiB + 16};
    std::error_code ec;
    const fs::space_info space = fs::space(dir.root(), ec);
    // A file system without sparse files would write the whole size.
    if (ec || space.available < 4 * kGiB + (64ULL << 20))
        GTEST_SKIP() << "needs 4 GiB free in " << testfs::utf8(dir.root())
                     << " for files of 2 and 4 GiB (in case they are not sparse); "
                     << (ec ? "free space unknown" : std::to_string(space.available) + " free");
    for (unsigned long long size : kSizes) {
        SCOPED_TRACE(size);
        const fs::path path = dir.path("huge.csv");
        ASSERT_TRUE(makeSparseFile(path, size));
        const std::string sizeItem = "fileSize: " + std::to_string(size) + "\r\n";

        // The buffer keeps the text it held.
        StringBuffer sb("kept");
        Logger log;
        EXPECT_FALSE(sb.loadFromFile(X(testfs::utf8(path)), &log));
        EXPECT_STREQ(sb.getString(), "kept");
        StringBuffer report;
        log.getText(report);
        EXPECT_NE(std::string(report.getString()).find(kOutOfMemory), std::string::npos)
            << report.getString();
        EXPECT_NE(std::string(report.getString()).find(sizeItem), std::string::npos)
            << report.getString();

        // The document object: a load starts by clearing the table, so a failed load leaves it
        // empty; the settings and the delimiter detected by the last good load stay.
        for (const char* charset : {static_cast<const char*>(nullptr), "utf-16"}) {
            Csv csv;
            csv.obj.put_Crlf(false);
            csv.obj.put_HasColumnNames(true);
            ASSERT_TRUE(csv.loadString("n;m\na;b\n"));
            EXPECT_FALSE(csv.loadFile(path, charset));
            const std::string text = csv.log();
            EXPECT_NE(text.find(kOutOfMemory), std::string::npos) << text;
            EXPECT_NE(text.find(sizeItem), std::string::npos) << text;
            EXPECT_NE(text.find("Failed."), std::string::npos) << text;
            EXPECT_EQ(csv.obj.get_NumRows(), 0);
            EXPECT_EQ(csv.delimiter(), ";");
            EXPECT_FALSE(csv.obj.get_Crlf());
            EXPECT_TRUE(csv.obj.get_HasColumnNames());
            ASSERT_TRUE(csv.loadString("n;m\na;b\n")); // and the object goes on working
            EXPECT_EQ(csv.cell(0, 1), "b");
        }
        fs::remove(path, ec);
    }
}

// ---- row indexes far beyond the table -----------------------------------------------------------

// Cost: 1 s of CPU with ASan, 0.5 s under Wine; 200 MB with ASan (the million rows added).
TEST(SizeShapeRowIndex, HugeAndNegativeRowsAreRefusedAndChangeNothing) {
    Csv csv;
    ASSERT_TRUE(csv.loadString("a,b\nc,d\n"));
    const Snapshot before(csv);
    for (int row : {2000000000, INT_MAX, Grid::kMaxRows, -1, INT_MIN}) {
        SCOPED_TRACE(row);
        EXPECT_FALSE(csv.obj.SetCell(row, 0, X("x")));
        EXPECT_FALSE(csv.obj.SetCell(row, INT_MAX, X("x")));
        EXPECT_TRUE(Snapshot(csv) == before);
    }
    // A row a million lines beyond the end is made, with empty rows before it.
    ASSERT_TRUE(csv.obj.SetCell(kManyLines + 1, 1, X("z")));
    EXPECT_EQ(csv.obj.get_NumRows(), kManyLines + 2);
    EXPECT_EQ(csv.cell(kManyLines + 1, 1), "z");
    EXPECT_EQ(csv.obj.GetNumCols(kManyLines), 0);
    EXPECT_TRUE(csv.save() == "a,b\r\nc,d\r\n" + repeated("\r\n", kManyLines - 1) + ",z\r\n");
}

// The bound is chosen so that growing a table to it fits even in a 32-bit process: ten million
// empty rows. Cost: 7 s of CPU and 1.6 GB with ASan, 3.5 s and 700 MB under Wine.
TEST(SizeShapeBig, SetCellOnTheLastRowAllowed) {
    if (!bigTestsWanted()) GTEST_SKIP() << "set QX_BIG_TESTS=1 to grow a table to its row bound";
    Csv csv;
    ASSERT_TRUE(csv.loadString("a,b\n"));
    const int bound = Grid::kMaxRows, last = bound - 1;
    ASSERT_TRUE(csv.obj.SetCell(last, 0, X("z")));
    EXPECT_EQ(csv.obj.get_NumRows(), bound);
    EXPECT_EQ(csv.cell(last, 0), "z");
    EXPECT_EQ(csv.obj.GetNumCols(last - 1), 0);
    EXPECT_EQ(csv.cell(0, 1), "b");
    EXPECT_FALSE(csv.obj.SetCell(bound, 0, X("y")));
    EXPECT_EQ(csv.obj.get_NumRows(), bound);
}

// A loaded table may be longer than SetCell grows one; its rows past the bound exist and take
// values. Cost: 1 s of CPU with ASan, 0.6 s under Wine; 500 MB with ASan.
TEST(SizeShapeRowIndex, RowsPastTheGrowthBoundThatWereLoaded) {
    const int bound = Grid::kMaxRows, rows = bound + 2;
    Csv csv;
    ASSERT_TRUE(csv.loadString(repeated("x\n", rows)));
    ASSERT_EQ(csv.obj.get_NumRows(), rows);
    EXPECT_TRUE(csv.obj.SetCell(rows - 1, 1, X("y")));
    EXPECT_EQ(csv.cell(rows - 1, 1), "y");
    EXPECT_EQ(csv.cell(bound, 0), "x");
    const std::string before = csv.cell(rows - 1, 0) + csv.cell(rows - 1, 1);
    EXPECT_FALSE(csv.obj.SetCell(rows, 0, X("z")));
    EXPECT_EQ(csv.obj.get_NumRows(), rows);
    EXPECT_EQ(csv.cell(rows - 1, 0) + csv.cell(rows - 1, 1), before);
}

// ---- opt-in: a gigabyte ----------------------------------------------------------------------

// Cost: 1 GB of disk; 25 s and 3 GB of memory with ASan. The 32-bit process under Wine finds no
// block that large for the file: there the load fails, saying so, and leaves an empty table.
TEST(SizeShapeBig, FileOfOneGigabyte) {
    if (!bigTestsWanted()) GTEST_SKIP() << "set QX_BIG_TESTS=1 to run the 1 GB file case";
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    std::error_code ec;
    const fs::space_info space = fs::space(dir.root(), ec);
    if (ec || space.available < (3ULL << 30))
        GTEST_SKIP() << "needs 3 GB free in " << testfs::utf8(dir.root());
    // 100-byte lines: the line number, then letters.
    const int kLineLength = 100, kLines = (1 << 30) / kLineLength;
    const auto lineOf = [](int i) {
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
    ASSERT_TRUE(csv.loadString("keep,me\n"));
    if (!csv.loadFile(dir.path("big.csv"))) {
        // Not enough memory: the load says so and leaves an empty table.
        EXPECT_NE(csv.log().find("Out of memory"), std::string::npos) << csv.log();
        EXPECT_EQ(csv.obj.get_NumRows(), 0);
        return;
    }
    ASSERT_EQ(csv.obj.get_NumRows(), kLines);
    for (int i : {0, kLines / 2, kLines - 1}) {
        EXPECT_EQ(csv.cell(i, 0), std::to_string(i));
        EXPECT_EQ(csv.cell(i, 1), lineOf(i).substr(lineOf(i).find(',') + 1));
    }
}

} // namespace
