#pragma once
// The log of one component object: a tree of contexts and entries (ErrorLog) behind a critical
// section. Every operation holds the lock for its whole duration, renderings and saveXml
// included, so several threads may log into and read one Logger at once. The lock is recursive.
//
// Data names are normalised before the lock is taken: trimmed, spaces turned into "_"; a name
// that is empty afterwards is refused (false, nothing added).
#include "log/ErrorLog.h"
#include "log/LogBase.h"
#include "platform/CriticalSection.h"

class Logger : public LogBase {
public:
    Logger() = default;
    ~Logger() override = default;
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    void getXml(StringBuffer& out) override;
    void getHtml(StringBuffer& out) override;
    void getText(StringBuffer& out) override;
    bool logError(const char* message) override;
    bool logInfo(const char* message) override;
    bool logXmlFragment(const char* text) override;
    bool clearLog() override;
    bool enterContext(const char* name) override;
    bool leaveContext() override;
    bool logData(const char* name, const char* value) override;
    bool logDataLong(const char* name, int32_t value) override;
    bool logDataInt64(const char* name, int64_t value) override;
    bool logDataHex(const char* name, uint32_t value) override;
    void logTickCount(const char* name) override;
    // Renders the XML report and writes it whole to the file (no byte-order mark, no
    // declaration); true when every byte was written. Writing logs nothing.
    bool saveXml(const char* utf8Path) override;

private:
    // Adds a data item whose name has already been normalised.
    void addData(const StringBuffer& name, const char* value);
    void addLine(char kind, const char* message);

    CriticalSection lock_;
    ErrorLog log_;
};
