// The registration-script reader: which lines it takes and what it makes of them, line numbers,
// its entry limit, and the substitution of %NAME% variables.
#include "com/RegScript.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

namespace {

// The one entry of a line in a normal form ("kind path [name] [= "data"]"), or "rejected".
std::string parsed(const char* line) {
    RegScript r;
    if (!r.parse(line, std::strlen(line))) return r.errorLine() == 1 ? "rejected" : "bad line";
    if (r.count() != 1 || r.entry(0).line != 1) return "not one entry";
    const RegScriptEntry& e = r.entry(0);
    const char* kinds[] = {"keep", "key", "replace", "value"};
    std::string out = kinds[int(e.kind)] + (" " + std::string(e.path.p, e.path.n));
    if (e.name.n) out += " " + std::string(e.name.p, e.name.n);
    if (e.hasData) out += " = \"" + std::string(e.data.p, e.data.n) + "\"";
    return out;
}

TEST(RegScript, LinesTakenAndRefused) {
    const std::tuple<const char*, const char*> cases[] = {
        {"  key\tA  =  \"x y, 101\"  ", "key A = \"x y, 101\""},
        {"value C\\I ThreadingModel = \"Apartment\"", "value C\\I ThreadingModel = \"Apartment\""},
        {"key M\\1 = \"132497\"\r", "key M\\1 = \"132497\""},
        {"Key A", "rejected"},                   // keywords are lower case
        {"key A\\\\B", "rejected"},              // empty key name
        {"key A = x", "rejected"},               // data not quoted
        {"key A = \"x", "rejected"},             // quote not closed
        {"key A = \"x\" y", "rejected"},         // text after the data
        {"keep A = \"x\"", "rejected"},          // a kept key cannot set data
        {"value A N", "rejected"},               // value without data
        {"key A = \"caf\xc3\xa9\"", "rejected"}, // data beyond ASCII
    };
    for (const auto& [line, want] : cases)
        EXPECT_EQ(parsed(line), want) << line;
}

TEST(RegScript, CommentsBlankLinesLineNumbersAndTheEntryLimit) {
    const char text[] = "# heading\r\n\r\nkeep CLSID\n   \nkey A = \"1\"\nbad line\nkey B";
    RegScript r;
    EXPECT_FALSE(r.parse(text, sizeof text - 1));
    EXPECT_EQ(r.errorLine(), 6);
    ASSERT_TRUE(r.parse(text, std::strstr(text, "bad") - text));
    ASSERT_EQ(r.count(), 2);
    EXPECT_EQ(r.entry(1).line, 5);
    std::string many;
    for (int i = 0; i <= RegScript::kMaxEntries; ++i)
        many += "key K" + std::to_string(i) + "\n";
    EXPECT_FALSE(r.parse(many.data(), many.size()));
    EXPECT_EQ(r.errorLine(), RegScript::kMaxEntries + 1);
}

TEST(RegScript, Expand) {
    const RegScriptVariable vars[] = {{"MODULE", L"C:\\dir with 100%\\Q.dll"}, {"CLSID", L"{G}"}};
    const std::tuple<const char*, int, const wchar_t*> cases[] = {
        {"%MODULE%, 101", 64, L"C:\\dir with 100%\\Q.dll, 101"},
        {"%CLSID%%CLSID%", 64, L"{G}{G}"},
        {"abc", 4, L"abc"},       // exactly fits with its terminator
        {"%LIBID%", 64, nullptr}, // unknown variable (null: expansion fails)
        {"50%", 64, nullptr},     // '%' without partner
        {"%%", 64, nullptr},      // empty name
        {"abcd", 4, nullptr},     // one unit too long
        {"%CLSID%", 3, nullptr},  // variable does not fit
    };
    for (const auto& [in, cap, want] : cases) {
        wchar_t out[64];
        const int n = RegScript::expand(RegScriptText{in, int(std::strlen(in))}, vars, 2, out, cap);
        EXPECT_EQ(n, want ? int(std::wcslen(want)) : -1) << in;
        if (want && n >= 0) {
            EXPECT_STREQ(out, want) << in;
        }
    }
}

} // namespace
