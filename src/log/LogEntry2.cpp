#include "log/LogEntry2.h"

#include "platform/Memory.h"
#include "text/ExtPtrArray.h"
#include "text/StringBuffer.h"

namespace {
// A copy of s, or null when memory cannot be had. A copy that fell back to the shared empty string
// counts as no copy, so that the renderers leave the entry out rather than print it empty.
StringBuffer* copyText(const char* s) {
    StringBuffer* sb = qxNew<StringBuffer>(s ? s : "");
    if (sb && s && *s && sb->getSize() == 0) {
        qxDelete(sb);
        return nullptr;
    }
    return sb;
}
} // namespace

LogEntry2::~LogEntry2() {
    release();
}

// The tree has no depth limit, so a subtree is taken apart with a work list rather than by
// recursion: each entry's children move to the list before the entry itself is destroyed.
namespace {
void moveChildren(ExtPtrArray& from, ExtPtrArray& to) {
    // Children that cannot be moved (no memory for the list) stay and go down recursively.
    while (QuenlixObject* last = from.lastElement()) {
        if (!to.appendPtr(last)) return;
        from.pop();
    }
}
} // namespace

void LogEntry2::release() {
    if (children_) {
        ExtPtrArray pending;
        moveChildren(*children_, pending);
        while (LogEntry2* e = static_cast<LogEntry2*>(pending.pop())) {
            if (e->children_) moveChildren(*e->children_, pending);
            qxDelete(e);
        }
        children_->removeAllObjects();
        qxDelete(children_);
        children_ = nullptr;
    }
    qxDelete(tag_);
    tag_ = nullptr;
    qxDelete(text_);
    text_ = nullptr;
}

void LogEntry2::makeContext(const char* name) {
    release();
    children_ = qxNew<ExtPtrArray>();
    tag_ = copyText(name);
    kind_ = kContext;
}

void LogEntry2::makeData(const char* name, const char* value) {
    release();
    tag_ = copyText(name);
    text_ = copyText(value);
    kind_ = kData;
}

void LogEntry2::makeLine(char kind, const char* message) {
    release();
    text_ = copyText(message);
    kind_ = kind;
}

void LogEntry2::makeError(const char* message) {
    makeLine(kError, message);
}
void LogEntry2::makeInfo(const char* message) {
    makeLine(kInfo, message);
}
void LogEntry2::makeFragment(const char* message) {
    makeLine(kFragment, message);
}

int LogEntry2::numChildren() const {
    return children_ ? children_->getSize() : 0;
}

LogEntry2* LogEntry2::childAt(int i) const {
    return children_ ? static_cast<LogEntry2*>(children_->elementAt(i)) : nullptr;
}

LogEntry2* LogEntry2::lastChild() const {
    return children_ ? static_cast<LogEntry2*>(children_->lastElement()) : nullptr;
}

bool LogEntry2::appendChild(LogEntry2* child) {
    if (!children_ || !child) return false;
    return children_->appendPtr(child);
}

void LogEntry2::destroyLastChild() {
    if (!children_) return;
    qxDelete(static_cast<LogEntry2*>(children_->pop()));
}
