#pragma once
// Shared by the CSV tests: StringBuffers to and from std::string, text arguments from UTF-8,
// out-parameters read back as UTF-8, and an object wrapper whose reads return plain strings.
#include "csv/ClsCsv.h"
#include "csv/Grid.h"
#include "platform/TempDir.h"
#include "text/ExtPtrArray.h"
#include "text/StringBuffer.h"
#include "text/XString.h"

#include <string>
#include <vector>

namespace csvtest {

using Rows = std::vector<std::vector<std::string>>;

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
    for (size_t i = 0; i < times; ++i)
        s += unit;
    return s;
}

// The pieces of a split, as strings; the array is emptied.
inline std::vector<std::string> pieces(ExtPtrArray& array) {
    std::vector<std::string> out;
    for (int i = 0; i < array.getSize(); ++i)
        out.push_back(str(*static_cast<StringBuffer*>(array.elementAt(i))));
    array.removeAllObjects();
    return out;
}

// Every row's stored text; "<none>" for a row without one.
inline std::vector<std::string> rawRows(const Grid& g) {
    std::vector<std::string> rows;
    for (int r = 0; r < g.numRows(); ++r)
        rows.push_back(g.rowText(r) ? str(*g.rowText(r)) : "<none>");
    return rows;
}

using testfs::unescape;

// The cases of tests/csv/data/NAME.
inline std::vector<std::vector<std::string>> caseFile(const char* name) {
    return testfs::caseRows(std::string("csv/data/") + name);
}

// Rows in a case field: "/" between rows, "|" between cells, "-" for no rows at all.
inline Rows rowsOf(const std::string& field) {
    Rows rows;
    if (field == "-") return rows;
    std::string cell;
    rows.emplace_back();
    for (size_t i = 0; i <= field.size(); ++i) {
        if (i == field.size() || field[i] == '|' || field[i] == '/') {
            if (!cell.empty() || (i < field.size() && field[i] == '|') || !rows.back().empty())
                rows.back().push_back(unescape(cell));
            cell.clear();
            if (i < field.size() && field[i] == '/') rows.emplace_back();
        } else {
            cell += field[i];
            if (field[i] == '\\' && i + 1 < field.size()) cell += field[++i];
        }
    }
    return rows;
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
