#pragma once
// The registration script: a small line-oriented text, carried in the library as a resource,
// that lists the registry entries the component writes under HKEY_CLASSES_ROOT and how each is
// removed again. The module interprets it (see Registrar); this class only reads it.
//
// Format, one entry per line; blank lines and lines starting with '#' are ignored:
//
//   keep    PATH                  opened or created when registering; never removed
//   key     PATH [= "data"]       created (with "data" as default value); on unregistering
//                                 removed unless other keys or values remain under it
//   replace PATH [= "data"]       deleted with everything under it, then created; deleted with
//                                 everything under it on unregistering
//   value   PATH NAME = "data"    named string value NAME of key PATH; removed on unregistering
//
// PATH and NAME are runs of printable ASCII without blanks or quotes; PATH uses '\' between key
// names and may not start or end with one or contain an empty key name. "data" is any printable
// ASCII without a double quote. Words are separated by blanks or tabs. Entries are written in
// script order and removed in reverse order, so a key must come before the keys below it.
//
// Variables: "%NAME%" in a path, a name or data stands for a text the module supplies
// (%MODULE%, %CLSID%, %LIBID%); expand() substitutes them. The parser keeps the text as written.
#include <cstddef>

struct RegScriptText {
    const char* p = nullptr;
    int n = 0;
};

enum class RegScriptKind { Keep, Key, Replace, Value };

struct RegScriptEntry {
    RegScriptKind kind = RegScriptKind::Key;
    RegScriptText path;
    RegScriptText name; // Value only
    bool hasData = false;
    RegScriptText data;
    int line = 0; // 1-based line in the script
};

// One substitution: "%name%" becomes value.
struct RegScriptVariable {
    const char* name;
    const wchar_t* value;
};

class RegScript {
public:
    static constexpr int kMaxEntries = 128;

    // Reads the script (size bytes, need not be NUL-terminated). Stops at the first line it does
    // not understand and returns false; errorLine() then names that line. The entries point into
    // text, which must outlive this object.
    bool parse(const char* text, std::size_t size);

    int count() const { return count_; }
    const RegScriptEntry& entry(int i) const { return entries_[i]; }
    int errorLine() const { return errorLine_; }

    // Writes t with every "%NAME%" replaced by the matching variable's value into out (capacity
    // cap units, NUL-terminated). Returns the length, or -1 when a variable is unknown, a '%' has
    // no partner, or the result does not fit.
    static int expand(RegScriptText t, const RegScriptVariable* vars, int numVars, wchar_t* out,
                      int cap);

private:
    bool parseLine(const char* p, const char* end, int line);

    RegScriptEntry entries_[kMaxEntries];
    int count_ = 0;
    int errorLine_ = 0;
};
