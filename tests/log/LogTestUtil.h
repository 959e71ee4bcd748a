#pragma once
// Helpers shared by the log tests: reports as std::string, expected reports built line by line.
#include "log/LogBase.h"
#include "text/StringBuffer.h"

#include <initializer_list>
#include <string>

namespace logtest {

using Str = std::string;

// Each line followed by CR LF.
inline Str lines(std::initializer_list<Str> ls) {
    Str out;
    for (const Str& l : ls)
        out += l + "\r\n";
    return out;
}

inline Str render(LogBase& log, void (LogBase::*how)(StringBuffer&)) {
    StringBuffer sb;
    (log.*how)(sb);
    return Str(sb.getString(), sb.getSize());
}
inline Str textOf(LogBase& log) {
    return render(log, &LogBase::getText);
}
inline Str xmlOf(LogBase& log) {
    return render(log, &LogBase::getXml);
}
inline Str htmlOf(LogBase& log) {
    return render(log, &LogBase::getHtml);
}

} // namespace logtest
