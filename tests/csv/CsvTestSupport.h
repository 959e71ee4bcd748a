#pragma once
// Shared by the CSV tests: StringBuffers to and from std::string, text arguments from UTF-8,
// out-parameters read back as UTF-8, and an object wrapper whose reads return plain strings.
#include "csv/ClsCsv.h"
#include "platform/TempDir.h"
#include "text/StringBuffer.h"
#include "text/XString.h"

#include <string>

namespace csvtest {

inline StringBuffer make(const std::string& s) {
    StringBuffer sb;
    sb.appendN(s.data(), static_cast<int>(s.size()));
    return sb;
}

inline std::string str(const StringBuffer& sb) {
    return std::string(sb.getString(), sb.getSize());
}

inline std::string repeated(const std::string& unit, size_t times) {
    std::string s;
    s.reserve(unit.size() * times);
    for (size_t i = 0; i < times; ++i)
        s += unit;
    return s;
}

// An XString argument built from UTF-8.
struct X {
    XString s;
    X(const std::string& utf8) { s.setFromUtf8(utf8.c_str()); }
    operator XString&() { return s; }
};

// What an out-parameter call leaves in its XString, as UTF-8.
template <class F> std::string utf8(F f) {
    XString s;
    f(s);
    return s.getUtf8();
}

// Runs call(out) and keeps what it left in out as UTF-8; gives the call's result.
template <class F> bool into(std::string& text, F call) {
    XString s;
    const bool ok = call(s);
    text = s.getUtf8();
    return ok;
}

struct Csv {
    ClsCsv obj;
    std::string cell(int r, int c) {
        return utf8([&](XString& s) { obj.GetCell(r, c, s); });
    }
    std::string save() {
        return utf8([&](XString& s) { obj.SaveToString(s); });
    }
    std::string log() {
        return utf8([&](XString& s) { obj.lastErrorText(s, true); });
    }
    std::string delimiter() {
        return utf8([&](XString& s) { obj.get_Delimiter(s); });
    }
    std::string columnName(int i) {
        return utf8([&](XString& s) { obj.GetColumnName(i, s); });
    }
    bool loadString(const std::string& text) { return obj.LoadFromString(X(text)); }
    // LoadFile without a charset, LoadFile2 with one.
    bool loadFile(const std::filesystem::path& path, const char* charset = nullptr) {
        X name(testfs::utf8(path));
        return charset ? obj.LoadFile2(name, X(charset)) : obj.LoadFile(name);
    }
};

} // namespace csvtest
