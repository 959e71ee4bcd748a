#pragma once
// A log that keeps every entry it is given, in order, so that tests can check what the file
// layer recorded (messages, data names, values and their order) without a real log tree.
#include "log/LogBase.h"

#include <cstdio>
#include <string>
#include <vector>

namespace filetest {

struct LogRecord {
    char kind; // 'E' error, 'I' info, 'T' data item, 'C' context opened, 'L' context left
    std::string name;
    std::string value;
};

class RecordingLog : public LogBase {
  public:
    std::vector<LogRecord> records;

    bool logError(const char* message) override { return add('E', "", message); }
    bool logInfo(const char* message) override { return add('I', "", message); }
    bool enterContext(const char* name) override { return add('C', name, ""); }
    bool leaveContext() override { return add('L', "", ""); }
    bool logData(const char* name, const char* value) override {
        return add('T', name, value ? value : "(NULL)");
    }
    bool logDataLong(const char* name, int32_t value) override {
        return add('T', name, std::to_string(value).c_str());
    }
    bool logDataInt64(const char* name, int64_t value) override {
        return add('T', name, std::to_string(value).c_str());
    }
    bool logDataHex(const char* name, uint32_t value) override {
        char text[16];
        std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
        return add('T', name, text);
    }

    // One line per entry: "E:message" for errors and infos, "T:name" for data items.
    std::vector<std::string> shape() const {
        std::vector<std::string> out;
        for (const LogRecord& r : records) {
            out.push_back(std::string(1, r.kind) + ":" + (r.kind == 'T' ? r.name : r.value));
        }
        return out;
    }
    // The value of the first data item with this name, or "<none>".
    std::string value(const std::string& name) const {
        for (const LogRecord& r : records) {
            if (r.kind == 'T' && r.name == name) return r.value;
        }
        return "<none>";
    }

  private:
    bool add(char kind, const char* name, const char* value) {
        if (!value) return true;
        records.push_back(LogRecord{kind, name ? name : "", value});
        return true;
    }
};

// Undoes quoted-printable encoding: "=XX" hex escapes and "=" CR LF soft line breaks.
inline std::string qpDecode(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '=') {
            out += s[i];
        } else if (s.compare(i + 1, 2, "\r\n") == 0) {
            i += 2;
        } else if (i + 2 < s.size()) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        }
    }
    return out;
}

} // namespace filetest
