#pragma once
// Shared by the log tests and the file-layer tests: reports as std::string, expected reports
// written line by line, and a log that keeps every entry in order.
#include "log/LogBase.h"
#include "text/StringBuffer.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace logtest {

using Str = std::string;

// The lines given joined by "|", each followed by CR LF; empty parts are left out.
inline Str lines(const Str& joined) {
    Str out;
    for (size_t at = 0, bar = 0; bar != Str::npos && at < joined.size(); at = bar + 1) {
        bar = joined.find('|', at);
        if (bar != at) out += joined.substr(at, bar - at) + "\r\n";
    }
    return out;
}

// A Windows error code as the logs show it.
inline Str hex(uint32_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(code));
    return text;
}

// A rendering replaces whatever the output held.
inline Str render(LogBase& log, void (LogBase::*how)(StringBuffer&)) {
    StringBuffer sb("left over");
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

// Keeps the entries that reach it in order ("E:message" for errors, "T:name" for data items,
// joined by "|") and the data items with their values; what LogBase's shared bodies make of a
// call arrives here through the virtual logData.
class RecordingLog : public LogBase {
public:
    Str shape;
    std::vector<std::pair<Str, Str>> items;

    bool logError(const char* message) override { return add("E:", message); }
    bool logData(const char* name, const char* value) override {
        items.emplace_back(name ? name : "<null>", value ? value : "(NULL)");
        return add("T:", name);
    }
    bool logDataHex(const char* name, uint32_t value) override {
        return logData(name, hex(value).c_str());
    }
    // The value of the first data item with this name, or "<none>".
    Str value(const Str& name) const {
        for (const auto& [n, v] : items)
            if (n == name) return v;
        return "<none>";
    }

private:
    bool add(const char* kind, const char* text) {
        shape += (shape.empty() ? "" : "|") + Str(kind) + (text ? text : "<null>");
        return true;
    }
};

} // namespace logtest
