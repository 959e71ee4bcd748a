#pragma once
// The log interface every layer writes to. Lower layers receive it as a pointer that may be null,
// in which case they log nothing. The bodies here form a do-nothing log; Logger is the real one.
#include <cstdint>

class StringBuffer;

class LogBase {
public:
    LogBase() = default;
    virtual ~LogBase() = default;

    virtual void getXml(StringBuffer& out);
    virtual void getHtml(StringBuffer& out);
    virtual void getText(StringBuffer& out);
    virtual bool logError(const char* message);
    virtual bool logInfo(const char* message);
    virtual bool logXmlFragment(const char* text);
    virtual bool clearLog();
    virtual bool enterContext(const char* name);
    virtual bool leaveContext();
    virtual bool logData(const char* name, const char* value);
    virtual bool logDataLong(const char* name, int32_t value);
    virtual bool logDataInt64(const char* name, int64_t value);
    virtual bool logDataHex(const char* name, uint32_t value);
    // Logs the system's message text for a Windows error code as "WindowsError"; 0 logs nothing.
    virtual void logOsError(uint32_t code);
    virtual void logTickCount(const char* name);
    virtual bool saveXml(const char* utf8Path);

    // Logs text quoted-printable encoded (file names that may hold ANSI bytes).
    void logDataQP(const char* name, const char* text);
};
