// The fast scanners, the loader's line cutting, the field index and the grid's row memo against
// the plain loops (FieldScanner::reference*), on random texts that cross every block size.
#include "csv/CsvTestSupport.h"
#include "csv/FieldScanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using csvtest::make;
using csvtest::pieces;
using csvtest::rawRows;
using csvtest::str;

std::string randomLine(std::mt19937& rng, int maxLength) {
    static const char special[] = {',',  ';',    '"',    '"',    '\\', '\n', '\t', ' ',
                                   '\0', '\x80', '\xE9', '\xFF', '\r', '\n', 'a'};
    const int length = static_cast<int>(rng() % (maxLength + 1));
    const unsigned density = 1 + rng() % 8; // one special byte in `density` on average
    std::string s;
    for (int i = 0; i < length; ++i)
        s +=
            rng() % density ? static_cast<char>('b' + rng() % 24) : special[rng() % sizeof special];
    return s;
}

// Delimiters, including ones that coincide with the quote, the backslash, NUL and a high byte.
const char kDelimiters[] = {',', ';', '\t', '\n', '"', '\\', '\0', '\xE9'};
const bool kFlags[][2] = {{true, true}, {true, false}, {false, true}, {false, false}};

TEST(FieldScannerDiff, ScannersAgreeWithPlainLoops) {
    std::mt19937 rng(7);
    for (int round = 0; round < 2000; ++round) {
        const std::string text = randomLine(rng, round % 3 ? 70 : 600);
        const StringBuffer line = make(text);
        for (char d : kDelimiters)
            for (const auto& f : kFlags) {
                SCOPED_TRACE(testing::Message() << "line " << round << " delimiter " << int(d));
                // The block walk over separators and nextDelimiter from every field start.
                const int length = static_cast<int>(text.size());
                std::vector<int> walked, looped;
                const int walkEnd =
                    FieldScanner::scanSeparators(text.c_str(), 0, length, d, f[0], f[1],
                                                 [&](int p) { return walked.push_back(p), true; });
                int end = 0;
                for (int p = 0;; p = end + 1) {
                    end = FieldScanner::referenceNextDelimiter(text.c_str(), p, length, d, f[0],
                                                               f[1]);
                    ASSERT_EQ(FieldScanner::nextDelimiter(text.c_str(), p, length, d, f[0], f[1]),
                              end)
                        << "from " << p;
                    if (end >= length || text[end] == 0) break;
                    looped.push_back(end);
                }
                ASSERT_EQ(walked, looped);
                ASSERT_EQ(walkEnd, end);
                const int count = line.countFields(d, f[0], f[1]);
                ASSERT_EQ(count, FieldScanner::referenceCountFields(line, d, f[0], f[1]));
                ExtPtrArray fast, plain;
                line.split(fast, d, f[0], f[1]);
                FieldScanner::referenceSplit(line, plain, d, f[0], f[1]);
                ASSERT_EQ(pieces(fast), pieces(plain));
                StringBuffer x("stale"), y("stale");
                for (int n = -1; n <= count + 1; ++n) {
                    line.getNthField(n, d, f[0], f[1], x);
                    FieldScanner::referenceGetNthField(line, n, d, f[0], f[1], y);
                    ASSERT_EQ(str(x), str(y)) << "field " << n;
                }
                const StringBuffer value = make(rng() % 2 ? "v,\"w\"" : "");
                const int n = static_cast<int>(rng() % (count + 3));
                StringBuffer set1(line), set2(line);
                set1.setNthField(n, d, f[0], f[1], value);
                FieldScanner::referenceSetNthField(set2, n, d, f[0], f[1], value);
                ASSERT_EQ(str(set1), str(set2)) << "set field " << n;
            }
    }
}

// ---- the grid against plain scans --------------------------------------------------------------

struct Loaded {
    std::vector<std::string> rows;
    std::string header;
    char delimiter = ',';
};

char detect(const std::string& line) {
    return std::count(line.begin(), line.end(), ',') > std::count(line.begin(), line.end(), ';')
               ? ','
               : ';';
}

// The load the plain way: fold CR LF, split, take the names, drop trailing blank lines, detect.
Loaded plainLoad(const std::string& text, bool names) {
    StringBuffer folded = make(text);
    folded.replaceAll("\r\n", "\n");
    ExtPtrArray lines;
    FieldScanner::referenceSplit(folded, lines, '\n', true, true);
    Loaded out;
    out.rows = pieces(lines);
    const bool header = names && !out.rows.empty();
    if (header) {
        out.header = out.rows.front();
        out.rows.erase(out.rows.begin());
        out.delimiter = detect(out.header);
    }
    while (!out.rows.empty()) {
        StringBuffer last(out.rows.back().c_str());
        last.trim();
        if (!(out.rows.back() = str(last)).empty()) break;
        out.rows.pop_back();
    }
    if (!header && !out.rows.empty()) out.delimiter = detect(out.rows.front());
    return out;
}

// Row r of g against a plain scan under d: every cell and the one after the last through both
// getters, backwards, forwards or at random (way 0, 1, 2), and the count if checkCount.
void expectRow(const Grid& g, int r, const std::string& text, char d, int way, std::mt19937& rng,
               bool checkCount = true) {
    const StringBuffer row = make(text);
    const int count = text.empty() ? 0 : FieldScanner::referenceCountFields(row, d, true, true);
    if (checkCount) ASSERT_EQ(const_cast<Grid&>(g).getNumColumns(r), count) << "row " << r;
    for (int i = 0; i <= count; ++i) {
        const int c = way == 0 ? count - i : way == 1 ? i : static_cast<int>(rng() % (count + 1));
        StringBuffer want, got("stale"), scratch;
        if (!text.empty()) FieldScanner::referenceGetNthField(row, c, d, true, true, want);
        const char* cell;
        int length;
        ASSERT_TRUE(g.getCell(r, c, got));
        ASSERT_TRUE(g.getCellText(r, c, scratch, &cell, &length));
        ASSERT_EQ(str(got), str(want)) << "row " << r << " col " << c << " delimiter " << int(d);
        ASSERT_EQ(std::string(cell, length), str(want)) << "row " << r << " col " << c;
    }
}

// The loader against folding then splitting, and cells read through the field index
// (FieldIndex) and the row memo against plain scans: on texts of any bytes (the line cutter's
// hard cases first) and on tables of many shapes with stretches that put quotes and delimiters on
// every point of the scans' blocks. Cells are read as loaded, after edits, under every kind of
// delimiter (the index answers only for its own) and back, after added rows and after a save.
TEST(GridLoadDiff, RowsAndCellsAgreeWithPlainScansThroughEditsAndDelimiterChanges) {
    std::mt19937 rng(41);
    static const char* pieces[] = {"a",        "bb",  "\"q\"",      "\"x,y\"", "\"say \"\"hi\"\"\"",
                                   "\"l\nm\"", "c;d", "\"r\r\ns\"", "e\\,f",   "",
                                   "\"\"",     "t\t", "\"u\"v",     "w\"z",    "\"\"\"\"",
                                   "\xE9"};
    const char delimiters[] = {';', '\t', '"', '\\', '\0', '\xE9', 'c', ','};
    const auto fixed = csvtest::caseFile("line-cutting.txt");
    for (int round = 0; round < 1500; ++round) {
        const char delimiter = round % 3 == 0 ? ';' : round % 7 == 0 ? '\t' : ',';
        const bool hard = round < static_cast<int>(fixed.size()), table = !hard && round % 5 == 0;
        const bool names = rng() % 2, preset = table && rng() % 2;
        std::string text = hard    ? csvtest::unescape(fixed[round][0])
                           : table ? ""
                                   : randomLine(rng, round % 4 ? 60 : 400);
        for (int l = 0, lines = table ? 1 + static_cast<int>(rng() % 30) : 0; l < lines; ++l) {
            for (int f = 0, fields = 1 + static_cast<int>(rng() % 12); f < fields; ++f) {
                std::string piece = pieces[rng() % (sizeof pieces / sizeof *pieces)];
                if (rng() % 3 == 0) // after the opening quote, or before the piece
                    piece.insert(piece[0] == '"', std::string(rng() % 70, 'k'));
                text += (f ? std::string(1, delimiter) : "") + piece;
            }
            if (l == lines - 1 && round % 2 == 0) text += " \t"; // trimmed off the last row
            text += rng() % 2 ? "\r\n" : "\n";
        }
        if (table && round % 2 == 0) text += "  \n\n";
        SCOPED_TRACE(testing::Message() << "round " << round);
        const Loaded want = plainLoad(text, names);
        std::vector<std::string> rows = want.rows;
        Grid g;
        g.hasColumnNames = names;
        if (preset) g.setDelimiter(delimiter);
        StringBuffer sb = make(text), folded = make(text);
        const char initial = preset ? delimiter : ',';
        const bool taking = rng() % 2;
        ASSERT_EQ(taking ? g.loadCsvTaking(sb, initial) : g.loadCsv(sb, initial),
                  static_cast<int>(rows.size()));
        ASSERT_EQ(str(g.headerLine()), want.header);
        ASSERT_EQ(g.getDelimiter(), preset ? delimiter : want.delimiter);
        folded.replaceAll("\r\n", "\n"); // loadCsv folds the caller's text in place
        ASSERT_EQ(str(sb), taking ? "" : str(folded));
        // An edited row's memoised count follows its own rule (a value set past the last field
        // makes col + 1 fields): such rows are compared cell by cell until the delimiter changes.
        std::vector<int> edited;
        const auto check = [&](const char* stage) {
            SCOPED_TRACE(testing::Message() << stage << " " << int(g.getDelimiter()));
            for (int r = 0; r < static_cast<int>(rows.size()); ++r)
                expectRow(g, r, rows[r], g.getDelimiter(), (r + round) % 3, rng,
                          std::find(edited.begin(), edited.end(), r) == edited.end());
        };
        check("as loaded");
        for (int e = 0; e < 3 && !rows.empty(); ++e) {
            const int r = static_cast<int>(rng() % rows.size());
            ASSERT_TRUE(g.setCellUtf8(r, static_cast<int>(rng() % 4), e % 2 ? "n\"ew" : "x,y"));
            rows[r] = str(*g.rowText(r));
            edited.push_back(r);
        }
        check("after edits");
        const char d = g.getDelimiter();
        edited.clear();
        for (char other : delimiters)
            if (other != d) { // a change of delimiter makes every count again
                g.setDelimiter(other);
                check("other delimiter");
            }
        g.setDelimiter(d);
        check("delimiter back");
        ASSERT_EQ(rawRows(g), rows); // (which gives every row a buffer of its own)
        const int added = static_cast<int>(rows.size()) + 1;
        ASSERT_TRUE(g.setCellUtf8(added, 1, "tail"));
        rows.resize(added);
        rows.push_back(str(*g.rowText(added)));
        check("rows added");
        g.crlf = round % 2 == 0; // a save brings the line ends inside rows into its form
        StringBuffer saved;
        g.saveCsv("utf-8", saved);
        for (int r = 0; r < static_cast<int>(rows.size()); ++r)
            rows[r] = g.rowText(r) ? str(*g.rowText(r)) : "";
        check("saved");
    }
}

} // namespace

namespace {

// Tables longer than one stretch of the index, read in the orders that use it differently: by
// column (each row met again for every column), from the last row up (the first read indexes
// everything before it), at random, and again after a change of delimiter and after a save.
TEST(GridLoadDiff, LargeTablesReadInAnyOrderAgreeWithPlainScans) {
    static const char* pieces[] = {"a",     "\"q,r\"", "\"l\nm\"",
                                   "e\\,f", "",        "\"s \"\"t\"\"\"",
                                   "x;y",   "\"\"",    "longer field text"};
    std::mt19937 rng(47);
    for (const int rows : {4095, 4097, 9000}) {
        std::string text;
        for (int r = 0; r < rows; ++r) {
            for (int f = 0, n = 1 + static_cast<int>(rng() % 6); f < n; ++f)
                text += (f ? "," : "") + std::string(pieces[rng() % 9]);
            text += r % 3 ? "\n" : "\r\n";
        }
        SCOPED_TRACE(testing::Message() << rows << " rows");
        const Loaded want = plainLoad(text, false);
        Grid g, fresh;
        g.setDelimiter(',');
        fresh.setDelimiter(',');
        StringBuffer sb = make(text), again = make(text);
        ASSERT_EQ(g.loadCsv(sb, ','), static_cast<int>(want.rows.size()));
        const int n = static_cast<int>(want.rows.size());
        const auto cell = [&](int r, int c, char d) {
            StringBuffer expected, got;
            const StringBuffer row = make(want.rows[static_cast<size_t>(r)]);
            if (row.getSize()) FieldScanner::referenceGetNthField(row, c, d, true, true, expected);
            ASSERT_TRUE(g.getCell(r, c, got));
            ASSERT_EQ(str(got), str(expected)) << "row " << r << " col " << c << " d " << int(d);
        };
        for (int c = 0; c < 7 && !HasFailure(); ++c) // by column
            for (int r = 0; r < n && !HasFailure(); ++r)
                cell(r, c, ',');
        fresh.loadCsv(again, ',');
        for (int r = n - 1; r >= 0 && !HasFailure(); --r) // from the last row up
            expectRow(fresh, r, want.rows[static_cast<size_t>(r)], ',', r % 3, rng);
        for (const char d : {';', ','}) {
            g.setDelimiter(d);
            for (int k = 0; k < 3000 && !HasFailure(); ++k)
                cell(static_cast<int>(rng() % n), static_cast<int>(rng() % 7), d);
        }
        StringBuffer saved;
        g.saveCsv("utf-8", saved); // line ends inside rows become CR LF
        for (int k = 0; k < 3000 && !HasFailure(); ++k) {
            const int r = static_cast<int>(rng() % n);
            const StringBuffer* now = g.rowText(r);
            ASSERT_NE(now, nullptr);
            expectRow(g, r, str(*now), ',', 2, rng);
        }
    }
}

// The object's reads (ClsCsv::GetCell) into one string kept for a whole run, against plain scans:
// the string's block changes size from table to table and between cells, its other forms are
// made current now and then, and the tables put cells of 0 to 40 bytes next to each other and
// at the very end of the text, where fewer bytes follow the cell than a cell read moves at once.
// Then a cell changed through the object, and the same reads again after another thread has
// used the object.
// The short-field unquoting of the cell fast path against appendUnquoted: every field of up to
// six bytes of 'a', quotes and backslashes, and random fields of up to 70 bytes, each followed
// by quotes and backslashes that are not part of it. It must give the same cell, or decline
// (-1) exactly for fields that are too long, hold a backslash or a NUL, or lack readable room.
TEST(FieldScannerDiff, ShortUnquoteAgreesWithAppendUnquoted) {
    std::vector<std::string> fields = {""};
    for (size_t from = 0; fields[from].size() < 6; ++from)
        for (char c : {'a', '"', '\\'})
            fields.push_back(fields[from] + c);
    std::mt19937 rng(11);
    for (int i = 0; i < 3000; ++i)
        fields.push_back(randomLine(rng, 70));
    for (const std::string& field : fields) {
        const int length = static_cast<int>(field.size());
        const std::string block = field + std::string(FieldScanner::kShortReadable, '"') + "\\";
        StringBuffer expected;
        FieldScanner::appendUnquoted(block.data(), length, true, true, expected);
        // A build without the SSE2 scanners has no short path: it always declines.
        bool declines = length > FieldScanner::kShortField ||
                        field.find_first_of(std::string("\\\0", 2)) != std::string::npos;
#if !defined(QX_FIELD_SCAN_BLOCKS)
        declines = true;
#endif
        for (const std::ptrdiff_t readable :
             {static_cast<std::ptrdiff_t>(block.size()),
              static_cast<std::ptrdiff_t>(FieldScanner::kShortReadable - 1)}) {
            std::string out(static_cast<size_t>(length) + 16, '#');
            const int n = FieldScanner::unquoteShort(block.data(), length, readable, &out[0]);
            if (declines || readable < FieldScanner::kShortReadable) {
                EXPECT_EQ(n, -1) << "field " << testing::PrintToString(field);
                EXPECT_EQ(out, std::string(static_cast<size_t>(length) + 16, '#'));
            } else {
                ASSERT_GE(n, 0) << "field " << testing::PrintToString(field);
                EXPECT_EQ(out.substr(0, static_cast<size_t>(n)), str(expected))
                    << "field " << testing::PrintToString(field);
            }
        }
    }
}

TEST(GridLoadDiff, ObjectCellsIntoOneStringAgreeWithPlainScans) {
    static const char* pieces[] = {
        "\"q,r\"", "\"l\nm\"",
        "e\\,f",   "\"s \"\"t\"\"\"",
        "\"\"",    "\xC3\xA9t\xC3\xA9",
        ";",       "\"a \"\"quoted\"\" word, \"\"and\"\" a longer field of some fifty-odd bytes\""};
    std::mt19937 rng(53);
    XString cell; // one string for every read
    for (int table = 0; table < 120 && !HasFailure(); ++table) {
        std::string text;
        for (int r = 0, rows = 1 + static_cast<int>(rng() % 9); r < rows; ++r) {
            for (int f = 0, n = 1 + static_cast<int>(rng() % 7); f < n; ++f) {
                text += f ? "," : "";
                if (rng() % 3 == 0) {
                    text += pieces[rng() % (sizeof pieces / sizeof *pieces)];
                } else {
                    const int length = static_cast<int>(rng() % 41);
                    for (int i = 0; i < length; ++i)
                        text += static_cast<char>('a' + (i + r + f) % 26);
                }
            }
            if (r + 1 < rows || rng() % 2) text += rng() % 2 ? "\r\n" : "\n";
        }
        SCOPED_TRACE(testing::Message() << "table " << table << ": " << text);
        const Loaded want = plainLoad(text, false);
        ClsCsv csv;
        XString input;
        input.setFromUtf8(text.c_str());
        ASSERT_TRUE(csv.LoadFromString(input));
        ASSERT_EQ(csv.get_NumRows(), static_cast<int>(want.rows.size()));
        const auto expectCells = [&](const std::vector<std::string>& rows) {
            for (int r = 0; r < static_cast<int>(rows.size()) && !HasFailure(); ++r) {
                const StringBuffer row = make(rows[static_cast<size_t>(r)]);
                const int count =
                    row.getSize()
                        ? FieldScanner::referenceCountFields(row, want.delimiter, true, true)
                        : 0;
                ASSERT_EQ(csv.GetNumCols(r), count) << "row " << r;
                for (int c = 0; c <= count; ++c) {
                    StringBuffer expected;
                    if (row.getSize())
                        FieldScanner::referenceGetNthField(row, c, want.delimiter, true, true,
                                                           expected);
                    ASSERT_TRUE(csv.GetCell(r, c, cell)) << "row " << r << " col " << c;
                    ASSERT_EQ(std::string(cell.getUtf8()), str(expected))
                        << "row " << r << " col " << c;
                    if (rng() % 7 == 0) { // the wide form follows the cell too
                        XString fresh;
                        fresh.setFromUtf8(expected.getString());
                        ASSERT_EQ(
                            std::u16string(reinterpret_cast<const char16_t*>(cell.getUnicode())),
                            std::u16string(reinterpret_cast<const char16_t*>(fresh.getUnicode())))
                            << "row " << r << " col " << c;
                    }
                }
            }
        };
        expectCells(want.rows);
        if (table % 4 == 0 && !want.rows.empty()) {
            // An edited row is read from a buffer of its own.
            XString value;
            value.setFromUtf8("new \"value\"");
            ASSERT_TRUE(csv.SetCell(0, 1, value));
            ASSERT_TRUE(csv.GetCell(0, 1, cell));
            EXPECT_STREQ(cell.getUtf8(), "new \"value\"");
        }
        if (table % 10 == 5) { // the first thread's bias goes; reads take the lock from now on
            std::thread other([&] { csv.GetNumCols(0); });
            other.join();
            expectCells(want.rows);
        }
    }
}

} // namespace
