// The table model: rows kept as raw CSV text, cells read and written through the field scanners
// of StringBuffer (quotes and backslash escapes always honoured), field counts memoised per row,
// and the column-name line with its name index.
#include "csv/Grid.h"

#include "csv/FieldScanner.h"
#include "platform/Memory.h"
#include "text/QuenlixInt.h"

namespace {
// Column names are addressed up to this index (inclusive).
const int kMaxColumnNameIndex = 1000000;
const bool kQuotes = true;
const bool kBackslash = true;
} // namespace

Grid::Grid() : columnIndex_(400) {}

Grid::~Grid() {
    rows_.removeAllObjects();
}

void Grid::clear() {
    lastRow_.clear();
    rows_.removeAllObjects();
    delimiterSet_ = false;
    headerLine_.clear();
    colCountCache_.clear();
    columnIndex_.hashClear();
}

const StringBuffer* Grid::rowText(int row) const {
    return static_cast<const StringBuffer*>(rows_.elementAt(row));
}

int Grid::numHeaderFields() const {
    return headerLine_.countFields(delimiter_, kQuotes, kBackslash);
}

// A count of 0 is never trusted: an empty row counts 0 fields and is counted again every time, so
// that a row that has since been given text is seen. Counting goes through the row-offset memo,
// so the cells of a row whose columns were just counted are read without another pass.
int Grid::getNumColumns(int row) {
    int count = colCountCache_.elementAt(row);
    if (count > 0) return count;
    const StringBuffer* text = rowText(row);
    if (!text) return 0;
    count = text->getSize() == 0 ? 0 : lastRow_.countFields(*text, row, delimiter_);
    if (count < 0) count = text->countFields(delimiter_, kQuotes, kBackslash);
    colCountCache_.setAt(row, count);
    return count;
}

// Reading the cells of one row in turn is the common pattern, so the field offsets of the row
// read last are remembered: each cell is then cut out of the row directly instead of scanning
// the row from its start for every cell.
bool Grid::getCell(int row, int col, StringBuffer& out) const {
    out.clear();
    const StringBuffer* text = rowText(row);
    if (!text) return false;
    if (col < 0 || text->getSize() == 0) return true; // no such field: an empty cell
    int start = 0, end = 0;
    bool plain = false;
    switch (lastRow_.locate(*text, row, delimiter_, col, &start, &end, &plain)) {
    case RowFields::kFound:
        if (plain)
            out.appendN(text->getString() + start, end - start);
        else
            FieldScanner::appendUnquoted(text->getString() + start, end - start, kQuotes,
                                         kBackslash, out);
        break;
    case RowFields::kBeyondLastField:
        break;
    case RowFields::kNoMemory:
        text->getNthField(col, delimiter_, kQuotes, kBackslash, out);
        break;
    }
    return true;
}

bool Grid::setCellUtf8(int row, int col, const char* utf8) {
    // Rows are created up to the one asked for, but never beyond kMaxRows: a stray index must not
    // exhaust memory with millions of empty rows.
    if (row < 0 || row >= kMaxRows) return false;
    while (numRows() < row + 1) {
        const int before = numRows();
        addEmptyRow();
        if (numRows() == before) return false; // no memory for the slot itself
    }
    StringBuffer* text = static_cast<StringBuffer*>(rows_.elementAt(row));
    if (!text) return false; // a row for which no memory was available
    if (col < 0) return true;

    StringBuffer value(utf8);
    quoteIfNeeded(value);
    lastRow_.clear();
    text->setNthField(col, delimiter_, kQuotes, kBackslash, value);

    const int cached = colCountCache_.elementAt(row);
    if (cached >= 1) {
        if (value.containsChar('\\'))
            // A backslash in the stored value may escape the delimiter after it and so change
            // the row's field count: count the row again when next asked.
            colCountCache_.setAt(row, -1);
        else if (col >= cached)
            // Setting a field beyond the last one extends the row to exactly col + 1 fields.
            colCountCache_.setAt(row, col + 1);
    }
    return true;
}

bool Grid::getColumnName(int index, StringBuffer& out) const {
    if (index < 0 || index > kMaxColumnNameIndex) return false;
    out.clear();
    headerLine_.getNthField(index, delimiter_, kQuotes, kBackslash, out);
    return true;
}

bool Grid::setColumnName(int index, const char* utf8Name) {
    if (index < 0 || index > kMaxColumnNameIndex) return false;
    StringBuffer key(utf8Name);
    // The name no longer points at a column it named before, and the column's old name no longer
    // points at it.
    columnIndex_.hashDelete(key);
    StringBuffer old;
    getColumnName(index, old);
    if (old.getSize() != 0) columnIndex_.hashDelete(old);

    QuenlixInt* number = qxNew<QuenlixInt>(index);
    if (number && !columnIndex_.hashInsert(key, number)) qxDelete(number);

    // An empty column-name line is padded with delimiters up to the column (see setNthField).
    quoteIfNeeded(key);
    headerLine_.setNthField(index, delimiter_, kQuotes, kBackslash, key);
    hasColumnNames = true;
    return true;
}

int Grid::getColumnIndex(const StringBuffer& name) const {
    const QuenlixInt* number = static_cast<const QuenlixInt*>(columnIndex_.hashLookup(name));
    return number ? number->value : -1;
}

void Grid::addEmptyRow() {
    // When the row object cannot be allocated its slot stays empty: it still counts as a row but
    // reads as one that does not exist, and the writer skips it.
    StringBuffer* row = qxNew<StringBuffer>();
    if (!rows_.appendPtr(row)) {
        qxDelete(row);
        return;
    }
    colCountCache_.append(-1);
}

// Field counts memoised under the old delimiter mean nothing under the new one, so they are all
// discarded; stored row texts stay as they are.
void Grid::setDelimiter(char c) {
    lastRow_.clear();
    if (c != delimiter_)
        for (int i = 0; i < colCountCache_.getSize(); ++i)
            colCountCache_.setAt(i, -1);
    delimiter_ = c;
    delimiterSet_ = true;
}
