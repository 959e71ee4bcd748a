#include "log/Logger.h"

#include "file/FileAccess.h"
#include "log/LogEntry2.h"
#include "log/LogRenderer.h"
#include "platform/Memory.h"
#include "platform/Platform.h"
#include "text/StringBuffer.h"

#include <cstdio>

namespace {
enum NameResult { kNameOk, kNameEmpty, kNameNoMemory };

// Data names become XML element names: outer blanks are trimmed and inner spaces turned into "_".
// A name with nothing left is refused; one that could not be copied for want of memory is
// dropped like any entry that cannot be allocated.
NameResult normaliseName(const char* name, StringBuffer& out) {
    if (!name || !*name) return kNameEmpty;
    out.setString(name);
    if (out.getSize() == 0) return kNameNoMemory;
    out.trim();
    if (out.getSize() == 0) return kNameEmpty;
    out.replaceAll(" ", "_");
    return out.containsChar(' ') ? kNameNoMemory : kNameOk;
}
} // namespace

// ---- renderings ------------------------------------------------------------------------------

void Logger::getXml(StringBuffer& out) {
    CriticalSectionLock hold(lock_);
    out.clear();
    LogRenderer::renderXml(log_.root(), out);
}

void Logger::getHtml(StringBuffer& out) {
    CriticalSectionLock hold(lock_);
    out.clear();
    LogRenderer::renderHtml(log_.root(), out);
}

void Logger::getText(StringBuffer& out) {
    CriticalSectionLock hold(lock_);
    out.clear();
    LogRenderer::renderText(log_.root(), out);
}

bool Logger::saveXml(const char* utf8Path) {
    if (!utf8Path) return false;
    CriticalSectionLock hold(lock_);
    StringBuffer xml;
    LogRenderer::renderXml(log_.root(), xml);
    return FileAccess::writeWholeFile(utf8Path,
                                      reinterpret_cast<const unsigned char*>(xml.getString()),
                                      static_cast<unsigned>(xml.getSize()), nullptr);
}

// ---- lines and contexts ----------------------------------------------------------------------

void Logger::addLine(char kind, const char* message) {
    CriticalSectionLock hold(lock_);
    LogEntry2* e = qxNew<LogEntry2>();
    if (!e) return;
    switch (kind) {
    case LogEntry2::kError:
        e->makeError(message);
        break;
    case LogEntry2::kFragment:
        e->makeFragment(message);
        break;
    default:
        e->makeInfo(message);
        break;
    }
    log_.addLeaf(e);
}

bool Logger::logError(const char* message) {
    if (message) addLine(LogEntry2::kError, message);
    return true;
}

bool Logger::logInfo(const char* message) {
    if (message) addLine(LogEntry2::kInfo, message);
    return true;
}

bool Logger::logXmlFragment(const char* text) {
    if (text) addLine(LogEntry2::kFragment, text);
    return true;
}

bool Logger::clearLog() {
    CriticalSectionLock hold(lock_);
    log_.clear();
    return true;
}

bool Logger::enterContext(const char* name) {
    CriticalSectionLock hold(lock_);
    log_.enterContext(name);
    return true;
}

bool Logger::leaveContext() {
    CriticalSectionLock hold(lock_);
    log_.leaveContext();
    return true;
}

// ---- data items ------------------------------------------------------------------------------

void Logger::addData(const StringBuffer& name, const char* value) {
    CriticalSectionLock hold(lock_);
    LogEntry2* e = qxNew<LogEntry2>();
    if (!e) return;
    e->makeData(name.getString(), value ? value : "(NULL)");
    log_.addLeaf(e);
}

bool Logger::logData(const char* name, const char* value) {
    StringBuffer tag;
    NameResult r = normaliseName(name, tag);
    if (r == kNameOk) addData(tag, value);
    return r != kNameEmpty;
}

// The number forms only format the value; logData normalises the name and adds the item.
bool Logger::logDataLong(const char* name, int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    return logData(name, text);
}

bool Logger::logDataInt64(const char* name, int64_t value) {
    StringBuffer text;
    StringBuffer::appendInt64(value, text);
    return logData(name, text.getString());
}

bool Logger::logDataHex(const char* name, uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
    return logData(name, text);
}

void Logger::logTickCount(const char* name) {
    StringBuffer tag;
    if (normaliseName(name, tag) != kNameOk) return;
    char text[16];
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(platform::tickCount()));
    addData(tag, text);
}
