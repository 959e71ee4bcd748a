// The registration-script reader beyond the one script the registry checks run: lines it must
// refuse, and %NAME% expansion into a buffer of the caller's size (the module path is the
// installer's, of any length).
#include "com/RegScript.h"
#include "platform/TempDir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(RegScript, RefusedLinesAndExpansionLimits) {
    const RegScriptVariable vars[] = {{"MODULE", L"C:\\dir with 100%\\Q.dll"}, {"CLSID", L"{G}"}};
    for (const auto& c : testfs::caseRows("com/data/regscript.txt")) {
        ASSERT_EQ(c.size(), c[0] == "expand" ? 4u : 2u);
        const std::string in = testfs::unescape(c[1]);
        RegScript r;
        if (c[0] == "refuse") {
            EXPECT_FALSE(r.parse(in.c_str(), int(in.size()))) << in;
            EXPECT_EQ(r.errorLine(), 1) << in;
            continue;
        }
        const std::string want = c[3] == "-" ? "" : testfs::unescape(c[3]);
        wchar_t out[64] = {};
        const int n = RegScript::expand(RegScriptText{in.c_str(), int(in.size())}, vars, 2, out,
                                        std::stoi(c[2]));
        EXPECT_EQ(n, c[3] == "-" ? -1 : int(want.size())) << in;
        EXPECT_EQ(std::wstring(n >= 0 ? out : L""), std::wstring(want.begin(), want.end())) << in;
    }
}

} // namespace
