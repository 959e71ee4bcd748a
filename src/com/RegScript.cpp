#include "com/RegScript.h"

#include <cstring>

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Printable ASCII other than blank.
bool isWordChar(char c) {
    return c > ' ' && c < 0x7F && c != '"';
}

bool equals(const char* p, int n, const char* word) {
    return static_cast<int>(std::strlen(word)) == n && std::memcmp(p, word, n) == 0;
}

// Cursor over one line.
struct LineReader {
    const char* p;
    const char* end;

    void skipBlanks() {
        while (p < end && isBlank(*p))
            ++p;
    }
    bool atEnd() {
        skipBlanks();
        return p == end;
    }
    bool word(RegScriptText& out) {
        skipBlanks();
        const char* start = p;
        while (p < end && isWordChar(*p))
            ++p;
        out.p = start;
        out.n = static_cast<int>(p - start);
        return out.n > 0 && (p == end || isBlank(*p));
    }
    bool literal(char c) {
        skipBlanks();
        if (p == end || *p != c) return false;
        ++p;
        return true;
    }
    bool quoted(RegScriptText& out) {
        if (!literal('"')) return false;
        const char* start = p;
        while (p < end && *p != '"') {
            if (static_cast<unsigned char>(*p) < ' ' || static_cast<unsigned char>(*p) >= 0x7F)
                return false;
            ++p;
        }
        if (p == end) return false;
        out.p = start;
        out.n = static_cast<int>(p - start);
        ++p;
        return true;
    }
};

bool validPath(RegScriptText t) {
    if (t.n == 0 || t.p[0] == '\\' || t.p[t.n - 1] == '\\') return false;
    for (int i = 1; i < t.n; ++i)
        if (t.p[i] == '\\' && t.p[i - 1] == '\\') return false;
    return true;
}

bool validName(RegScriptText t) {
    return std::memchr(t.p, '\\', t.n) == nullptr;
}

} // namespace

bool RegScript::parse(const char* text, std::size_t size) {
    count_ = 0;
    errorLine_ = 0;
    const char* p = text;
    const char* end = text + size;
    int line = 0;
    while (p < end) {
        ++line;
        const char* eol = p;
        while (eol < end && *eol != '\n')
            ++eol;
        const char* lineEnd = eol;
        if (lineEnd > p && lineEnd[-1] == '\r') --lineEnd;
        if (!parseLine(p, lineEnd, line)) {
            errorLine_ = line;
            return false;
        }
        p = eol < end ? eol + 1 : end;
    }
    return true;
}

bool RegScript::parseLine(const char* p, const char* end, int line) {
    LineReader r{p, end};
    if (r.atEnd() || *r.p == '#') return true;

    RegScriptEntry e;
    e.line = line;
    RegScriptText kind;
    if (!r.word(kind)) return false;
    if (equals(kind.p, kind.n, "keep"))
        e.kind = RegScriptKind::Keep;
    else if (equals(kind.p, kind.n, "key"))
        e.kind = RegScriptKind::Key;
    else if (equals(kind.p, kind.n, "replace"))
        e.kind = RegScriptKind::Replace;
    else if (equals(kind.p, kind.n, "value"))
        e.kind = RegScriptKind::Value;
    else
        return false;

    if (!r.word(e.path) || !validPath(e.path)) return false;
    if (e.kind == RegScriptKind::Value && (!r.word(e.name) || !validName(e.name))) return false;

    if (e.kind == RegScriptKind::Keep) {
        // A kept key is never removed, so a default value for it could never be taken back.
        if (!r.atEnd()) return false;
    } else if (e.kind == RegScriptKind::Value || !r.atEnd()) {
        if (!r.literal('=') || !r.quoted(e.data) || !r.atEnd()) return false;
        e.hasData = true;
    }

    if (count_ == kMaxEntries) return false;
    entries_[count_++] = e;
    return true;
}

int RegScript::expand(RegScriptText t, const RegScriptVariable* vars, int numVars, wchar_t* out,
                      int cap) {
    if (cap <= 0) return -1;
    int len = 0;
    auto put = [&](wchar_t c) {
        if (len + 1 >= cap) return false;
        out[len++] = c;
        return true;
    };
    for (int i = 0; i < t.n; ++i) {
        if (t.p[i] != '%') {
            if (!put(static_cast<unsigned char>(t.p[i]))) return -1;
            continue;
        }
        int close = i + 1;
        while (close < t.n && t.p[close] != '%')
            ++close;
        if (close == t.n) return -1;
        const RegScriptVariable* var = nullptr;
        for (int v = 0; v < numVars; ++v)
            if (equals(t.p + i + 1, close - i - 1, vars[v].name)) var = &vars[v];
        if (!var) return -1;
        for (const wchar_t* s = var->value; *s; ++s)
            if (!put(*s)) return -1;
        i = close;
    }
    out[len] = 0;
    return len;
}
