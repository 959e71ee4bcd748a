#pragma once
// The CSV document object behind the automation interface: one table, the charset choice of each
// load and save, the object lock, and the log frame of the six loads and saves.
#include "csv/Grid.h"
#include "log/ClsBase.h"
#include "platform/CriticalSection.h"

class XString;

class ClsCsv : public ClsBase {
public:
    ClsCsv();
    ~ClsCsv() override;
    ClsCsv(const ClsCsv&) = delete;
    ClsCsv& operator=(const ClsCsv&) = delete;

    bool get_Crlf() const;
    void put_Crlf(bool v);
    bool get_HasColumnNames() const;
    void put_HasColumnNames(bool v);
    void get_Delimiter(XString& out);
    void put_Delimiter(XString& value);
    int get_NumRows();
    int get_NumColumns();
    int GetNumCols(int row);
    bool GetCell(int row, int col, XString& out);
    // GetCell for a caller that converts the cell at once (the automation wrapper): its UTF-8
    // bytes, which hold no NUL and stay valid only during the call, go to take(context, cell,
    // length) while the table is locked, without a copy of their own. False, and take not
    // called, where GetCell is false.
    bool readCell(int row, int col, void (*take)(void* context, const char* cell, int length),
                  void* context);
    bool GetColumnName(int index, XString& out);
    int GetIndex(XString& name);
    bool SetCell(int row, int col, XString& value);
    bool SetColumnName(int index, XString& name);
    bool LoadFile(XString& filename);
    bool LoadFile2(XString& filename, XString& charset);
    bool LoadFromString(XString& csvData);
    bool SaveFile(XString& filename);
    bool SaveFile2(XString& filename, XString& charset);
    bool SaveToString(XString& out);

private:
    bool getCellLocked(int row, int col, XString& out);
    // Entered through the lock's biased path, which it leaves.
    bool getQuotedCell(int row, int col, XString& out, const char* cell, int length);
    mutable CriticalSection lock_; // also taken by the const get_Crlf and get_HasColumnNames
    Grid grid_;
    // Receives cells and column names on their way to the caller; reused under the lock so that
    // reading a table cell by cell does not allocate a buffer per cell.
    StringBuffer scratch_;
};
