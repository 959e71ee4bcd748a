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

Grid::~Grid() = default;

void Grid::clear() {
    lastRow_.clear();
    index_.clear();
    indexFailed_ = false;
    rowAsked_ = -1;
    rows_.clear();
    delimiterSet_ = false;
    headerLine_.clear();
    colCountCache_.clear();
    columnIndex_.hashClear();
}

namespace {
// A field that is one quoted stretch with no quote, backslash or NUL inside ("abc"): its cell is
// the text between the quotes, as FieldScanner::appendUnquoted would give it.
bool isSimplyQuoted(const char* field, int length) {
    if (length < 2 || field[0] != '"' || field[length - 1] != '"') return false;
    for (int i = 1; i < length - 1; ++i)
        if (field[i] == '"' || field[i] == '\\' || field[i] == 0) return false;
    return true;
}

} // namespace

int Grid::numHeaderFields() const {
    return headerLine_.countFields(delimiter_, kQuotes, kBackslash);
}

// A count of 0 is never trusted: an empty row counts 0 fields and is counted again every time, so
// that a row that has since been given text is seen. Counting goes through the row-offset memo,
// so the cells of a row whose columns were just counted are read without another pass.
int Grid::getNumColumns(int row) {
    int count = colCountCache_.elementAt(row);
    if (count > 0) return count;
    const char* text;
    int length;
    if (!rows_.text(row, &text, &length)) return 0;
    useIndex(row, text, length);
    count = length == 0 ? 0 : lastRow_.countFields(text, length, row, delimiter_);
    markInPlace(row, text);
    if (count < 0) {
        count = 1;
        FieldScanner::scanSeparators(text, 0, length, delimiter_, kQuotes, kBackslash, [&](int) {
            ++count;
            return true;
        });
    }
    colCountCache_.setAt(row, count);
    return count;
}

// Reading the cells of one row in turn is the common pattern, so the field offsets of the row
// read last are remembered: each cell is then cut out of the row directly instead of scanning
// the row from its start for every cell. A field without quotes and backslashes is its own cell
// and is handed out where it lies, and so is the inside of a field that is one quoted stretch.
// (getCellText in Grid.h handles the fields whose kind the row scan has settled already.)
bool Grid::cellText(int row, int col, StringBuffer& scratch, const char** cell,
                    int* cellLength) const {
    const char* text;
    int length;
    if (!rows_.text(row, &text, &length)) return false;
    *cell = "";
    *cellLength = 0;
    if (col < 0 || length == 0) return true; // no such field: an empty cell
    useIndex(row, text, length);
    int start = 0, end = 0;
    bool asIs = false;
    const RowFields::Result found =
        lastRow_.locate(text, length, row, delimiter_, col, &start, &end, &asIs);
    markInPlace(row, text);
    switch (found) {
    case RowFields::kFound:
        if (asIs) {
            *cell = text + start;
            *cellLength = end - start;
            return true;
        }
        if (isSimplyQuoted(text + start, end - start)) { // e.g. one read through a backslash block
            *cell = text + start + 1;
            *cellLength = end - start - 2;
            return true;
        }
        scratch.clear();
        FieldScanner::appendUnquoted(text + start, end - start, kQuotes, kBackslash, scratch);
        break;
    case RowFields::kBeyondLastField:
        return true;
    case RowFields::kNoMemory:
        scratch.clear();
        FieldScanner::appendNthField(text, length, col, delimiter_, kQuotes, kBackslash, scratch);
        break;
    }
    *cell = scratch.getString();
    *cellLength = scratch.getSize();
    return true;
}

void Grid::useIndex(int row, const char* text, int length) const {
    if (lastRow_.holds(text, length, row, delimiter_) || !rows_.asLoaded(row)) return;
    // Rows read in order from the first, each after the one before, are scanned as they are
    // read: the index would only be written and never read again. Once rows are read in any
    // other order, the index is made and kept up with the rows read.
    const bool inOrder = row == rowAsked_ + 1 && !index_.building();
    rowAsked_ = row;
    if (inOrder) return;
    if (row >= index_.rows() || index_.delimiter() != delimiter_) extendIndex(row);
    int fields;
    const int* starts = index_.row(row, length, delimiter_, &fields);
    if (starts) lastRow_.borrow(text, length, row, delimiter_, starts, fields);
}

// The index is made as rows are read out of order, a stretch at a time: from the first row it
// does not hold yet to kIndexStretch rows past the one asked for. A table that is only loaded and
// saved, or read row after row, never pays for it; a row read again later (a table read column
// by column) is not scanned again.
void Grid::extendIndex(int row) const {
    const int kIndexStretch = 4096;
    if (indexFailed_) return;
    lastRow_.clear(); // it may borrow from the index, which may move as it grows
    if (!index_.building() || index_.delimiter() != delimiter_)
        index_.begin(delimiter_, rows_.loadedBytes(), numRows());
    const int end = row < numRows() - kIndexStretch ? row + kIndexStretch : numRows();
    for (int r = index_.rows(); r < end; ++r) {
        const char* text;
        int length;
        int fields = 0;
        if (rows_.text(r, &text, &length) && length > 0 && rows_.asLoaded(r))
            fields = indexScan_.countFields(text, length, r, delimiter_);
        if (!index_.reserve(fields > 0 ? fields + 2 : 0, 1)) {
            indexFailed_ = true;
            return;
        }
        index_.addRow(fields > 0 ? indexScan_.fieldStarts() : nullptr, fields);
    }
}

bool Grid::getCell(int row, int col, StringBuffer& out) const {
    out.clear();
    const char* cell;
    int length;
    if (!getCellText(row, col, out, &cell, &length)) return false;
    // A cell that had to be unquoted is in out already.
    if (cell != out.getString()) out.appendN(cell, length);
    return true;
}

bool Grid::setCellUtf8(int row, int col, const char* utf8) {
    // Rows are created up to the one asked for, but never beyond kMaxRows: a stray index must not
    // exhaust memory with millions of empty rows. A loaded table may hold more rows; those exist
    // and take values like any other.
    if (row < 0 || (row >= kMaxRows && row >= numRows())) return false;
    // Without memory for any part of the work the cell keeps its text: the row gets the value
    // only when nothing has failed so far (rows added on the way stay, as empty rows or as slots
    // without memory).
    QxAllocWatch watch;
    while (numRows() < row + 1) {
        const int before = numRows();
        addEmptyRow();
        if (numRows() == before) return false; // no memory for the slot itself
    }
    const char* stored;
    int storedLength;
    if (!rows_.text(row, &stored, &storedLength)) return false; // a row without memory
    if (col < 0) return true;
    // A loaded row gets a buffer of its own now; without memory for it nothing changes.
    StringBuffer* text = rows_.editable(row);
    if (!text) return false;

    // The value is made in a buffer the grid keeps, so that changing cell after cell does not
    // cost an allocation and a release per call; one left large by a long value is let go.
    StringBuffer& value = cellValue_;
    value.clear();
    value.append(utf8);
    quoteIfNeeded(value);
    if (watch.failed()) return false;
    lastRow_.clear();
    // A row that would pass the size limit (a column in the billions) or find no memory is left
    // as it was, and the call says so.
    const bool set = text->setNthField(col, delimiter_, kQuotes, kBackslash, value);
    if (value.getCapacity() > kKeptValueBytes) StringBuffer().swap(value);
    if (!set) return false;

    // Setting a field beyond the last one extends the row to exactly col + 1 fields. A count
    // already memoised otherwise stays, as it does across a change of delimiter: a value whose
    // backslash escapes the delimiter after it leaves the row's count as it was (the cells read
    // as the text now splits).
    const int cached = colCountCache_.elementAt(row);
    if (cached >= 1 && col >= cached) colCountCache_.setAt(row, col + 1);
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
    // The new line and index entry are made ready first, so that without memory the names stay
    // as they were and the call reports false.
    QxAllocWatch watch;
    StringBuffer key(utf8Name);
    StringBuffer quoted(key);
    quoteIfNeeded(quoted);
    StringBuffer old;
    getColumnName(index, old);
    // An empty column-name line is padded with delimiters up to the column (see setNthField).
    StringBuffer line(headerLine_);
    if (!line.setNthField(index, delimiter_, kQuotes, kBackslash, quoted)) return false;
    if (line.getSize() > headerLine_.getSize())
        headerLine_.expectNumBytes(line.getSize() - headerLine_.getSize());
    QuenlixInt* number = qxNew<QuenlixInt>(index);
    if (!number || watch.failed() || !columnIndex_.hashInsert(key, number)) {
        qxDelete(number);
        return false;
    }
    // The name no longer points at a column it named before (the insert replaced that entry),
    // and the column's old name no longer points at it.
    if (old.getSize() != 0 && !old.equals(key.getString())) columnIndex_.hashDelete(old);
    headerLine_.setSb(line); // room was made above: nothing to allocate
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
    // The row starts with the smallest block (a default buffer takes 202 bytes): ten million
    // empty rows must fit in a 32-bit process.
    StringBuffer* row = qxNew<StringBuffer>(static_cast<const char*>(nullptr));
    if (!rows_.appendOwned(row)) {
        qxDelete(row);
        return;
    }
    // The memo is keyed by row and may be shorter than the table (a load leaves it empty).
    colCountCache_.setAt(numRows() - 1, -1);
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
