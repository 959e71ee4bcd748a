#include "csv/ClsCsv.h"

#include "csv/FieldScanner.h"
#include "csv/FileDecoder.h"
#include "encoding/Charset.h"
#include "file/FileAccess.h"
#include "platform/Memory.h"
#include "text/StringBuffer.h"
#include "text/XString.h"

// Every grid operation holds the object lock for its whole run; the six loads and saves also run
// inside a logged method frame (cleared log, a context named after the method, the header items,
// then "Success." or "Failed."). The property accessors for Crlf, HasColumnNames and Delimiter
// take the lock as well: a load on another thread resets and detects the delimiter and reads
// both flags, SetColumnName switches HasColumnNames on, and put_Delimiter discards the grid's
// memoised field counts, so an unlocked accessor would race with whatever call is running.
//
// Running out of memory is not reported here: the buffers underneath leave a text unchanged or
// short when an allocation fails, and each call keeps its usual result. The grid's own edits are
// made so that a cell or name is either written whole or left as it was, and a save whose file
// name could not be had whole writes nothing (a shortened name would be another file's).

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

// The UTF-8 form of a file name, or null when memory ran out while making it.
const char* wholePath(XString& filename) {
    QxAllocWatch watch;
    const char* path = filename.getUtf8();
    return watch.failed() ? nullptr : path;
}
} // namespace

ClsCsv::ClsCsv() = default;

ClsCsv::~ClsCsv() {
    // A call still running on another thread finishes before the grid goes away.
    lock_.enter();
    lock_.leave();
}

bool ClsCsv::get_Crlf() const {
    CriticalSectionLock hold(lock_);
    return grid_.crlf;
}
void ClsCsv::put_Crlf(bool v) {
    CriticalSectionLock hold(lock_);
    grid_.crlf = v;
}
bool ClsCsv::get_HasColumnNames() const {
    CriticalSectionLock hold(lock_);
    return grid_.hasColumnNames;
}
void ClsCsv::put_HasColumnNames(bool v) {
    CriticalSectionLock hold(lock_);
    grid_.hasColumnNames = v;
}

void ClsCsv::get_Delimiter(XString& out) {
    CriticalSectionLock hold(lock_);
    char text[2] = {grid_.getDelimiter(), 0};
    out.setFromAnsi(text);
}

void ClsCsv::put_Delimiter(XString& value) {
    CriticalSectionLock hold(lock_);
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

// The cell goes from where it lies in the row (or from the scratch buffer, when it had to be
// unquoted) straight into out's UTF-8 form: one copy per cell.
//
// Reading a table cell by cell is mostly the next cell of the row read last, as it lies, into
// the same string, by the thread that used the object first (the lock's owner): that case goes
// without a call (nor the registers a call would need saved). Everything else takes the lock and
// the full path.
bool ClsCsv::GetCell(int row, int col, XString& out) {
    if (lock_.tryEnterBiased()) {
        const char* cell;
        int length;
        bool asIs;
        if (grid_.fieldInPlace(row, col, &cell, &length, &asIs)) {
            if (!asIs) return getQuotedCell(row, col, out, cell, length);
            if (out.setFromUtf8Quick(cell, length, grid_.readableFrom(cell))) {
                lock_.leaveBiased();
                return true;
            }
        }
        lock_.leaveBiased();
    }
    return getCellLocked(row, col, out);
}

// GetCell's fast path for a field with quotes in it ("say ""hi"""), out of line so that the
// plain case needs no registers saved: a short one is unquoted as it is copied.
bool ClsCsv::getQuotedCell(int row, int col, XString& out, const char* cell, int length) {
    const std::ptrdiff_t readable = grid_.readableFrom(cell);
    const bool done = out.setFromUtf8Written(
        length, [&](char* to) { return FieldScanner::unquoteShort(cell, length, readable, to); });
    lock_.leaveBiased();
    return done || getCellLocked(row, col, out);
}

bool ClsCsv::getCellLocked(int row, int col, XString& out) {
    CriticalSectionLock hold(lock_);
    const char* cell;
    int length;
    if (!grid_.getCellText(row, col, scratch_, &cell, &length)) {
        out.clear();
        return false;
    }
    out.setFromUtf8N(cell, length);
    return true;
}

bool ClsCsv::readCell(int row, int col, void (*take)(void*, const char*, int), void* context) {
    CriticalSectionLock hold(lock_);
    const char* cell;
    int length;
    if (!grid_.getCellText(row, col, scratch_, &cell, &length)) return false;
    take(context, cell, length);
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
    grid_.loadCsvTaking(text, ',');
    return frame.ok = true;
}

bool ClsCsv::LoadFile2(XString& filename, XString& charset) {
    MethodFrame frame(lock_, *this, "LoadFile2");
    grid_.clear();
    Charset cs;
    cs.setByName(charset.getAnsi());
    const int cp = cs.getCodePage();
    StringBuffer text;
    if (cp == 0 || cp == 65001) {
        // Code page 0 (a name the table lacks, "default", "x-user-defined") leaves the bytes as
        // read, and UTF-8 already is the text's form.
        if (!text.loadFromFile(filename, &log_)) return frame.ok = false;
    } else {
        FileDecoder decoder(cp);
        if (!FileAccess::readWholeFile(filename, decoder, &log_)) return frame.ok = false;
        decoder.takeText(text);
    }
    grid_.loadCsvTaking(text, ',');
    return frame.ok = true;
}

bool ClsCsv::LoadFromString(XString& csvData) {
    MethodFrame frame(lock_, *this, "LoadFromString");
    grid_.clear();
    // The grid copies the text as it cuts it. Bytes after a NUL come along; loading stops at
    // the first NUL, so they are never read.
    csvData.getUtf8();
    const StringBuffer& utf8 = csvData.getUtf8Sb();
    grid_.loadCsvCopy(utf8.getString(), utf8.getSize(), ',');
    return frame.ok = true;
}

bool ClsCsv::SaveToString(XString& out) {
    MethodFrame frame(lock_, *this, "SaveToString");
    StringBuffer text;
    grid_.saveCsv("utf-8", text);
    out.setFromUtf8Taking(text);
    return frame.ok = true;
}

bool ClsCsv::SaveFile(XString& filename) {
    MethodFrame frame(lock_, *this, "SaveFile");
    const char* path = wholePath(filename);
    if (!path) return frame.ok = false;
    return frame.ok = grid_.saveCsvToFile("ansi", path, &log_);
}

bool ClsCsv::SaveFile2(XString& filename, XString& charset) {
    MethodFrame frame(lock_, *this, "SaveFile2");
    const char* path = wholePath(filename);
    if (!path) return frame.ok = false;
    return frame.ok = grid_.saveCsvToFile(charset.getAnsi(), path, &log_);
}
