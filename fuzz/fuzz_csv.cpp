// Loads arbitrary bytes as a CSV table, reads every cell, edits a few cells, saves the table and
// loads the saved text again. Beyond not crashing, the counts read back must stay consistent.
#include "csv/FieldScanner.h"
#include "csv/Grid.h"
#include "text/StringBuffer.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
// Stops the run with the line of the broken invariant.
void fail(int line) {
    std::fprintf(stderr, "invariant broken at %s:%d\n", __FILE__, line);
    std::abort();
}
#define check(ok) ((ok) ? (void)0 : fail(__LINE__))

// Reads every cell of every row, then checks each row against a plain scan of its text (which
// gives the row a buffer of its own, so the cells are read first, the way the table serves them
// after a load). Counts are compared only when fresh: one memoised before an edit follows the
// memo's own rule. Returns the number of rows.
int readAll(Grid& grid, bool freshCounts) {
    const int rows = grid.numRows();
    check(rows >= 0);
    StringBuffer cell;
    std::vector<std::string> cells;
    for (int r = 0; r < rows; ++r) {
        const int cols = grid.getNumColumns(r);
        check(cols >= 0);
        cells.clear();
        for (int c = 0; c < cols; ++c) {
            cell.clear();
            grid.getCell(r, c, cell);
            check(cell.getString() != nullptr);
            cells.push_back(cell.getString());
        }
        // One past the last column reads as missing, never as a crash.
        cell.clear();
        grid.getCell(r, cols, cell);

        const StringBuffer* text = grid.rowText(r);
        check(text != nullptr);
        const char d = grid.getDelimiter();
        if (freshCounts)
            check(cols == (text->getSize() == 0
                               ? 0
                               : FieldScanner::referenceCountFields(*text, d, true, true)));
        for (int c = 0; c < cols; ++c) {
            StringBuffer want;
            if (text->getSize() > 0)
                FieldScanner::referenceGetNthField(*text, c, d, true, true, want);
            check(cells[c] == want.getString());
        }
    }
    cell.clear();
    grid.getCell(rows, 0, cell);
    grid.getCell(-1, 0, cell);
    return rows;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 100000) return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;

    static const char kDelimiters[] = {',', ';', '\t', '|'};
    char delimiter = kDelimiters[(mode >> 2) & 3];
    if ((mode & 0x10) && size > 0) {
        delimiter = static_cast<char>(data[0]);
        ++data;
        --size;
    }
    // The loader reads text up to its first NUL, like every caller hands it over.
    std::string text(reinterpret_cast<const char*>(data), size);

    Grid grid;
    grid.hasColumnNames = (mode & 1) != 0;
    grid.crlf = (mode & 2) != 0;
    StringBuffer input(text.c_str());
    grid.loadCsv(input, delimiter);
    const int rowsLoaded = readAll(grid, true);

    // Header names, when any.
    StringBuffer name;
    for (int i = 0; i < grid.numHeaderFields() && i < 64; ++i) {
        name.clear();
        if (grid.getColumnName(i, name)) grid.getColumnIndex(name);
    }

    const char d = grid.getDelimiter();
    const bool ordinaryDelimiter = d != '"' && d != '\\' && d != '\0' && d != '\n' && d != '\r';
    // A few edits with slices of the input as values (the slices may hold any byte but NUL).
    std::string plain = text.substr(0, text.find('\0'));
    int edits = 0;
    for (size_t pos = 0; pos < plain.size() && edits < 4; pos += 7, ++edits) {
        const std::string value = plain.substr(pos, 1 + (plain[pos] & 15));
        const int row = static_cast<unsigned char>(plain[pos]) % (rowsLoaded + 2);
        const int col = static_cast<unsigned char>(value.back()) % 6;
        const int rowsBefore = grid.numRows();
        if (grid.setCellUtf8(row, col, value.c_str())) {
            check(grid.numRows() > row);
            // A cell written into a new, empty row reads back as written, unless a backslash
            // (never doubled) or a line break makes the value change its own row.
            if (ordinaryDelimiter && row >= rowsBefore &&
                value.find_first_of("\\\r\n") == std::string::npos) {
                StringBuffer back;
                check(grid.getCell(row, col, back));
                check(value == back.getString());
                check(grid.getNumColumns(row) == col + 1);
            }
        }
    }
    const int rowsEdited = readAll(grid, false);
    check(rowsEdited >= rowsLoaded);

    StringBuffer saved;
    grid.saveCsv("utf-8", saved);

    Grid again;
    again.hasColumnNames = grid.hasColumnNames;
    again.crlf = grid.crlf;
    again.loadCsv(saved, grid.getDelimiter());
    const int rowsReloaded = readAll(again, true);
    // The saved text holds one line per row at least (quoted fields may span lines, blank
    // trailing lines are dropped), so the reload cannot invent more lines than the text has.
    int lines = 1;
    for (int i = 0; i < saved.getSize(); ++i)
        if (saved.getString()[i] == '\n') ++lines;
    check(rowsReloaded <= lines);
    return 0;
}
