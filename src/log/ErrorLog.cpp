#include "log/ErrorLog.h"

#include "log/LogEntry2.h"
#include "platform/Memory.h"

namespace {
const char kRootName[] = "QuenlixLog";
}

ErrorLog::ErrorLog() {
    pushNewRoot();
}

ErrorLog::~ErrorLog() {
    destroyRoot();
}

void ErrorLog::pushNewRoot() {
    LogEntry2* root = qxNew<LogEntry2>();
    if (!root) return;
    root->makeContext(kRootName);
    if (!contextStack_.appendPtr(root)) qxDelete(root);
}

void ErrorLog::destroyRoot() {
    LogEntry2* root = this->root();
    contextStack_.removeAllNoDelete();
    qxDelete(root);
}

LogEntry2* ErrorLog::root() const {
    return static_cast<LogEntry2*>(contextStack_.elementAt(0));
}

LogEntry2* ErrorLog::current() const {
    return static_cast<LogEntry2*>(contextStack_.lastElement());
}

void ErrorLog::addLeaf(LogEntry2* leaf) {
    if (!leaf) return;
    LogEntry2* cur = current();
    if (!cur || !cur->appendChild(leaf)) qxDelete(leaf);
}

void ErrorLog::enterContext(const char* name) {
    LogEntry2* cur = current();
    if (!cur) return;
    LogEntry2* ctx = qxNew<LogEntry2>();
    if (!ctx) return;
    ctx->makeContext(name);
    // A context that cannot be both added and pushed is dropped, so that every stacked context
    // stays the last child of the one below it.
    if (!cur->appendChild(ctx)) {
        qxDelete(ctx);
        return;
    }
    if (!contextStack_.appendPtr(ctx)) cur->destroyLastChild();
}

void ErrorLog::leaveContext() {
    if (contextStack_.getSize() <= 1) return;
    contextStack_.pop();
    // A nested context that received nothing is pruned when it is left; one directly under the
    // root stays, so that a logged method's context is always there even when empty.
    if (contextStack_.getSize() <= 1) return;
    LogEntry2* cur = current();
    LogEntry2* last = cur->lastChild();
    if (last && last->kind() == LogEntry2::kContext && last->numChildren() == 0)
        cur->destroyLastChild();
}

void ErrorLog::clear() {
    destroyRoot();
    pushNewRoot();
}
