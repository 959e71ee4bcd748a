#pragma once
// One CSV table. Every data row is kept as the raw CSV text of its line, exactly as read or as
// edited, and split into cells only when a cell or a count is asked for. The column-name line is
// held apart, with a hash index from column name to column number.
#include "csv/FieldIndex.h"
#include "csv/RowFields.h"
#include "csv/RowStore.h"
#include "text/ExtIntArray.h"
#include "text/HashMap.h"
#include "text/StringBuffer.h"

#include <cstddef>

class LogBase;
class XString;

class Grid {
public:
    // setCell does not add rows at or above this bound (a typo must not exhaust memory by
    // creating billions of empty rows); rows a load made past it can still be set. Ten million
    // rows is far beyond any table the component is used for, yet small enough to fit in memory
    // as empty rows, even in a 32-bit process.
    static const int kMaxRows = 10000000;

    Grid();
    virtual ~Grid();
    Grid(const Grid&) = delete;
    Grid& operator=(const Grid&) = delete;

    void clear();
    int numRows() const { return rows_.size(); }
    int numHeaderFields() const;
    int getNumColumns(int row);
    bool getCell(int row, int col, StringBuffer& out) const;
    // The same cell without a copy where possible: *text and *length give the cell, inside the
    // row text when the field is stored as it reads, else in scratch (which is overwritten). The
    // pointer stays valid until the grid or scratch changes.
    bool getCellText(int row, int col, StringBuffer& scratch, const char** text,
                     int* length) const {
        return cellInPlace(row, col, text, length) || cellText(row, col, scratch, text, length);
    }
    // The common case of getCellText, without a call: a field of the row read last, a loaded
    // row, whose cell is its text as it lies. False (nothing set) for any other cell.
    bool cellInPlace(int row, int col, const char** text, int* length) const {
        bool asIs;
        return fieldInPlace(row, col, text, length, &asIs) && asIs;
    }
    // The same for any field of the row read last, a loaded row: its extent, which *asIs tells
    // to be the cell itself or the raw field that still needs unquoting.
    bool fieldInPlace(int row, int col, const char** text, int* length, bool* asIs) const {
        return lastRow_.lookupInPlace(row, col, text, length, asIs);
    }
    // For a cell that cellInPlace gave: how many bytes from it on may be read.
    std::ptrdiff_t readableFrom(const char* cell) const { return rows_.blockEnd() - cell; }
    bool setCell(int row, int col, XString& value);
    // The same with a UTF-8 value (the tool and tests use it).
    bool setCellUtf8(int row, int col, const char* utf8);
    bool getColumnName(int index, StringBuffer& out) const;
    bool setColumnName(int index, const char* utf8Name);
    int getColumnIndex(const StringBuffer& name) const;
    void addEmptyRow();
    void setDelimiter(char c);
    char getDelimiter() const { return delimiter_; }
    bool isDelimiterSet() const { return delimiterSet_; }

    // The grid keeps a copy of the text; text itself has its CR LF pairs turned into LF.
    int loadCsv(StringBuffer& text, char initialDelimiter);
    // The same, but the grid takes over text's block instead of copying it: text is left empty.
    int loadCsvTaking(StringBuffer& text, char initialDelimiter);
    // The same for text[0..length), which the grid copies as it cuts it (one pass for both) and
    // leaves unchanged.
    int loadCsvCopy(const char* text, int length, char initialDelimiter);
    // With `later`, the stored rows are left as they are and the ones the save normalises are
    // listed there (see saveLinesInto).
    void saveCsv(const char* charsetName, StringBuffer& out, ExtIntArray* later = nullptr);
    // Writes what saveCsv gives straight to a file, in stretches of about pieceBytes (whole
    // lines), each converted on its own where the charset allows, so that no copy of the whole
    // table is made. Failures are logged by the file layer; a file that cannot be opened leaves
    // the table as it was.
    bool saveCsvToFile(const char* charsetName, const char* utf8Path, LogBase* log,
                       int pieceBytes = kSavePieceBytes);
    static const int kSavePieceBytes = 1 << 18;
    void quoteIfNeeded(StringBuffer& value) const;

    // Raw access for tests. A loaded row is given a buffer of its own first, so this is for
    // inspection, not for reading a table (getCell and getCellText read rows where they lie).
    const StringBuffer* rowText(int row) const { return rows_.editable(row); }
    const StringBuffer& headerLine() const { return headerLine_; }

    bool crlf = true;
    bool hasColumnNames = false;

private:
    // Appends to out each line saveCsv writes, with its line end: the column-name line, then
    // every row with its line ends normalised. beforeLine(text, length) is called with each
    // line as stored before it goes in (for rows copied as one stretch of the loaded text, with
    // the first of them only); the save stops when it returns false. With `later`, the stored
    // rows stay as they are: the rows whose text the normalising changes go into it, for
    // normaliseRows once the text has been written (a failed write changes nothing).
    template <class F>
    void saveLinesInto(StringBuffer& out, F&& beforeLine, ExtIntArray* later = nullptr);
    // Normalises the line ends of the stored rows listed, as a save does.
    void normaliseRows(const ExtIntArray& rows);
    bool cellText(int row, int col, StringBuffer& scratch, const char** text, int* length) const;
    // Points the row memo at the index's field starts for the row, indexing rows up to some way
    // past it first when the index has not reached it.
    void useIndex(int row, const char* text, int length) const;
    void extendIndex(int row) const;
    // Marks the row memo, just filled for the row, as one for fieldInPlace when the row is a
    // loaded one.
    void markInPlace(int row, const char* text) const {
        const char* loaded;
        int length;
        if (rows_.loadedText(row, &loaded, &length) && loaded == text)
            lastRow_.markInPlace(row, text);
    }
    // Loads the text in block[0..length) (block[length] is NUL), which the grid takes over; the
    // block is `capacity` bytes long, and rows that grow when saved may move behind the text.
    // With source, block is filled with source[0..length) as it is cut.
    int loadBlock(char* block, int length, int capacity, char initialDelimiter,
                  const char* source = nullptr);

    StringBuffer headerLine_;
    // setCellUtf8's value, kept between calls while it stays this small.
    static const int kKeptValueBytes = 64 << 10;
    StringBuffer cellValue_;
    HashMap columnIndex_;
    // Mutable because rowText gives a loaded row a buffer of its own; the text stays the same.
    mutable RowStore rows_;
    ExtIntArray colCountCache_;
    bool delimiterSet_ = false;
    char delimiter_ = ',';
    // Field offsets of the row read last (getCell is const, the offsets are only a memo). Every
    // operation that changes a row text or the delimiter forgets them. Like every other grid
    // operation, reads are made under the owner's lock (ClsCsv's), never from two threads at once.
    mutable RowFields lastRow_;
    // The field starts of the loaded rows read so far (see FieldIndex), made as rows are read by
    // a memo of its own; lastRow_ may borrow from it, so it is cleared together with lastRow_.
    // indexFailed_: memory ran out for it since the last load (rows are then scanned as read).
    // rowAsked_: the row whose memo was looked for last (-1 before the first).
    mutable FieldIndex index_;
    mutable RowFields indexScan_;
    mutable bool indexFailed_ = false;
    mutable int rowAsked_ = -1;
};
