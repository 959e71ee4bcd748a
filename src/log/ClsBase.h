#pragma once
// Base of every component object: its own log, the frame of a logged method (cleared log, a
// context named after the method, the header items, "Success." or "Failed.") and the four
// last-error operations.
#include "log/Logger.h"
#include "text/QuenlixObject.h"

class XString;

class ClsBase : public QuenlixObject {
public:
    ClsBase() = default;
    ~ClsBase() override = default;

    void enterMethod(const char* methodName);
    static void logHeaderInfo(int hostKind, LogBase& log);
    void logSuccess(bool ok);

    void lastErrorText(XString& out, bool crlf);
    void lastErrorXml(XString& out, bool crlf);
    void lastErrorHtml(XString& out, bool crlf);
    bool saveLastError(XString& path);

    Logger& log() { return log_; }

    // Kind of host the library was built for; selects the "Component" label. Nothing changes it.
    static int hostKind;

protected:
    Logger log_;
};
