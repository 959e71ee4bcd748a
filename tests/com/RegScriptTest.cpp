// The registration-script reader beyond the one script the registry checks run: lines it must
// refuse, and %NAME% expansion into a buffer of the caller's size (the module path is the
// installer's, of any length).
#include "com/RegScript.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

namespace {

TEST(RegScript, RefusedLinesAndExpansionLimits) {
    for (const char* line : {"Key A", "key A\\\\B", "key A = x", "key A = \"x", "key A = \"x\" y",
                             "keep A = \"x\"", "value A N", "key A = \"caf\xc3\xa9\""}) {
        RegScript r;
        EXPECT_FALSE(r.parse(line, std::strlen(line))) << line;
        EXPECT_EQ(r.errorLine(), 1) << line;
    }
    const RegScriptVariable vars[] = {{"MODULE", L"C:\\dir with 100%\\Q.dll"}, {"CLSID", L"{G}"}};
    const std::tuple<const char*, int, const wchar_t*> cases[] = {
        {"%MODULE%, 101", 64, L"C:\\dir with 100%\\Q.dll, 101"},
        {"%CLSID%%CLSID%", 64, L"{G}{G}"},
        {"abc", 4, L"abc"},       // exactly fits with its terminator
        {"%LIBID%", 64, nullptr}, // unknown variable (null: expansion fails)
        {"50%", 64, nullptr},     // '%' without partner
        {"abcd", 4, nullptr},     // one unit too long
        {"%CLSID%", 3, nullptr},  // variable does not fit
    };
    for (const auto& [in, cap, want] : cases) {
        wchar_t out[64] = {};
        const int n = RegScript::expand(RegScriptText{in, int(std::strlen(in))}, vars, 2, out, cap);
        EXPECT_EQ(n, want ? int(std::wcslen(want)) : -1) << in;
        EXPECT_STREQ(want && n >= 0 ? out : L"", want ? want : L"") << in;
    }
}

} // namespace
