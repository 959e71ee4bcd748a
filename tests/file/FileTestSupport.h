#pragma once
// Shared by the file-layer tests: calls on plain std::strings, facts about the ANSI code page, and
// the log tests' recording log.
#include "encoding/tables/ContentCoding.h"
#include "file/FileAccess.h"
#include "log/LogTestUtil.h"
#include "platform/Platform.h"
#include "text/StringBuffer.h"
#include "text/XString.h"

#include <string>

namespace filetest {

using logtest::hex;
using logtest::RecordingLog;

// Georgian letters and two CJK ideographs: only a UTF-8 ANSI code page holds the whole name.
const char* const kOutsideAnsi =
    "\xE1\x83\xA5\xE1\x83\x90\xE1\x83\xA0\xE1\x83\x97\xE6\x97\xA5\xE6\x9C\xAC";

inline bool ansiIsUtf8() {
    return platform::ansiCodePage() == 65001;
}

// An XString made from UTF-8 text.
struct Path : XString {
    explicit Path(const std::string& utf8) { setFromUtf8(utf8.c_str()); }
};

inline bool load(const std::string& utf8Path, StringBuffer& sb, LogBase* log) {
    Path path(utf8Path);
    return sb.loadFromFile(path, log);
}
inline bool save(const std::string& utf8Path, const std::string& bytes, LogBase* log) {
    return FileAccess::writeWholeFile(utf8Path.c_str(),
                                      reinterpret_cast<const unsigned char*>(bytes.data()),
                                      static_cast<unsigned>(bytes.size()), log);
}
inline std::string textOf(const StringBuffer& sb) {
    return std::string(sb.getString(), static_cast<size_t>(sb.getSize()));
}

// The system's message text for a code.
inline std::string trimmedErrorText(uint32_t code) {
    std::string s = platform::errorMessageText(code);
    size_t b = s.find_first_not_of(" \t\r\n");
    return b == std::string::npos ? std::string()
                                  : s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// A name as the log holds it quoted-printable encoded (the coder has tests of its own).
inline std::string qp(const std::string& s) {
    StringBuffer out;
    ContentCoding().encodeQuotedPrintable(reinterpret_cast<const unsigned char*>(s.data()),
                                          static_cast<int>(s.size()), out);
    return textOf(out);
}

} // namespace filetest
