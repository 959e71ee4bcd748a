#include "csv/ClsCsv.h"

#include "encoding/Charset.h"
#include "text/StringBuffer.h"
#include "text/XString.h"

// Every grid operation holds the object lock for its whole run; the six loads and saves also run
// inside a logged method frame (cleared log, a context named after the method, the header items,
// then "Success." or "Failed."). The property accessors for Crlf, HasColumnNames and Delimiter
// touch only the grid's settings and take no lock.

namespace {
// Runs a logged method: takes the object lock, opens the method's log context, and on leaving
// records the outcome and closes the context before the lock is released.
class MethodFrame {
public:
    MethodFrame(CriticalSection& lock, ClsBase& base, const char* name) : lock_(lock), base_(base) {
        base_.enterMethod(name);
    }
    ~MethodFrame() {
        base_.logSuccess(ok);
        base_.log().leaveContext();
    }
    bool ok = false;

private:
    CriticalSectionLock lock_;
    ClsBase& base_;
};
} // namespace

ClsCsv::ClsCsv() = default;

ClsCsv::~ClsCsv() {
    // A call still running on another thread finishes before the grid goes away.
    lock_.enter();
    lock_.leave();
}

bool ClsCsv::get_Crlf() const {
    return grid_.crlf;
}
void ClsCsv::put_Crlf(bool v) {
    grid_.crlf = v;
}
bool ClsCsv::get_HasColumnNames() const {
    return grid_.hasColumnNames;
}
void ClsCsv::put_HasColumnNames(bool v) {
    grid_.hasColumnNames = v;
}

void ClsCsv::get_Delimiter(XString& out) {
    char text[2] = {grid_.getDelimiter(), 0};
    out.setFromAnsi(text);
}

void ClsCsv::put_Delimiter(XString& value) {
    if (value.getNumChars() == 0) return;
    char c = value.getAnsiCharAt(0);
    // A character that the ANSI code page cannot represent yields no byte at all; a NUL delimiter
    // would make every row a single field, so the delimiter is left as it was instead.
    if (c == 0) return;
    grid_.setDelimiter(c);
}

int ClsCsv::get_NumRows() {
    CriticalSectionLock hold(lock_);
    return grid_.numRows();
}

int ClsCsv::get_NumColumns() {
    CriticalSectionLock hold(lock_);
    if (grid_.hasColumnNames) {
        int n = grid_.numHeaderFields();
        if (n > 0) return n;
    }
    return grid_.getNumColumns(0);
}

int ClsCsv::GetNumCols(int row) {
    CriticalSectionLock hold(lock_);
    return grid_.getNumColumns(row);
}

bool ClsCsv::GetCell(int row, int col, XString& out) {
    CriticalSectionLock hold(lock_);
    out.clear();
    if (!grid_.getCell(row, col, scratch_)) return false;
    out.setFromUtf8(scratch_.getString());
    return true;
}

bool ClsCsv::GetColumnName(int index, XString& out) {
    CriticalSectionLock hold(lock_);
    scratch_.clear();
    grid_.getColumnName(index, scratch_);
    out.setFromUtf8(scratch_.getString());
    return true;
}

int ClsCsv::GetIndex(XString& name) {
    CriticalSectionLock hold(lock_);
    name.getUtf8();
    return grid_.getColumnIndex(name.getUtf8Sb());
}

bool ClsCsv::SetCell(int row, int col, XString& value) {
    CriticalSectionLock hold(lock_);
    return grid_.setCell(row, col, value);
}

bool ClsCsv::SetColumnName(int index, XString& name) {
    CriticalSectionLock hold(lock_);
    return grid_.setColumnName(index, name.getUtf8());
}

bool ClsCsv::LoadFile(XString& filename) {
    MethodFrame frame(lock_, *this, "LoadFile");
    grid_.clear();
    StringBuffer text;
    if (!text.loadFromFile(filename, &log_)) return frame.ok = false;
    text.convertAnsiToUtf8();
    grid_.loadCsv(text, ',');
    return frame.ok = true;
}

bool ClsCsv::LoadFile2(XString& filename, XString& charset) {
    MethodFrame frame(lock_, *this, "LoadFile2");
    grid_.clear();
    StringBuffer text;
    if (!text.loadFromFile(filename, &log_)) return frame.ok = false;
    Charset cs;
    cs.setByName(charset.getAnsi());
    // Code page 0 (a name the table lacks, "default", "x-user-defined") leaves the bytes as read.
    text.convertEncoding(cs.getCodePage(), 65001);
    grid_.loadCsv(text, ',');
    return frame.ok = true;
}

bool ClsCsv::LoadFromString(XString& csvData) {
    MethodFrame frame(lock_, *this, "LoadFromString");
    grid_.clear();
    StringBuffer text(csvData.getUtf8());
    grid_.loadCsv(text, ',');
    return frame.ok = true;
}

bool ClsCsv::SaveToString(XString& out) {
    MethodFrame frame(lock_, *this, "SaveToString");
    StringBuffer text;
    grid_.saveCsv("utf-8", text);
    out.setFromUtf8(text.getString());
    return frame.ok = true;
}

bool ClsCsv::SaveFile(XString& filename) {
    MethodFrame frame(lock_, *this, "SaveFile");
    StringBuffer text;
    grid_.saveCsv("ansi", text);
    return frame.ok = text.saveToFile(filename.getUtf8(), &log_);
}

bool ClsCsv::SaveFile2(XString& filename, XString& charset) {
    MethodFrame frame(lock_, *this, "SaveFile2");
    StringBuffer text;
    grid_.saveCsv(charset.getAnsi(), text);
    return frame.ok = text.saveToFile(filename.getUtf8(), &log_);
}
