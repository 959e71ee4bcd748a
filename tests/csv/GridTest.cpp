// The dialect and the table model as tables of input and settings against the expected cells,
// stored rows and saved text; then running out of memory.
#include "csv/CsvTestSupport.h"
#include "platform/Memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using csvtest::caseFile;
using csvtest::make;
using csvtest::rawRows;
using csvtest::Rows;
using csvtest::rowsOf;
using csvtest::str;
using csvtest::unescape;
using Fields = std::vector<std::string>;

std::string cell(const Grid& g, int row, int col) {
    StringBuffer out("stale");
    g.getCell(row, col, out);
    return str(out);
}

Rows readAll(Grid& g) {
    Rows rows(g.numRows());
    for (int r = 0; r < g.numRows(); ++r)
        for (int c = 0; c < g.getNumColumns(r); ++c)
            rows[r].push_back(cell(g, r, c));
    return rows;
}

std::string saved(Grid& g, const char* charset = "utf-8") {
    StringBuffer out("stale");
    g.saveCsv(charset, out);
    return str(out);
}

std::string lf(std::string s) {
    for (size_t at; (at = s.find("\r\n")) != std::string::npos;)
        s.erase(at, 1);
    return s;
}

std::string joined(const Fields& rows, const char* eol) {
    std::string out;
    for (const std::string& r : rows)
        out += r + eol;
    return out;
}

// Each line reads as exactly these fields; the field after the last, and field -1, read empty.
TEST(FieldScanner, CountReadAndSetFields) {
    for (const auto& f : caseFile("scanner-fields.txt")) {
        const StringBuffer line = make(unescape(f[0]));
        const char d = unescape(f[1])[0];
        const bool quotes = f[2] == "1", backslash = f[3] == "1";
        const Rows rows = rowsOf(f[4]);
        const Fields fields = rows.empty() ? Fields() : rows[0];
        const int n = static_cast<int>(fields.size());
        EXPECT_EQ(line.countFields(d, quotes, backslash), n) << f[0];
        for (int i = -1; i <= n + 5; ++i) {
            StringBuffer out("stale");
            line.getNthField(i, d, quotes, backslash, out);
            EXPECT_EQ(str(out), i >= 0 && i < n ? fields[i] : "") << f[0] << " #" << i;
        }
    }
    for (const auto& f : caseFile("scanner-set.txt")) {
        StringBuffer line = make(unescape(f[0]));
        line.setNthField(std::stoi(f[1]), ',', true, true, make(unescape(f[2])));
        EXPECT_EQ(str(line), unescape(f[3])) << f[0] << " col " << f[1];
    }
    StringBuffer line("a,b"); // its own text as the value
    line.setNthField(2, ',', true, true, line);
    EXPECT_EQ(str(line), "a,b,a,b");
}

// Loaded by copy and by taking the text over (the field index path), as the object loads: a
// cleared grid, ',' as the initial delimiter, detection unless a delimiter was set. Saved with LF
// line ends, the rows are written as stored but for CR LF inside them.
TEST(GridLoadSave, RowsNamesDelimiterAndSavedText) {
    for (const auto& f : caseFile("grid-load.txt"))
        for (bool taking : {false, true}) {
            SCOPED_TRACE(f[0] + (taking ? " taken" : " copied"));
            const bool names = f[1] == "1";
            const char preset = f[2].empty() ? 0 : unescape(f[2])[0];
            const Rows header = rowsOf(f[4]), rows = rowsOf(f[5]);
            Grid g;
            g.hasColumnNames = names;
            if (preset) g.setDelimiter(preset);
            StringBuffer sb = make(unescape(f[0]));
            const char initial = preset ? preset : ',';
            EXPECT_EQ(taking ? g.loadCsvTaking(sb, initial) : g.loadCsv(sb, initial),
                      static_cast<int>(rows.size()));
            EXPECT_EQ(g.getDelimiter(), unescape(f[3])[0]);
            EXPECT_EQ(readAll(g), rows);
            const Fields want = header.empty() ? Fields() : header[0];
            EXPECT_EQ(g.numHeaderFields(), static_cast<int>(want.size()));
            for (int i = 0; i < static_cast<int>(want.size()); ++i) {
                StringBuffer name;
                EXPECT_TRUE(g.getColumnName(i, name));
                EXPECT_EQ(str(name), want[i]);
                EXPECT_EQ(g.getColumnIndex(make(want[i])), i);
            }
            if (want.empty() && !rows.empty() && !rows[0].empty())
                EXPECT_EQ(g.getColumnIndex(make(rows[0][0])), -1); // no names were loaded
            if (f.size() > 6) EXPECT_EQ(saved(g), unescape(f[6]));
            g.crlf = false;
            const std::string head = names ? str(g.headerLine()) + "\n" : "";
            EXPECT_EQ(saved(g), lf(head + joined(rawRows(g), "\n")));
        }
    Grid g; // the later of two equal names wins
    g.hasColumnNames = true;
    StringBuffer sb("x,y,x\n");
    g.loadCsv(sb, ',');
    EXPECT_EQ(g.getColumnIndex(make("x")), 2);
}

// A value set into a row (its count memoised first): the rows stored, the row's memoised field
// count and the count from a fresh load of what was stored, the cell read back and the text saved.
TEST(GridEdits, SetCellQuotesStoresCountsAndSaves) {
    for (const auto& f : caseFile("grid-edits.txt")) {
        SCOPED_TRACE(f[0] + " (" + f[2] + "," + f[3] + ")");
        const char d = unescape(f[1])[0];
        const int row = std::stoi(f[2]), col = std::stoi(f[3]), columns = std::stoi(f[6]);
        const std::string value = unescape(f[4]);
        Fields stored;
        for (const auto& r : rowsOf(f[5]))
            stored.push_back(r.empty() ? "" : r[0]);
        Grid g;
        g.crlf = false;
        g.setDelimiter(d);
        StringBuffer sb = make(unescape(f[0]));
        g.loadCsvTaking(sb, d);
        const int before = g.getNumColumns(row);
        EXPECT_TRUE(g.setCellUtf8(row, col, value.c_str()));
        EXPECT_EQ(rawRows(g), stored);
        // A memoised count changes only when the field set lies beyond it, even where a
        // backslash in the value now escapes a delimiter; an empty row is counted afresh.
        EXPECT_EQ(g.getNumColumns(row), before < 1 ? columns : col >= before ? col + 1 : before);
        EXPECT_EQ(cell(g, row, col), f.size() > 7 ? unescape(f[7]) : value);
        EXPECT_EQ(saved(g), lf(joined(stored, "\n")));
        Grid fresh;
        fresh.setDelimiter(d);
        StringBuffer again = make(joined(stored, "\n") + "last");
        fresh.loadCsv(again, d);
        EXPECT_EQ(fresh.getNumColumns(row), columns);
    }
    Grid g; // a missing row reads as false and empty
    StringBuffer out("stale");
    EXPECT_FALSE(g.getCell(0, 0, out));
    EXPECT_EQ(out.getSize(), 0);
}

TEST(GridEdits, ColumnNames) {
    Grid g;
    StringBuffer text("1,2,3\n");
    g.loadCsv(text, ',');
    EXPECT_TRUE(g.setColumnName(0, "a,b"));
    EXPECT_TRUE(g.hasColumnNames);
    EXPECT_TRUE(g.setColumnName(2, "c"));
    EXPECT_EQ(str(g.headerLine()), "\"a,b\",,c");
    EXPECT_EQ(g.getColumnIndex(make("a,b")), 0);
    EXPECT_TRUE(g.setColumnName(0, "A")); // renaming takes the old name out of the index
    EXPECT_EQ(g.getColumnIndex(make("a,b")), -1);
    EXPECT_TRUE(g.setColumnName(1, "A")); // a name given to a second column points there only
    EXPECT_TRUE(g.setColumnName(1, "B"));
    EXPECT_EQ(g.getColumnIndex(make("A")), -1);
    EXPECT_EQ(str(g.headerLine()), "A,B,c");
    // A save brings the rows' line ends into its form in place; the column-name line stays.
    Grid h;
    h.setColumnName(0, "h\r\nx");
    h.setCellUtf8(0, 0, "a\nb");
    h.setCellUtf8(2, 0, "c");
    EXPECT_EQ(saved(h), "h\r\nx\r\na\r\nb\r\n\r\nc\r\n");
    EXPECT_EQ(cell(h, 0, 0), "a\r\nb");
    h.crlf = false;
    EXPECT_EQ(saved(h), "h\r\nx\na\nb\n\nc\n");
}

// Trimming and dropping the last row reach rows with buffers of their own only here: the grid
// trims and drops rows only while it loads, when every row is a stretch of the text.
TEST(RowStore, OwnedRowsTrimmedAndDropped) {
    RowStore store;
    ASSERT_TRUE(store.appendOwned(nullptr) && store.appendOwned(qxNew<StringBuffer>(" own ")));
    const char* text;
    int length;
    store.trim(1);
    ASSERT_TRUE(store.text(1, &text, &length));
    EXPECT_EQ(std::string(text, length), "own");
    store.removeLast();
    store.removeLast();
    ASSERT_TRUE(store.appendOwned(qxNew<StringBuffer>("again")) && store.text(0, &text, &length));
    EXPECT_EQ(std::string(text, length) + std::to_string(store.size()), "again1");
}

// Saving normalises a loaded row in place when it only loses bytes, behind the loaded text or
// into a buffer of its own when it gains some: either way the text must be what the text
// functions make of it. Every text of up to six bytes of 'a', CR and LF, as loaded rows (with
// room behind them for all, for some and for none) and as owned ones.
TEST(RowStore, LineEndsNormaliseAsTheTextFunctions) {
    std::vector<std::string> texts = {""};
    for (size_t from = 0; texts[from].size() < 6; ++from)
        for (char c : {'a', '\r', '\n'})
            texts.push_back(texts[from] + c);
    std::string joined;
    for (const std::string& t : texts)
        joined += t + '\0';
    const int used = static_cast<int>(joined.size());
    int needed = 0; // room for every row that gains a CR, each with its NUL
    for (const std::string& t : texts)
        if (t.find('\n') != std::string::npos)
            needed += static_cast<int>(
                StringBuffer::crlfLength(t.data(), static_cast<int>(t.size())) + 1);
    for (int room : {0, used / 3, needed - 1, needed})
        for (bool crlf : {true, false}) {
            char* block = static_cast<char*>(qxAlloc(joined.size() + room));
            ASSERT_NE(block, nullptr);
            std::memcpy(block, joined.data(), joined.size());
            RowStore store;
            store.adoptBlock(block, used, used + room);
            int offset = 0;
            for (const std::string& t : texts) {
                ASSERT_TRUE(store.appendStretch(offset, static_cast<int>(t.size())));
                offset += static_cast<int>(t.size()) + 1;
            }
            for (const std::string& t : texts)
                ASSERT_TRUE(store.appendOwned(qxNew<StringBuffer>(t.c_str())));
            const int n = static_cast<int>(texts.size());
            const char* text;
            int length;
            for (int row = 0; row < 2 * n; ++row)
                ASSERT_TRUE(store.normaliseLineEnds(row, crlf));
            // Read once all are done: a row moved behind the text must not be overwritten by the
            // next.
            for (int row = 0; row < 2 * n; ++row) {
                StringBuffer expected(texts[row % n].c_str());
                crlf ? expected.toCrlf() : expected.toLf();
                ASSERT_TRUE(store.text(row, &text, &length));
                EXPECT_EQ(std::string(text, length) + '|' + text[length],
                          str(expected) + '|' + '\0')
                    << "row " << row << (crlf ? " crlf" : " lf") << " room " << room;
            }
        }
    RowStore store;
    EXPECT_FALSE(store.appendOwned(nullptr) && store.normaliseLineEnds(0, true));
}

// Cells read after a save are those of the saved text, also for rows the field index had
// answered for before the save changed their line ends.
TEST(GridLoadSave, CellsAfterSavingAreThoseOfTheSavedText) {
    // The second text ends in a row that gains more bytes than lie behind it, after rows that
    // gain bytes too.
    const std::string texts[] = {"a,\"b\nc\",d\n\"e\r\r\nf\",g\n\"h\ri\",j,k\nl,\"m\r\"\n"
                                 "\"\r\",\"\n\",x\nplain,row,here\n",
                                 "\"1\n2\n3\",x\r\ny,\"4\n5\"\r\n\"6\n7\n8\n9\",z\r\n"};
    for (int kind = 0; kind < 8; ++kind) {
        const std::string& text = texts[kind / 4];
        const bool crlf = kind % 2 == 0;
        Grid g;
        g.crlf = crlf;
        StringBuffer sb = make(text);
        // A copy leaves no room behind the text; a text taken over has some.
        if (kind % 4 < 2)
            g.loadCsvTaking(sb, ',');
        else
            g.loadCsv(sb, ',');
        const Rows before = readAll(g);
        ASSERT_EQ(before.size(), kind < 4 ? 6u : 3u);
        const std::string out = saved(g);
        Grid again;
        StringBuffer reloaded = make(out);
        again.loadCsvTaking(reloaded, ',');
        // A reload folds the CR LF inside quotes to LF, which the saved grid holds as CR LF.
        Rows expected = readAll(again);
        for (auto& row : expected)
            for (std::string& c : row)
                for (size_t at = 0; crlf && (at = c.find('\n', at)) != std::string::npos; at += 2)
                    c.insert(at, 1, '\r');
        EXPECT_EQ(readAll(g), expected) << (crlf ? "crlf" : "lf");
        EXPECT_EQ(saved(g), out);
    }
}

// A save copies rows a block at a time while it looks for line breaks in them: every row of 0 to
// 40 bytes, plain and with a CR, an LF or a CR LF (inside quotes) at each place, must come out as
// the text functions normalise it, for each line end. (Saving to a file goes the same way; the
// stretch tests compare the two.)
TEST(GridLoadSave, SavedRowsAreTheirTextsNormalised) {
    std::vector<std::string> lines;
    for (int size = 0; size <= 40; ++size) {
        lines.push_back(std::string(size, 'a'));
        for (const char* brk : {"\r", "\n", "\r\n"})
            for (int at = 0; at + 2 <= size; ++at)
                lines.push_back('"' + std::string(at, 'b') + brk + std::string(size - at - 2, 'c') +
                                '"');
    }
    lines.push_back("end");
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    for (bool crlf : {true, false}) {
        std::string expected;
        for (const std::string& line : lines) {
            StringBuffer row(lf(line).c_str()); // the load folds CR LF inside quotes
            crlf ? row.toCrlf() : row.toLf();
            expected += str(row) + (crlf ? "\r\n" : "\n");
        }
        Grid g;
        g.crlf = crlf;
        StringBuffer sb = make(text);
        g.loadCsvTaking(sb, ',');
        ASSERT_EQ(g.numRows(), static_cast<int>(lines.size()));
        EXPECT_EQ(saved(g), expected) << (crlf ? "crlf" : "lf");
    }
}

} // namespace

#ifdef QX_FAULT_INJECTION
#include "platform/FaultInjection.h"

// A row whose object could not be allocated counts as a row but reads as missing and is not
// saved. (Edits and saves of loaded rows without memory are the object's fault suite's.)
TEST(GridFaults, RowsWithoutMemory) {
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
    EXPECT_EQ(saved(g), "kept\n");
}
#endif
