// getBstr's and bstrFromUtf8's direct way (UTF-8 decoded straight into the new string) against
// the general way through the UTF-16 form, on texts made to trip it: every length around the
// vector width and around the longest text decoded on the stack, byte-order marks, truncated,
// overlong and surrogate sequences, random bytes.
#include "text/XStringCom.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::vector<uint16_t> units(QxBstr b) {
    std::vector<uint16_t> v(b, b + platform::sysStringLen(b));
    platform::sysFreeString(b);
    return v;
}

TEST(XStringComDirect, SameUnitsAsTheUtf16Form) {
    const std::string pieces[] = {
        "a",    "\xEF\xBB\xBF", "\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80",
        "\xC3", "\xE4\xB8",     "\xC0\xAF", "\xED\xA0\x80", "\xFF",
        "\x80", ",\"\n"};
    std::mt19937 rng(7);
    std::vector<std::string> texts = {""};
    for (int n = 1; n <= 40; ++n)
        texts.push_back(std::string(n, 'x'));
    for (const std::string& p : pieces)
        for (int at : {0, 1, 15, 16, 17, 505, 506, 507, 508})
            texts.push_back(std::string(at, 'k') + p + "tail");
    for (int i = 0; i < 3000; ++i) {
        std::string t;
        for (int k = rng() % 12; k > 0; --k)
            t += rng() % 3 ? pieces[rng() % std::size(pieces)]
                           : std::string(1, char(rng() % 255 + 1));
        texts.push_back(t);
    }
    for (const std::string& t : texts) {
        XStringCom direct, general;
        direct.setFromUtf8N(t.data(), static_cast<int>(t.size()));
        general.setFromUtf8N(t.data(), static_cast<int>(t.size()));
        general.getUnicode(); // the UTF-16 form now exists, so getBstr copies it
        const std::vector<uint16_t> want = units(general.getBstr());
        ASSERT_EQ(units(direct.getBstr()), want) << testing::PrintToString(t);
        ASSERT_EQ(units(XStringCom::bstrFromUtf8(t.data(), int(t.size()))), want)
            << testing::PrintToString(t);
    }
}

} // namespace
