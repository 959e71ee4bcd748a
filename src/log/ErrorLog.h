#pragma once
// The tree of a Logger and the stack of open contexts. Element 0 of the stack is the root context
// "QuenlixLog", which owns the whole tree; the last element is the current context, and each
// element is the last child of the one before it. The stack owns nothing.
//
// ErrorLog takes no lock: Logger holds its critical section around every call.
#include "text/ExtPtrArray.h"

class LogEntry2;

class ErrorLog {
public:
    ErrorLog();
    virtual ~ErrorLog();
    ErrorLog(const ErrorLog&) = delete;
    ErrorLog& operator=(const ErrorLog&) = delete;

    // Null only when not even the root could be allocated.
    LogEntry2* root() const;
    LogEntry2* current() const;
    // Open contexts, the root included.
    int depth() const { return contextStack_.getSize(); }

    // Adds a finished leaf to the current context and takes ownership of it; when it cannot be
    // added it is destroyed.
    void addLeaf(LogEntry2* leaf);
    void enterContext(const char* name);
    void leaveContext();
    // Discards the tree and starts a new, empty root; open contexts are forgotten.
    void clear();

private:
    void pushNewRoot();
    void destroyRoot();

    ExtPtrArray contextStack_;
};
