// The registration-script reader: which lines it accepts and what it makes of them, and the
// substitution of %NAME% variables.
#include "com/RegScript.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string s(RegScriptText t) {
    return std::string(t.p, t.n);
}

TEST(RegScript, AcceptedLines) {
    struct Case {
        const char* line;
        RegScriptKind kind;
        const char* path;
        const char* name;
        bool hasData;
        const char* data;
    } cases[] = {
        {"keep CLSID", RegScriptKind::Keep, "CLSID", "", false, ""},
        {"key A.B.1", RegScriptKind::Key, "A.B.1", "", false, ""},
        {"key A\\CLSID = \"%CLSID%\"", RegScriptKind::Key, "A\\CLSID", "", true, "%CLSID%"},
        {"  key\tA  =  \"x y, 101\"  ", RegScriptKind::Key, "A", "", true, "x y, 101"},
        {"key A = \"\"", RegScriptKind::Key, "A", "", true, ""},
        {"replace C\\%CLSID%\\Control", RegScriptKind::Replace, "C\\%CLSID%\\Control", "", false,
         ""},
        {"replace C\\T = \"%MODULE%, 101\"", RegScriptKind::Replace, "C\\T", "", true,
         "%MODULE%, 101"},
        {"value C\\I ThreadingModel = \"Apartment\"", RegScriptKind::Value, "C\\I",
         "ThreadingModel", true, "Apartment"},
        {"key M\\1 = \"132497\"\r", RegScriptKind::Key, "M\\1", "", true, "132497"},
    };
    for (const Case& c : cases) {
        RegScript r;
        ASSERT_TRUE(r.parse(c.line, std::strlen(c.line))) << c.line;
        ASSERT_EQ(r.count(), 1) << c.line;
        const RegScriptEntry& e = r.entry(0);
        EXPECT_EQ(e.kind, c.kind) << c.line;
        EXPECT_EQ(s(e.path), c.path) << c.line;
        EXPECT_EQ(s(e.name), c.name) << c.line;
        EXPECT_EQ(e.hasData, c.hasData) << c.line;
        EXPECT_EQ(s(e.data), c.data) << c.line;
        EXPECT_EQ(e.line, 1);
    }
}

TEST(RegScript, RejectedLines) {
    const char* cases[] = {
        "remove A",                // unknown keyword
        "Key A",                   // keywords are lower case
        "key",                     // no path
        "key \\A",                 // leading separator
        "key A\\",                 // trailing separator
        "key A\\\\B",              // empty key name
        "key A = x",               // data not quoted
        "key A = \"x",             // quote not closed
        "key A = \"x\" y",         // text after the data
        "key A=\"x\"",             // '=' must stand apart
        "key A \"x\"",             // '=' missing
        "keep A = \"x\"",          // a kept key cannot set data it would never take back
        "value A = \"x\"",         // value without a name
        "value A N",               // value without data
        "value A N\\M = \"x\"",    // separator in a value name
        "key A = \"caf\xc3\xa9\"", // data beyond ASCII
        "key A B",                 // stray word
    };
    for (const char* c : cases) {
        RegScript r;
        EXPECT_FALSE(r.parse(c, std::strlen(c))) << c;
        EXPECT_EQ(r.errorLine(), 1) << c;
    }
}

TEST(RegScript, CommentsBlankLinesAndLineNumbers) {
    const char text[] =
        "# heading\r\n\r\nkeep CLSID\n   \n# key Commented\nkey A = \"1\"\nbad line\nkey B";
    RegScript r;
    EXPECT_FALSE(r.parse(text, sizeof text - 1));
    EXPECT_EQ(r.errorLine(), 7);
    EXPECT_TRUE(r.parse(text, std::strstr(text, "bad") - text));
    ASSERT_EQ(r.count(), 2);
    EXPECT_EQ(r.entry(0).line, 3);
    EXPECT_EQ(r.entry(1).line, 6);
    EXPECT_EQ(s(r.entry(1).path), "A");
}

TEST(RegScript, EntryLimit) {
    std::string text;
    for (int i = 0; i < RegScript::kMaxEntries; ++i)
        text += "key K" + std::to_string(i) + "\n";
    RegScript r;
    EXPECT_TRUE(r.parse(text.data(), text.size()));
    EXPECT_EQ(r.count(), RegScript::kMaxEntries);
    text += "key Overflow\n";
    EXPECT_FALSE(r.parse(text.data(), text.size()));
    EXPECT_EQ(r.errorLine(), RegScript::kMaxEntries + 1);
}

TEST(RegScript, Expand) {
    const RegScriptVariable vars[] = {{"MODULE", L"C:\\dir with 100%\\Q.dll"}, {"CLSID", L"{G}"}};
    struct Case {
        const char* in;
        int cap;
        const wchar_t* out; // null: expansion fails
    } cases[] = {
        {"plain", 64, L"plain"},
        {"%MODULE%, 101", 64, L"C:\\dir with 100%\\Q.dll, 101"},
        {"CLSID\\%CLSID%\\InprocServer32", 64, L"CLSID\\{G}\\InprocServer32"},
        {"%CLSID%%CLSID%", 64, L"{G}{G}"},
        {"", 64, L""},
        {"%LIBID%", 64, nullptr}, // unknown variable
        {"50%", 64, nullptr},     // '%' without partner
        {"%%", 64, nullptr},      // empty name
        {"abc", 4, L"abc"},       // exactly fits with its terminator
        {"abcd", 4, nullptr},     // one unit too long
        {"%CLSID%", 3, nullptr},  // variable does not fit
    };
    for (const Case& c : cases) {
        wchar_t out[64];
        RegScriptText t{c.in, int(std::strlen(c.in))};
        int n = RegScript::expand(t, vars, 2, out, c.cap);
        if (!c.out) {
            EXPECT_EQ(n, -1) << c.in;
            continue;
        }
        ASSERT_EQ(n, int(std::wcslen(c.out))) << c.in;
        EXPECT_STREQ(out, c.out) << c.in;
    }
}

} // namespace
