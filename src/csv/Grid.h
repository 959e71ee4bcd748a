#pragma once
// One CSV table. Every data row is kept as the raw CSV text of its line, exactly as read or as
// edited, and split into cells only when a cell or a count is asked for. The column-name line is
// held apart, with a hash index from column name to column number.
#include "csv/RowFields.h"
#include "text/ExtIntArray.h"
#include "text/ExtPtrArray.h"
#include "text/HashMap.h"
#include "text/StringBuffer.h"

class XString;

class Grid {
public:
    // setCell refuses row indexes at or above this bound (a typo must not exhaust memory by
    // creating billions of empty rows). Ten million rows is far beyond any table the component
    // is used for, yet small enough to fit in memory as empty rows.
    static const int kMaxRows = 10000000;

    Grid();
    virtual ~Grid();
    Grid(const Grid&) = delete;
    Grid& operator=(const Grid&) = delete;

    void clear();
    int numRows() const { return rows_.getSize(); }
    int numHeaderFields() const;
    int getNumColumns(int row);
    bool getCell(int row, int col, StringBuffer& out) const;
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

    int loadCsv(StringBuffer& text, char initialDelimiter);
    void saveCsv(const char* charsetName, StringBuffer& out);
    void quoteIfNeeded(StringBuffer& value) const;

    // Raw access for tests and the writer.
    const StringBuffer* rowText(int row) const;
    const StringBuffer& headerLine() const { return headerLine_; }

    bool crlf = true;
    bool hasColumnNames = false;

private:
    StringBuffer headerLine_;
    HashMap columnIndex_;
    ExtPtrArray rows_;
    ExtIntArray colCountCache_;
    bool delimiterSet_ = false;
    char delimiter_ = ',';
    // Field offsets of the row read last (getCell is const, the offsets are only a memo). Every
    // operation that changes a row text or the delimiter forgets them. Like every other grid
    // operation, reads are made under the owner's lock (ClsCsv's), never from two threads at once.
    mutable RowFields lastRow_;
};
