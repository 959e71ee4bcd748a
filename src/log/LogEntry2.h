#pragma once
// One node of the log tree: a named context with children, a name/value data item, an error or
// info line, or a raw XML fragment. An entry owns its texts and its children; destroying it
// destroys the whole subtree.
//
// A new entry is an info entry with nothing in it; right after construction exactly one make...()
// call gives it its kind and contents. A node that lacks what its kind needs (a context without
// name or child array, a data item without name or value, a line without text) is skipped by the
// renderers, so a failed allocation shows up as a missing line and never as a broken report.
#include "text/QuenlixObject.h"

class ExtPtrArray;
class StringBuffer;

class LogEntry2 : public QuenlixObject {
public:
    enum EntryKind : char {
        kContext = 'C',
        kData = 'T',
        kError = 'E',
        kInfo = 'I',
        kFragment = 'X',
    };

    LogEntry2() = default;
    ~LogEntry2() override;
    LogEntry2(const LogEntry2&) = delete;
    LogEntry2& operator=(const LogEntry2&) = delete;

    // Each setter frees whatever the entry held before. The texts are copied byte for byte up to
    // their NUL; a null pointer is copied as an empty text.
    void makeContext(const char* name);
    void makeData(const char* name, const char* value);
    void makeError(const char* message);
    void makeInfo(const char* message);
    void makeFragment(const char* message);

    char kind() const { return kind_; }
    // The context or data name; null for lines and when it could not be allocated.
    const StringBuffer* tag() const { return tag_; }
    // The message or value; null for contexts and when it could not be allocated.
    const StringBuffer* text() const { return text_; }
    // Null unless this is a context whose child array could be allocated.
    bool hasChildArray() const { return children_ != nullptr; }
    int numChildren() const;
    LogEntry2* childAt(int i) const;
    LogEntry2* lastChild() const;
    // Adds a child at the end and takes ownership of it; false (nothing owned) when this entry has
    // no child array or the array cannot grow.
    bool appendChild(LogEntry2* child);
    // Removes the last child and destroys it.
    void destroyLastChild();

private:
    void release();
    void makeLine(char kind, const char* message);

    ExtPtrArray* children_ = nullptr;
    char kind_ = kInfo;
    StringBuffer* tag_ = nullptr;
    StringBuffer* text_ = nullptr;
};
