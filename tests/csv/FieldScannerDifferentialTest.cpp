// The fast field scanners against their plain byte-loop forms (FieldScanner::reference*), and the
// grid's row-offset memo against reading every cell with a fresh scan. Random lines are built
// from the bytes the scanners react to, long enough to cross the 16-byte and word blocks of the
// fast search, and with NUL bytes inside to check that a NUL ends the text everywhere.
#include "csv/CsvTestSupport.h"
#include "csv/FieldScanner.h"
#include "csv/Grid.h"
#include "text/ExtPtrArray.h"
#include "text/StringBuffer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using csvtest::make;
using csvtest::str;

// A random line: mostly plain letters with the special bytes mixed in at a chosen density.
std::string randomLine(std::mt19937& rng) {
    static const char special[] = {',', ';',  '"',    '"',    '\\',   '\n', '\t',
                                   ' ', '\0', '\x80', '\xE9', '\xFF', '\r'};
    const int length = static_cast<int>(rng() % 3 == 0 ? rng() % 600 : rng() % 70);
    const unsigned density = 1 + rng() % 8; // one special byte in `density` on average
    std::string s;
    for (int i = 0; i < length; ++i) {
        if (rng() % density == 0)
            s += special[rng() % sizeof special];
        else
            s += static_cast<char>('a' + rng() % 26);
    }
    return s;
}

// Delimiters, including ones that coincide with the quote, the backslash, NUL and a high byte.
const char kDelimiters[] = {',', ';', '\t', '\n', '"', '\\', '\0', '\xE9'};

struct Flags {
    bool quotes;
    bool backslash;
};
const Flags kFlags[] = {{true, true}, {true, false}, {false, true}, {false, false}};

std::vector<std::string> pieces(ExtPtrArray& array) {
    std::vector<std::string> out;
    for (int i = 0; i < array.getSize(); ++i)
        out.push_back(str(*static_cast<StringBuffer*>(array.elementAt(i))));
    array.removeAllObjects();
    return out;
}

TEST(FieldScannerDiff, SearchAndDelimiterAgreeWithPlainLoops) {
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        const std::string line = randomLine(rng);
        const int length = static_cast<int>(line.size());
        const char* text = line.c_str();
        const unsigned char a = static_cast<unsigned char>(rng()), b = ',', c = '"', d = '\\';
        for (int from = 0; from <= length; from += 1 + static_cast<int>(rng() % 9)) {
            ASSERT_EQ(FieldScanner::findAny(text, from, length, a, b, c, d),
                      FieldScanner::referenceFindAny(text, from, length, a, b, c, d))
                << "line " << round << " from " << from;
        }
        for (char delimiter : kDelimiters)
            for (const Flags& f : kFlags) {
                // The block walk visits the separators the plain loop finds, and ends where
                // it ends.
                std::vector<int> walked, looped;
                const int walkEnd = FieldScanner::scanSeparators(text, 0, length, delimiter,
                                                                 f.quotes, f.backslash, [&](int p) {
                                                                     walked.push_back(p);
                                                                     return true;
                                                                 });
                int loopEnd = 0;
                for (int p = 0;;) {
                    loopEnd = FieldScanner::referenceNextDelimiter(text, p, length, delimiter,
                                                                   f.quotes, f.backslash);
                    if (loopEnd >= length || text[loopEnd] == 0) break;
                    looped.push_back(loopEnd);
                    p = loopEnd + 1;
                }
                ASSERT_EQ(walked, looped) << "line " << round;
                ASSERT_EQ(walkEnd, loopEnd) << "line " << round;
                // From every field start the plain loop reaches, both find the same next one.
                int from = 0;
                for (int guard = 0; guard <= length + 1; ++guard) {
                    const int fast = FieldScanner::nextDelimiter(text, from, length, delimiter,
                                                                 f.quotes, f.backslash);
                    const int plain = FieldScanner::referenceNextDelimiter(
                        text, from, length, delimiter, f.quotes, f.backslash);
                    ASSERT_EQ(fast, plain) << "line " << round << " delimiter "
                                           << static_cast<int>(delimiter) << " from " << from;
                    if (plain >= length || text[plain] == 0) break;
                    from = plain + 1;
                }
            }
    }
}

TEST(FieldScannerDiff, FourScannersAgreeWithPlainLoops) {
    std::mt19937 rng(11);
    for (int round = 0; round < 1500; ++round) {
        const StringBuffer line = make(randomLine(rng));
        for (char delimiter : kDelimiters)
            for (const Flags& f : kFlags) {
                const int count = line.countFields(delimiter, f.quotes, f.backslash);
                ASSERT_EQ(count, FieldScanner::referenceCountFields(line, delimiter, f.quotes,
                                                                    f.backslash))
                    << "line " << round;

                ExtPtrArray fast, plain;
                line.split(fast, delimiter, f.quotes, f.backslash);
                FieldScanner::referenceSplit(line, plain, delimiter, f.quotes, f.backslash);
                ASSERT_EQ(pieces(fast), pieces(plain)) << "line " << round;

                StringBuffer a("stale"), b("stale");
                for (int n = -1; n <= count + 1; ++n) {
                    line.getNthField(n, delimiter, f.quotes, f.backslash, a);
                    FieldScanner::referenceGetNthField(line, n, delimiter, f.quotes, f.backslash,
                                                       b);
                    ASSERT_EQ(str(a), str(b)) << "line " << round << " field " << n;
                }

                const StringBuffer value = make(rng() % 2 ? "v,\"w\"" : "");
                const int n = static_cast<int>(rng() % (count + 3));
                StringBuffer x(line), y(line);
                x.setNthField(n, delimiter, f.quotes, f.backslash, value);
                FieldScanner::referenceSetNthField(y, n, delimiter, f.quotes, f.backslash, value);
                ASSERT_EQ(str(x), str(y)) << "line " << round << " field " << n;
            }
    }
}

// A field cut out by its raw extent reads as the scanner reads it in place.
TEST(FieldScannerDiff, UnquotedExtentEqualsFieldRead) {
    std::mt19937 rng(13);
    for (int round = 0; round < 3000; ++round) {
        const StringBuffer line = make(randomLine(rng));
        const char* text = line.getString();
        const int length = line.getSize();
        int start = 0;
        for (int n = 0; n < 1000; ++n) {
            const int end =
                FieldScanner::referenceNextDelimiter(text, start, length, ',', true, true);
            StringBuffer cut, read;
            FieldScanner::appendUnquoted(text + start, end - start, true, true, cut);
            FieldScanner::referenceGetNthField(line, n, ',', true, true, read);
            ASSERT_EQ(str(cut), str(read)) << "line " << round << " field " << n;
            if (end >= length || text[end] == 0) break;
            start = end + 1;
        }
    }
}

// ---- the grid's row-offset memo ---------------------------------------------------------------

// Every cell of every row, read with a fresh plain scan of the stored row text.
std::string expectedCell(const Grid& g, int row, int col) {
    StringBuffer out;
    const StringBuffer* text = g.rowText(row);
    if (text) FieldScanner::referenceGetNthField(*text, col, g.getDelimiter(), true, true, out);
    return str(out);
}

std::string cell(const Grid& g, int row, int col) {
    StringBuffer out("stale");
    g.getCell(row, col, out);
    return str(out);
}

TEST(GridRowMemo, RandomReadsAndEditsAgreeWithFreshScans) {
    std::mt19937 rng(17);
    for (int round = 0; round < 60; ++round) {
        std::string text;
        const int rows = 1 + static_cast<int>(rng() % 12);
        for (int r = 0; r < rows; ++r) {
            std::string line = randomLine(rng);
            for (char& c : line)
                if (c == '\n' || c == '\0') c = 'x'; // one line per row
            text += line + "\n";
        }
        Grid g;
        StringBuffer sb = make(text);
        g.loadCsv(sb, ',');
        for (int step = 0; step < 400; ++step) {
            const int row = static_cast<int>(rng() % (g.numRows() + 1));
            const int col = static_cast<int>(rng() % 12) - 1;
            switch (rng() % 10) {
            case 0:
                g.setCellUtf8(row, col, rng() % 2 ? "e" : "a,\"b\\");
                break;
            case 1:
                g.setDelimiter(rng() % 2 ? ',' : ';');
                break;
            case 2: {
                g.crlf = rng() % 2 == 0;
                StringBuffer saved;
                g.saveCsv("utf-8", saved);
                break;
            }
            case 3:
                if (row < g.numRows()) {
                    const int expected = FieldScanner::referenceCountFields(
                        *g.rowText(row), g.getDelimiter(), true, true);
                    // Two changes of delimiter make the grid forget its memoised counts.
                    const char d = g.getDelimiter();
                    g.setDelimiter(d == ',' ? ';' : ',');
                    g.setDelimiter(d);
                    ASSERT_EQ(g.getNumColumns(row), expected) << "round " << round;
                }
                break;
            default:
                ASSERT_EQ(cell(g, row, col), expectedCell(g, row, col))
                    << "round " << round << " step " << step << " row " << row << " col " << col;
            }
        }
    }
}

// Each change to a row or to the delimiter is seen by the next read of the row just read.
TEST(GridRowMemo, ChangesAreSeenByTheNextRead) {
    struct Case {
        const char* name;
        void (*change)(Grid&);
        const char* expected; // cell (0, 1) afterwards
    };
    const Case cases[] = {
        {"shorter value", [](Grid& g) { g.setCellUtf8(0, 1, "Q"); }, "Q"},
        // The row keeps its length and its block (the quoted "b LF c" was five bytes, so is
        // the new value), but the value's last backslash escapes the delimiter after it: field 1
        // now runs to the end of the row.
        {"same length, fields moved", [](Grid& g) { g.setCellUtf8(0, 1, "bbbb\\"); }, "bbbb,d"},
        {"longer value", [](Grid& g) { g.setCellUtf8(0, 0, "long value"); }, "b\nc"},
        {"delimiter", [](Grid& g) { g.setDelimiter(';'); }, ""},
        {"new text",
         [](Grid& g) {
             StringBuffer t("x,y\n");
             g.loadCsv(t, ',');
         },
         "y"},
        {"cleared", [](Grid& g) { g.clear(); }, ""},
        {"saved with CR LF",
         [](Grid& g) {
             g.crlf = true;
             StringBuffer out;
             g.saveCsv("utf-8", out);
         },
         "b\r\nc"},
    };
    for (const Case& c : cases) {
        Grid g;
        g.crlf = false;
        StringBuffer text("a,\"b\nc\",d\n");
        g.loadCsv(text, ',');
        ASSERT_EQ(cell(g, 0, 1), "b\nc"); // the row's offsets are now remembered
        c.change(g);
        EXPECT_EQ(cell(g, 0, 1), c.expected) << c.name;
    }
}

} // namespace
