// The table model and loading. Cells are set with setCellUtf8 (the XString entry point only
// converts its argument to UTF-8 first).
#include "csv/Grid.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Fields = std::vector<std::string>;
using Rows = std::vector<Fields>;

std::string str(const StringBuffer& sb) {
    return std::string(sb.getString(), sb.getSize());
}

std::string cell(const Grid& g, int row, int col) {
    StringBuffer out("stale");
    g.getCell(row, col, out);
    return str(out);
}

std::string raw(const Grid& g, int row) {
    const StringBuffer* t = g.rowText(row);
    return t ? str(*t) : "<none>";
}

int index(const Grid& g, const std::string& name) {
    return g.getColumnIndex(StringBuffer(name.c_str()));
}

// Loads text as the document object does: cleared grid, ',' as the initial delimiter; detection
// is switched off by fixing the delimiter.
int load(Grid& g, const std::string& text, bool names = false, bool detect = true) {
    g.clear();
    g.hasColumnNames = names;
    if (!detect) g.setDelimiter(',');
    StringBuffer sb;
    sb.appendN(text.data(), static_cast<int>(text.size()));
    return g.loadCsv(sb, ',');
}

Rows readAll(Grid& g) {
    Rows rows(g.numRows());
    for (int r = 0; r < g.numRows(); ++r)
        for (int c = 0; c < g.getNumColumns(r); ++c)
            rows[r].push_back(cell(g, r, c));
    return rows;
}

TEST(GridLoad, RowsCellsAndDetectedDelimiter) {
    const struct {
        std::string text;
        char delim;
        Rows rows;
    } cases[] = {
        {"a,b\nc,d\n", ',', {{"a", "b"}, {"c", "d"}}},
        {"a,b\r\nc,d\r\n", ',', {{"a", "b"}, {"c", "d"}}},
        {"\"line1\r\nline2\",z", ',', {{"line1\nline2", "z"}}},
        {"a;b;c", ';', {{"a", "b", "c"}}},
        {"a,b;c", ';', {{"a,b", "c"}}},              // a tie detects ';'
        {"\"w;x;y;z\",1,2", ';', {{"w;x;y;z,1,2"}}}, // quoted bytes count too
        {"abc", ';', {{"abc"}}},
        {"a,b\n\nc\n\n\n", ',', {{"a", "b"}, {}, {"c"}}}, // blank middle row stays
        {"  x , y  ", ',', {{"x ", " y"}}},               // the last row is trimmed
        {"  x , y  \nz", ',', {{"  x ", " y  "}, {"z"}}}, // other rows are not
        {"a\rb", ';', {{"a\rb"}}},                        // a lone CR is data
        {"a,b\n\"open\nc,d\ne", ',', {{"a", "b"}, {"open\nc,d\ne"}}},
        {"\"a\nb,c", ',', {{"a\nb,c"}}}, // an unclosed quote on line 1
        {"", ',', {}},
        {"\n\n \t\n", ',', {}},
        {"1;2\n3,4,5,6", ';', {{"1", "2"}, {"3,4,5,6"}}}, // detected from the first row only
    };
    for (const auto& c : cases) {
        Grid g;
        EXPECT_EQ(load(g, c.text), static_cast<int>(c.rows.size())) << c.text;
        EXPECT_EQ(g.getDelimiter(), c.delim) << c.text;
        EXPECT_EQ(readAll(g), c.rows) << c.text;
        EXPECT_EQ(index(g, c.rows.empty() || c.rows[0].empty() ? "a" : c.rows[0][0]), -1)
            << c.text; // no names were loaded
    }
}

TEST(GridLoad, ColumnNameLine) {
    const struct {
        std::string text;
        char delim;
        Fields names;
        Rows rows;
    } cases[] = {
        {"Name,Age\nBob,7\n", ',', {"Name", "Age"}, {{"Bob", "7"}}},
        {"Name;Age\nBob,7,x", ';', {"Name", "Age"}, {{"Bob,7,x"}}},
        {"a,b", ',', {"a", "b"}, {}},
        {"\"x,y\",\"q\"\"r\"\n1,2", ',', {"x,y", "q\"r"}, {{"1", "2"}}},
    };
    for (const auto& c : cases) {
        Grid g;
        load(g, c.text, true);
        EXPECT_EQ(g.getDelimiter(), c.delim) << c.text;
        EXPECT_EQ(str(g.headerLine()), c.text.substr(0, c.text.find('\n'))) << c.text;
        EXPECT_EQ(g.numHeaderFields(), static_cast<int>(c.names.size())) << c.text;
        for (int i = 0; i < static_cast<int>(c.names.size()); ++i) {
            StringBuffer name;
            EXPECT_TRUE(g.getColumnName(i, name));
            EXPECT_EQ(str(name), c.names[i]) << c.text;
            EXPECT_EQ(index(g, c.names[i]), i) << c.text;
        }
        EXPECT_EQ(readAll(g), c.rows) << c.text;
    }
    Grid g; // the later of two equal names wins; names are case-sensitive
    load(g, "x,y,x\n", true);
    EXPECT_EQ(index(g, "x"), 2);
    EXPECT_EQ(index(g, "X"), -1);
}

TEST(GridLoad, ExplicitDelimiterSuppressesDetection) {
    Grid g;
    g.setDelimiter('\t');
    StringBuffer text("a;b;c");
    EXPECT_EQ(g.loadCsv(text, ','), 1);
    EXPECT_EQ(g.getDelimiter(), ','); // the initial delimiter, nothing detected
    EXPECT_EQ(g.getNumColumns(0), 1);
    g.clear();
    EXPECT_FALSE(g.isDelimiterSet());
    StringBuffer again("a;b;c");
    g.loadCsv(again, ',');
    EXPECT_EQ(g.getDelimiter(), ';');
}

TEST(GridModel, SetCellCreatesRowsUpToTheOneAskedFor) {
    Grid g;
    EXPECT_TRUE(g.setCellUtf8(5, 0, "v"));
    ASSERT_EQ(g.numRows(), 6);
    for (int r = 0; r < 5; ++r) {
        EXPECT_EQ(raw(g, r), "") << r;
        EXPECT_EQ(g.getNumColumns(r), 0) << r;
    }
    EXPECT_EQ(raw(g, 5), "v");
    EXPECT_TRUE(g.setCellUtf8(2, 2, "w")); // a row counted as 0 is counted again
    EXPECT_EQ(raw(g, 2), ",,w");
    EXPECT_EQ(g.getNumColumns(2), 3);
    EXPECT_FALSE(g.setCellUtf8(-1, 0, "v"));
    EXPECT_FALSE(g.setCellUtf8(Grid::kMaxRows, 0, "v"));
    StringBuffer out("stale");
    EXPECT_FALSE(g.getCell(6, 0, out));
    EXPECT_EQ(out.getSize(), 0);
}

TEST(GridModel, SetCellEdits) {
    const struct {
        std::string row;
        int col;
        std::string value;
        std::string stored;
        int columns;
    } cases[] = {
        {"a", 2, "v", "a,,v", 3},
        {"a", 2, "x,y", "a,,\"x,y\"", 3},
        {"a,\"b,c\",d", 1, "z", "a,z,d", 3},
        {"a,b", 3, "z", "a,b,,z", 4},
        {"a,b", 4, "z", "a,b,,,z", 5},
        {"a,b", -1, "z", "a,b", 2},    // a negative column changes nothing
        {"x,y", 0, "a\\", "a\\,y", 1}, // the backslash escapes the delimiter after it
        {"x,y", 1, "dir\\file", "x,dir\\file", 2},
    };
    for (const auto& c : cases) {
        Grid g;
        load(g, c.row + "\nlast", false, false);
        ASSERT_GE(g.getNumColumns(0), 1); // the count is memoised before the edit
        EXPECT_TRUE(g.setCellUtf8(0, c.col, c.value.c_str()));
        EXPECT_EQ(raw(g, 0), c.stored) << c.row << " col " << c.col;
        EXPECT_EQ(g.getNumColumns(0), c.columns) << c.row << " col " << c.col;
        Grid fresh; // the same row counted from scratch
        load(fresh, c.stored + "\nlast", false, false);
        EXPECT_EQ(fresh.getNumColumns(0), c.columns) << c.stored;
    }
}

TEST(GridModel, ColumnNames) {
    Grid g;
    StringBuffer out("stale");
    EXPECT_FALSE(g.getColumnName(1000001, out));
    EXPECT_EQ(str(out), "stale");
    EXPECT_TRUE(g.getColumnName(1000000, out));
    EXPECT_EQ(str(out), "");
    EXPECT_FALSE(g.setColumnName(1000001, "n"));
    EXPECT_FALSE(g.hasColumnNames);

    load(g, "1,2,3\n");
    EXPECT_TRUE(g.setColumnName(0, "a,b"));
    EXPECT_TRUE(g.hasColumnNames);
    EXPECT_EQ(str(g.headerLine()), "\"a,b\"");
    EXPECT_EQ(index(g, "a,b"), 0);
    EXPECT_TRUE(g.setColumnName(2, "c"));
    EXPECT_EQ(str(g.headerLine()), "\"a,b\",,c");
    EXPECT_TRUE(g.setColumnName(0, "A")); // renaming takes the old name out of the index
    EXPECT_EQ(index(g, "a,b"), -1);
    EXPECT_TRUE(g.setColumnName(1, "A")); // a name given to a second column points there only
    EXPECT_TRUE(g.setColumnName(1, "B"));
    EXPECT_EQ(index(g, "A"), -1);
    EXPECT_EQ(str(g.headerLine()), "A,B,c");
    EXPECT_EQ(raw(g, 0), "1,2,3");
}

TEST(GridModel, DelimiterDecidesHowRowsSplitAndClearKeepsSettings) {
    Grid g;
    load(g, "a,b,c;d");
    EXPECT_EQ(g.getNumColumns(0), 3);
    g.setDelimiter(';'); // counts memoised under ',' are discarded
    EXPECT_EQ(g.getNumColumns(0), 2);
    EXPECT_EQ(cell(g, 0, 0), "a,b,c");
    g.crlf = false;
    g.hasColumnNames = true;
    g.clear();
    EXPECT_EQ(g.numRows(), 0);
    EXPECT_FALSE(g.isDelimiterSet());
    EXPECT_EQ(g.getDelimiter(), ';');
    EXPECT_FALSE(g.crlf);
    EXPECT_TRUE(g.hasColumnNames);
}

} // namespace

#ifdef QX_FAULT_INJECTION
#include "platform/FaultInjection.h"

// A row whose object could not be allocated counts as a row but reads as one that does not
// exist, and the writer skips it.
TEST(GridFaults, RowWithoutMemoryIsCountedButSkipped) {
    Grid g;
    g.crlf = false;
    FaultInjection::failAllocationAfter = 0; // the row object of row 0
    EXPECT_FALSE(g.setCellUtf8(0, 0, "lost"));
    FaultInjection::reset();
    EXPECT_EQ(g.numRows(), 1);
    EXPECT_TRUE(g.setCellUtf8(1, 0, "kept"));
    StringBuffer out;
    EXPECT_FALSE(g.getCell(0, 0, out));
    EXPECT_FALSE(g.setCellUtf8(0, 0, "again"));
    g.saveCsv("utf-8", out);
    EXPECT_EQ(std::string(out.getString(), out.getSize()), "kept\n");
}
#endif
