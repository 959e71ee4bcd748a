#pragma once
// Shared by the file-layer tests: calls that take plain std::strings, and facts about the
// system's ANSI code page.
#include "file/FileAccess.h"
#include "platform/Platform.h"
#include "text/StringBuffer.h"
#include "text/XString.h"

#include <string>

namespace filetest {

// Georgian letters and two CJK ideographs: no ANSI code page holds the Georgian ones, so only a
// UTF-8 ANSI code page represents the whole name. (All within the Basic Multilingual Plane: the
// library's UTF-8 coder has no four-byte forms.)
const char* const kOutsideAnsi =
    "\xE1\x83\xA5\xE1\x83\x90\xE1\x83\xA0\xE1\x83\x97\xE6\x97\xA5\xE6\x9C\xAC";

inline bool ansiIsUtf8() {
    return platform::ansiCodePage() == 65001;
}

inline bool load(const std::string& utf8Path, StringBuffer& sb, LogBase* log) {
    XString path;
    path.setFromUtf8(utf8Path.c_str());
    return sb.loadFromFile(path, log);
}

inline bool loadString(const std::string& utf8Path, std::string& out, LogBase* log) {
    StringBuffer sb;
    bool ok = load(utf8Path, sb, log);
    out.assign(sb.getString(), static_cast<size_t>(sb.getSize()));
    return ok;
}

inline bool save(const std::string& utf8Path, const std::string& bytes, LogBase* log) {
    return FileAccess::writeWholeFile(utf8Path.c_str(),
                                      reinterpret_cast<const unsigned char*>(bytes.data()),
                                      static_cast<unsigned>(bytes.size()), log);
}

// The system's message text for a code with surrounding whitespace removed.
inline std::string trimmedErrorText(uint32_t code) {
    std::string s = platform::errorMessageText(code);
    const char* blanks = " \t\r\n";
    size_t b = s.find_first_not_of(blanks);
    if (b == std::string::npos) return std::string();
    return s.substr(b, s.find_last_not_of(blanks) - b + 1);
}

} // namespace filetest
