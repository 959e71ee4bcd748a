#include "log/ClsBase.h"

#include "platform/Memory.h"
#include "platform/Platform.h"
#include "text/StringBuffer.h"
#include "text/XString.h"

#include <string>

int ClsBase::hostKind = 0;

// ---- the build-environment label -------------------------------------------------------------
// Logged under "Component" for every host kind without a label of its own: the compiler and the
// target it built for, fixed when the library is compiled ("GCC 12.0 / i686-w64-mingw32").
#define QX_STR2(x) #x
#define QX_STR(x) QX_STR2(x)

#if defined(__clang__)
#define QX_COMPILER "Clang " QX_STR(__clang_major__) "." QX_STR(__clang_minor__)
#elif defined(__GNUC__)
#define QX_COMPILER "GCC " QX_STR(__GNUC__) "." QX_STR(__GNUC_MINOR__)
#elif defined(_MSC_VER)
#define QX_COMPILER "MSVC " QX_STR(_MSC_VER)
#else
#define QX_COMPILER "C++"
#endif

#if defined(__MINGW32__) && defined(_WIN64)
#define QX_TARGET "x86_64-w64-mingw32"
#elif defined(__MINGW32__)
#define QX_TARGET "i686-w64-mingw32"
#elif defined(_WIN64)
#define QX_TARGET "x64-windows"
#elif defined(_WIN32)
#define QX_TARGET "x86-windows"
#elif defined(__linux__) && defined(__x86_64__)
#define QX_TARGET "x86_64-linux-gnu"
#elif defined(__linux__) && defined(__i386__)
#define QX_TARGET "i686-linux-gnu"
#elif defined(__linux__) && defined(__aarch64__)
#define QX_TARGET "aarch64-linux-gnu"
#elif defined(__linux__)
#define QX_TARGET "linux"
#else
#define QX_TARGET "unknown"
#endif

namespace {
const char kBuildLabel[] = QX_COMPILER " / " QX_TARGET;
const char kBuildDate[] = "Mar 10 2009";

const char* componentLabel(int kind) {
    switch (kind) {
    case 3:
        return "ActiveX";
    case 1:
        return ".NET 1.*";
    case 2:
        return ".NET 2.0";
    case 264:
        return ".NET 2.0 / x64";
    default:
        return kBuildLabel;
    }
}

// Hands a finished rendering to the caller: optionally with every line end made CR LF (a lone
// CR inside an entry text is dropped, a lone LF becomes CR LF), as UTF-8.
void deliver(StringBuffer& report, XString& out, bool crlf) {
    if (crlf) report.toCrlf();
    out.setFromUtf8(report.getString());
}
} // namespace

// ---- logged methods --------------------------------------------------------------------------

void ClsBase::enterMethod(const char* methodName) {
    log_.clearLog();
    log_.enterContext(methodName);
    log_.logData("DllDate", kBuildDate);
    logHeaderInfo(hostKind, log_);
}

void ClsBase::logHeaderInfo(int kind, LogBase& log) {
    // The user name comes in the ANSI code page and is logged as it comes.
    std::string user = platform::userName();
    log.logData("Username", user.c_str());
    log.logData("Component", componentLabel(kind));
}

void ClsBase::logSuccess(bool ok) {
    if (ok)
        log_.logInfo("Success.");
    else
        log_.logError("Failed.");
}

// ---- last error ------------------------------------------------------------------------------

void ClsBase::lastErrorText(XString& out, bool crlf) {
    StringBuffer report;
    log_.getText(report);
    deliver(report, out, crlf);
}

void ClsBase::lastErrorXml(XString& out, bool crlf) {
    StringBuffer report;
    log_.getXml(report);
    deliver(report, out, crlf);
}

void ClsBase::lastErrorHtml(XString& out, bool crlf) {
    StringBuffer report;
    log_.getHtml(report);
    deliver(report, out, crlf);
}

bool ClsBase::saveLastError(XString& path) {
    QxAllocWatch watch;
    const char* utf8 = path.getUtf8();
    if (!utf8) return false;
    StringBuffer trimmed(utf8);
    trimmed.trim();
    // A name made without all of its memory may be another file's name.
    if (trimmed.getSize() == 0 || watch.failed()) return false;
    return log_.saveXml(trimmed.getString());
}
