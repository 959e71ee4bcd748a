#pragma once
// A name with an owned value: the entry type of HashMap. The destructor deletes the value, then
// the name.
#include "text/QuenlixObject.h"

class StringBuffer;

class NamedObject {
public:
    // Copies name into a buffer of its own and takes ownership of value (made with qxNew).
    NamedObject(const char* name, QuenlixObject* value);
    virtual ~NamedObject();
    NamedObject(const NamedObject&) = delete;
    NamedObject& operator=(const NamedObject&) = delete;

    // The name text; empty when no buffer could be allocated for it.
    const char* getName() const;
    // False when the name could not be copied (memory); the hash map then drops the entry.
    bool hasName() const { return name_ != nullptr; }
    QuenlixObject* getValue() const { return value_; }
    // Deletes the current value and keeps v, unless v is the current value.
    void setValue(QuenlixObject* v);
    // Gives the value back to the caller without deleting it.
    QuenlixObject* releaseValue();

private:
    StringBuffer* name_;
    QuenlixObject* value_;
};
