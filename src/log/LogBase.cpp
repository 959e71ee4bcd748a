#include "log/LogBase.h"

#include "encoding/tables/ContentCoding.h"
#include "text/StringBuffer.h"

#include <cstring>

// The do-nothing log: lower layers may be handed a LogBase that records nothing.
void LogBase::getXml(StringBuffer&) {}
void LogBase::getHtml(StringBuffer&) {}
void LogBase::getText(StringBuffer&) {}
bool LogBase::logError(const char*) {
    return true;
}
bool LogBase::logInfo(const char*) {
    return true;
}
bool LogBase::logXmlFragment(const char*) {
    return true;
}
bool LogBase::clearLog() {
    return true;
}
bool LogBase::enterContext(const char*) {
    return true;
}
bool LogBase::leaveContext() {
    return true;
}
bool LogBase::logData(const char*, const char*) {
    return true;
}
bool LogBase::logDataLong(const char*, int32_t) {
    return true;
}
bool LogBase::logDataInt64(const char*, int64_t) {
    return true;
}
bool LogBase::logDataHex(const char*, uint32_t) {
    return true;
}
void LogBase::logTickCount(const char*) {}
bool LogBase::saveXml(const char*) {
    return true;
}

// Shared by every log: the message text goes through the virtual logData, so a Logger records it
// and the do-nothing log drops it.
void LogBase::logOsError(uint32_t code) {
    if (code == 0) return;
    StringBuffer text;
    text.appendWindowsError(code);
    logData("WindowsError", text.getString());
}

void LogBase::logDataQP(const char* name, const char* text) {
    StringBuffer encoded;
    if (text && *text) {
        ContentCoding qp;
        qp.encodeQuotedPrintable(reinterpret_cast<const unsigned char*>(text),
                                 static_cast<int>(std::strlen(text)), encoded);
    }
    logData(name, encoded.getString());
}
