#pragma once
// Small helpers shared by the log tests: reports as std::string, and expected reports built line
// by line with CR LF ends.
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

inline Str str(const StringBuffer& sb) {
    return Str(sb.getString(), sb.getSize());
}

inline Str textOf(LogBase& log) {
    StringBuffer sb;
    log.getText(sb);
    return str(sb);
}
inline Str xmlOf(LogBase& log) {
    StringBuffer sb;
    log.getXml(sb);
    return str(sb);
}
inline Str htmlOf(LogBase& log) {
    StringBuffer sb;
    log.getHtml(sb);
    return str(sb);
}

} // namespace logtest
