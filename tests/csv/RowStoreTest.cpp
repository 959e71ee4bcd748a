// Rows kept as stretches of the loaded text: the line cutting that folds CR LF on the way, the
// block-at-a-time field scan of the row memo, the rows that get buffers of their own, and what
// happens when memory runs out on the way.
#include "csv/RowStore.h"
#include "csv/CsvTestSupport.h"
#include "csv/FieldScanner.h"
#include "csv/Grid.h"
#include "platform/Memory.h"
#include "text/ExtPtrArray.h"
#include "text/StringBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using csvtest::make;
using csvtest::str;

// Text made of the bytes that line cutting and field scanning react to, long enough to cross
// several 64-byte scan blocks, with long plain stretches now and then.
std::string randomText(std::mt19937& rng, int maxLength) {
    static const char bytes[] = {'a', 'b', ',', ';', '"', '"', '\\', '\r', '\n', '\n', ' ', '\0'};
    const int length = static_cast<int>(rng() % (maxLength + 1));
    const unsigned density = 1 + rng() % 6;
    std::string s;
    for (int i = 0; i < length; ++i)
        s += rng() % density ? static_cast<char>('c' + rng() % 20) : bytes[rng() % sizeof bytes];
    return s;
}

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

// The load done the plain way: fold every CR LF, split with the reference splitter, take the
// column-name line, drop trailing blank lines (trimming the last one kept), detect.
Loaded plainLoad(const std::string& text, bool names) {
    StringBuffer folded = make(text);
    folded.replaceAll("\r\n", "\n");
    ExtPtrArray pieces;
    FieldScanner::referenceSplit(folded, pieces, '\n', true, true);
    Loaded out;
    for (int i = 0; i < pieces.getSize(); ++i)
        out.rows.push_back(str(*static_cast<StringBuffer*>(pieces.elementAt(i))));
    pieces.removeAllObjects();
    const bool header = names && !out.rows.empty();
    if (header) {
        out.header = out.rows.front();
        out.rows.erase(out.rows.begin());
        out.delimiter = detect(out.header);
    }
    while (!out.rows.empty()) {
        StringBuffer last(out.rows.back().c_str());
        last.trim();
        out.rows.back() = str(last);
        if (!out.rows.back().empty()) break;
        out.rows.pop_back();
    }
    if (!header && !out.rows.empty()) out.delimiter = detect(out.rows.front());
    return out;
}

std::vector<std::string> rawRows(const Grid& g) {
    std::vector<std::string> rows;
    for (int r = 0; r < g.numRows(); ++r) {
        const StringBuffer* t = g.rowText(r);
        rows.push_back(t ? str(*t) : "<none>");
    }
    return rows;
}

TEST(GridLineCutting, AgreesWithFoldingThenSplitting) {
    std::mt19937 rng(23);
    const std::string fixed[] = {
        "a\\\r\nb\nc",                    // an escaped CR LF: the LF is escaped, the CR goes
        "a\r\r\nb",                       // only the CR next to the LF goes
        "\"x\r\ny\"\r\nz",                // CR LF inside quotes and as the line end
        "a\\",                            // a backslash as the last byte
        "a\\\0b\nc",                      // a backslash before the NUL that ends the text
        std::string(63, 'a') + "\\\r\nb", // the escape crosses a block boundary
        std::string(63, 'a') + "\"\n\"\nq",
    };
    for (int round = 0; round < 3000; ++round) {
        const std::string text =
            round < 7 ? fixed[round] : randomText(rng, round % 5 == 0 ? 400 : 60);
        for (int mode = 0; mode < 4; ++mode) {
            const bool names = mode & 1, taking = mode & 2;
            const Loaded want = plainLoad(text, names);
            Grid g;
            g.hasColumnNames = names;
            StringBuffer sb = make(text);
            const int n = taking ? g.loadCsvTaking(sb, ',') : g.loadCsv(sb, ',');
            SCOPED_TRACE(testing::Message() << "round " << round << " mode " << mode);
            ASSERT_EQ(n, static_cast<int>(want.rows.size()));
            ASSERT_EQ(rawRows(g), want.rows);
            ASSERT_EQ(str(g.headerLine()), want.header);
            ASSERT_EQ(g.getDelimiter(), want.delimiter);
            StringBuffer folded = make(text); // loadCsv folds the caller's text in place
            folded.replaceAll("\r\n", "\n");
            ASSERT_EQ(str(sb), taking ? "" : str(folded));
        }
    }
}

// Every cell of random rows under every kind of delimiter (the quote, the backslash or NUL never
// separate), against a fresh plain scan of the row.
TEST(GridRowScan, EveryCellUnderEveryDelimiter) {
    std::mt19937 rng(29);
    const char delimiters[] = {',', ';', '"', '\\', '\0', '\xE9', 'c'};
    for (int round = 0; round < 400; ++round) {
        std::string text;
        for (int r = 0; r < 4; ++r) {
            std::string line = randomText(rng, 120);
            for (char& c : line)
                if (c == '\n' || c == '\r' || c == '\0') c = round % 2 ? '\xE9' : 'x';
            text += line + "\n";
        }
        const Loaded lines = plainLoad(text, false);
        Grid g;
        g.setDelimiter(',');
        StringBuffer sb = make(text);
        ASSERT_EQ(g.loadCsvTaking(sb, ','), static_cast<int>(lines.rows.size()));
        for (char d : delimiters) {
            g.setDelimiter(d);
            for (int r = 0; r < g.numRows(); ++r) {
                const StringBuffer row(lines.rows[r].c_str());
                const int count = FieldScanner::referenceCountFields(row, d, true, true);
                if ((r + round) % 2) {
                    ASSERT_EQ(g.getNumColumns(r), count);
                }
                // Cells in order, backwards or at random.
                for (int i = 0, way = (r + round) % 3; i <= count; ++i) {
                    const int c = way == 0   ? count - i
                                  : way == 1 ? i
                                             : static_cast<int>(rng() % (count + 1));
                    StringBuffer want, got("stale"), scratch;
                    FieldScanner::referenceGetNthField(row, c, d, true, true, want);
                    ASSERT_TRUE(g.getCell(r, c, got));
                    const char* cell;
                    int length;
                    ASSERT_TRUE(g.getCellText(r, c, scratch, &cell, &length));
                    ASSERT_EQ(str(got), str(want)) << "round " << round << " row " << r << " col "
                                                   << c << " delimiter " << int(d);
                    ASSERT_EQ(std::string(cell, length), str(want));
                }
                ASSERT_EQ(g.getNumColumns(r), count);
            }
        }
    }
}

// Quoted fields of every shape placed at every offset, so that each crosses the scan's block
// boundaries at every point: a field is handed out from the row as it lies only when it is one
// quoted stretch, whatever blocks its quotes fall in.
TEST(GridRowScan, QuotedFieldsAcrossBlockBoundaries) {
    const std::string shapes[] = {
        "\"" + std::string(40, 'q') + "\"",         // one stretch over a whole block
        "\"abc\"",                                  // short stretch
        "\"ab\"\"cd" + std::string(36, 'e') + "\"", // doubled quote, then a long tail
        "\"" + std::string(36, 'e') + "\"\"cd\"",   // long head, then a doubled quote
        "\"abc\"x" + std::string(36, 'y'),          // a stretch with text after it
        "x\"" + std::string(36, 'y') + "\"",        // text before a stretch
        "\"a," + std::string(33, 'b') + ",c\"",     // delimiters inside the stretch
        "\"\"",                                     // empty stretch
        "\"\"\"\"",                                 // one doubled quote
        "\"" + std::string(30, 'a') + "\"\"\"",     // ends in a doubled quote
    };
    for (const std::string& shape : shapes) {
        for (int pad = 0; pad < 70; ++pad) {
            const std::string row = std::string(pad, 'p') + "," + shape + "," + shape + ",z";
            Grid g;
            StringBuffer sb = make(row + "\n");
            ASSERT_EQ(g.loadCsvTaking(sb, ','), 1);
            const StringBuffer plain(row.c_str());
            const int count = FieldScanner::referenceCountFields(plain, ',', true, true);
            ASSERT_EQ(g.getNumColumns(0), count) << shape << " pad " << pad;
            for (int c = 0; c < count; ++c) {
                StringBuffer want, got;
                FieldScanner::referenceGetNthField(plain, c, ',', true, true, want);
                ASSERT_TRUE(g.getCell(0, c, got));
                ASSERT_EQ(str(got), str(want)) << shape << " pad " << pad << " col " << c;
            }
        }
    }
}

// Rows read through the field starts the loader noted (FieldIndex) against a plain scan of the
// row text, for tables of many shapes: with and without a column-name line, the delimiter set
// or detected, quoted LF and CR LF, backslashes, CR LF line ends, a blank or padded last line;
// then again after edits, a change of delimiter and back, and rows added after the load.
TEST(GridFieldIndex, CellsAgreeWithPlainScansThroughEditsAndDelimiterChanges) {
    std::mt19937 rng(41);
    static const char* pieces[] = {"a",        "bb",  "\"q\"",      "\"x,y\"", "\"say \"\"hi\"\"\"",
                                   "\"l\nm\"", "c;d", "\"r\r\ns\"", "e\\,f",   "",
                                   "\"\"",     "t\t", "\"u\"v",     "w\"z"};
    for (int round = 0; round < 300; ++round) {
        const char delimiter = round % 3 == 0 ? ';' : round % 7 == 0 ? '\t' : ',';
        std::string text;
        const int lines = 1 + static_cast<int>(rng() % 30);
        for (int l = 0; l < lines; ++l) {
            const int fields = 1 + static_cast<int>(rng() % 12);
            for (int f = 0; f < fields; ++f) {
                if (f) text += delimiter;
                // Mostly pieces that the loader settles with masks, now and then one that it
                // reads byte by byte (backslash, CR LF in quotes).
                std::string piece = pieces[rng() % (sizeof pieces / sizeof *pieces)];
                if (rng() % 4 == 0) piece += std::string(rng() % 70, 'k'); // across blocks
                text += piece;
            }
            if (l == lines - 1 && round % 5 == 0) text += " \t"; // trimmed off the last row
            text += rng() % 2 ? "\r\n" : "\n";
        }
        if (round % 5 == 0) text += "  \n\n";
        const bool names = round % 4 == 1;
        const bool preset = round % 2 == 0;
        SCOPED_TRACE(testing::Message() << "round " << round);
        const Loaded want = plainLoad(text, names);
        Grid g;
        g.hasColumnNames = names;
        if (preset) g.setDelimiter(delimiter);
        StringBuffer sb = make(text);
        ASSERT_EQ(g.loadCsvTaking(sb, preset ? delimiter : ','),
                  static_cast<int>(want.rows.size()));
        std::vector<std::string> rows = want.rows;
        // A count memoised before an edit follows the memo's own rule (a value set past the last
        // field makes col + 1 fields, even where an open quote swallows it): such rows are only
        // compared cell by cell until the delimiter changes.
        std::vector<int> edited;
        const auto check = [&](const char* stage) {
            SCOPED_TRACE(stage);
            const char d = g.getDelimiter();
            for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
                const StringBuffer row(rows[r].c_str());
                const int count =
                    rows[r].empty() ? 0 : FieldScanner::referenceCountFields(row, d, true, true);
                if (std::find(edited.begin(), edited.end(), r) == edited.end()) {
                    ASSERT_EQ(g.getNumColumns(r), count) << "row " << r;
                }
                for (int c = 0; c <= count; ++c) {
                    StringBuffer expected, got;
                    if (!rows[r].empty())
                        FieldScanner::referenceGetNthField(row, c, d, true, true, expected);
                    ASSERT_TRUE(g.getCell(r, c, got));
                    ASSERT_EQ(str(got), str(expected)) << "row " << r << " col " << c;
                }
            }
        };
        check("as loaded");
        // Edits: the edited rows are read from their own text, the others still from the index.
        for (int e = 0; e < 3 && !rows.empty(); ++e) {
            const int r = static_cast<int>(rng() % rows.size());
            ASSERT_TRUE(g.setCellUtf8(r, static_cast<int>(rng() % 4), e % 2 ? "n\"ew" : "x,y"));
            rows[r] = str(*g.rowText(r));
            edited.push_back(r);
        }
        check("after edits");
        const char d = g.getDelimiter();
        g.setDelimiter(d == ',' ? ';' : ',');
        edited.clear(); // every count is made again
        check("other delimiter");
        g.setDelimiter(d);
        check("delimiter back");
        const int added = static_cast<int>(rows.size()) + 1;
        ASSERT_TRUE(g.setCellUtf8(added, 1, "tail"));
        while (static_cast<int>(rows.size()) < added)
            rows.push_back("");
        rows.push_back(str(*g.rowText(added)));
        check("rows added");
    }
}

// Rows whose text is not what the loader saw, or that it could not settle by masks, are read
// from their text: the trimmed last row, a row after the column-name line, CR LF folded in quotes.
TEST(GridFieldIndex, RowsTheIndexMustNotAnswer) {
    const struct {
        const char* text;
        bool names;
        char delimiter; // set before the load; 0: detected
        int row;
        std::vector<std::string> cells;
    } cases[] = {
        {"a\tb\tc\nd\te \t\n", false, '\t', 1, {"d", "e"}}, // the tab went with the trim
        {"x,y\n  p,q  \n", false, 0, 1, {"p", "q"}},        // trimmed at both ends
        {"h1,h2\na,b,c\nd\n", true, 0, 0, {"a", "b", "c"}}, // rows start after the names
        {"h1,h2\na,b,c\nd\n", true, 0, 1, {"d"}},
        {"\"a\r\nb\",c\r\nd,e\r\n", false, 0, 0, {"a\nb", "c"}}, // folded in place
        {"\"a\r\nb\",c\r\nd,e\r\n", false, 0, 1, {"d", "e"}},
        {"\"a\nb\",c\nd,e\n", false, 0, 0, {"a\nb", "c"}}, // LF in quotes stays as it is
        {"k\\,l,m\nn,o\n", false, 0, 0, {"k,l", "m"}},     // an escaped delimiter
    };
    for (const auto& c : cases) {
        Grid g;
        g.hasColumnNames = c.names;
        if (c.delimiter) g.setDelimiter(c.delimiter);
        StringBuffer sb(c.text);
        g.loadCsvTaking(sb, c.delimiter ? c.delimiter : ',');
        SCOPED_TRACE(testing::Message() << c.text << " row " << c.row);
        ASSERT_EQ(g.getNumColumns(c.row), static_cast<int>(c.cells.size()));
        for (int i = 0; i < static_cast<int>(c.cells.size()); ++i) {
            StringBuffer got;
            ASSERT_TRUE(g.getCell(c.row, i, got));
            EXPECT_EQ(str(got), c.cells[i]) << "col " << i;
        }
    }
}

// Loaded rows get buffers of their own only when they change; the text read stays the same.
TEST(GridRows, LoadedRowsEditTrimAndSave) {
    const struct {
        const char* text;
        int row, col;
        const char* value;
        std::vector<std::string> rows; // after the edit
        const char* savedLf;
    } cases[] = {
        {"a,b\nc,d", 0, 1, "x", {"a,x", "c,d"}, "a,x\nc,d\n"},
        {"a,b\nc,d", 3, 0, "e", {"a,b", "c,d", "", "e"}, "a,b\nc,d\n\ne\n"},
        {"a,b\n  c , d  \n\n \t\n", 1, -1, "x", {"a,b", "c , d"}, "a,b\nc , d\n"},
        {"\"q\r\nr\",s\r\nt", 1, 2, "u", {"\"q\nr\",s", "t,,u"}, "\"q\nr\",s\nt,,u\n"},
        {"\"p\r\r\nq\"", 0, -1, "x", {"\"p\r\nq\""}, "\"p\nq\"\n"},
    };
    for (const auto& c : cases) {
        Grid g;
        g.crlf = false;
        StringBuffer sb(c.text);
        g.loadCsvTaking(sb, ',');
        EXPECT_TRUE(g.setCellUtf8(c.row, c.col, c.value)) << c.text;
        EXPECT_EQ(rawRows(g), c.rows) << c.text;
        StringBuffer out;
        g.saveCsv("utf-8", out);
        EXPECT_EQ(str(out), c.savedLf) << c.text;
    }
}

TEST(RowStore, StretchesOwnedAndMissingRows) {
    RowStore store;
    char* block = static_cast<char*>(qxAlloc(16));
    std::memcpy(block, " ab \0cd\0", 8);
    store.adoptBlock(block);
    ASSERT_TRUE(store.appendStretch(0, 4));
    ASSERT_TRUE(store.appendStretch(5, 2));
    ASSERT_TRUE(store.appendOwned(nullptr));
    ASSERT_TRUE(store.appendOwned(qxNew<StringBuffer>("own")));
    const char* text;
    int length;
    const struct {
        int row;
        bool exists, owned;
        const char* text;
    } rows[] = {{0, true, false, " ab "}, {1, true, false, "cd"}, {2, false, false, ""},
                {3, true, true, "own"},   {4, false, false, ""},  {-1, false, false, ""}};
    for (const auto& r : rows) {
        ASSERT_EQ(store.text(r.row, &text, &length), r.exists) << r.row;
        EXPECT_EQ(store.isOwned(r.row), r.owned) << r.row;
        EXPECT_EQ(r.exists ? std::string(text, length) : "", r.text) << r.row;
        EXPECT_EQ(store.editable(r.row) != nullptr, r.exists) << r.row;
    }
    EXPECT_TRUE(store.isOwned(1)); // editable gave it a buffer of its own
    store.trim(0);
    ASSERT_TRUE(store.text(0, &text, &length));
    EXPECT_EQ(std::string(text, length), "ab");
    EXPECT_EQ(text[length], '\0');
    store.removeLast();
    store.removeLast();
    EXPECT_EQ(store.size(), 2);
    ASSERT_TRUE(store.appendOwned(qxNew<StringBuffer>("again")));
    ASSERT_TRUE(store.text(2, &text, &length));
    EXPECT_EQ(std::string(text, length), "again");
    store.clear();
    EXPECT_EQ(store.size(), 0);
    EXPECT_FALSE(store.text(0, &text, &length));
}

} // namespace

#ifdef QX_FAULT_INJECTION
#include "platform/FaultInjection.h"

// Whichever allocation of a load fails, the rows made before it stay as they would be, and an
// edit or a save that cannot give a loaded row a buffer of its own changes nothing.
TEST(RowStoreFaults, LoadsKeepTheRowsMadeEditsAndSavesChangeNothing) {
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "r" + std::to_string(i) + ",\"x\r\ny\"\r\n";
    const Loaded want = plainLoad(text, false);
    for (int failing = 0; failing < 40; ++failing) {
        for (bool taking : {false, true}) {
            Grid g;
            StringBuffer sb = make(text);
            FaultInjection::failAllocationAfter = failing;
            const int n = taking ? g.loadCsvTaking(sb, ',') : g.loadCsv(sb, ',');
            FaultInjection::reset();
            ASSERT_LE(n, static_cast<int>(want.rows.size()));
            // These rows have no blanks at their ends, so trimming the last one changes nothing.
            const std::vector<std::string> prefix(want.rows.begin(), want.rows.begin() + n);
            EXPECT_EQ(rawRows(g), prefix) << failing;
        }
    }
    Grid g;
    g.crlf = true;
    StringBuffer sb("a,b\n\"c\nd\"");
    g.loadCsvTaking(sb, ',');
    FaultInjection::failAllocationAfter = 0;
    EXPECT_FALSE(g.setCellUtf8(0, 0, "x"));
    FaultInjection::reset();
    StringBuffer out;
    out.expectNumBytes(64);
    FaultInjection::failAllocationAfter = 0; // the row with a line break cannot be rewritten
    g.saveCsv("utf-8", out);
    FaultInjection::reset();
    EXPECT_EQ(str(out), "a,b\r\n\"c\nd\"\r\n"); // the failed edit left "a" too
}
#endif
