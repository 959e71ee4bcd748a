#include "text/XString.h"
#include "text/XStringCom.h"

#include "platform/Bstr.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>

namespace {

using Str = std::string;
using U16 = std::u16string;

U16 units(const uint16_t* p) {
    U16 out;
    while (p && *p)
        out += static_cast<char16_t>(*p++);
    return out;
}
const uint16_t* w(const char16_t* s) {
    return reinterpret_cast<const uint16_t*>(s);
}

// Runs a test with another ANSI code page and restores the system's afterwards. 65001 makes the
// ANSI form byte-identical to UTF-8, which lets the bookkeeping be tested without any table.
struct AnsiCodePage {
    explicit AnsiCodePage(int cp) { platform::setAnsiCodePageOverride(cp); }
    ~AnsiCodePage() { platform::setAnsiCodePageOverride(0); }
};

// The current forms and the exactness as a short code: "UA8/1" is all three forms current and
// exact, "-A-/2" only a lossy ANSI form.
Str formsOf(const XString& x) {
    return Str(x.isUnicodeCurrent() ? "U" : "-") + (x.isAnsiCurrent() ? "A" : "-") +
           (x.isUtf8Current() ? "8" : "-") + "/" + std::to_string(x.getExactness());
}

void appendXOf(XString& x, void (*set)(XString&)) {
    XString other;
    set(other);
    x.appendX(other);
}

const std::pair<const char*, void (*)(XString&)> kSteps[] = {
    {"setAnsi", [](XString& x) { x.setFromAnsi("abc"); }},
    {"setUtf8", [](XString& x) { x.setFromUtf8("abc"); }},
    {"setUnicode", [](XString& x) { x.setFromUnicode(w(u"abc")); }},
    {"setEmptyUtf8", [](XString& x) { x.setFromUtf8(""); }},
    {"clear", [](XString& x) { x.clear(); }},
    {"getUnicode", [](XString& x) { x.getUnicode(); }},
    {"getUtf8", [](XString& x) { x.getUtf8(); }},
    {"getAnsi", [](XString& x) { x.getAnsi(); }},
    {"numChars", [](XString& x) { x.getNumChars(); }},
    {"appendUtf8", [](XString& x) { x.appendUtf8("d"); }},
    {"appendUnicode", [](XString& x) { x.appendUnicode(w(u"d")); }},
    {"appendAnsi", [](XString& x) { x.appendAnsi("d"); }},
    {"appendNullUnicode", [](XString& x) { x.appendUnicode(nullptr); }},
    {"appendXUtf8", [](XString& x) { appendXOf(x, [](XString& o) { o.setFromUtf8("d"); }); }},
    {"appendXUnicode",
     [](XString& x) { appendXOf(x, [](XString& o) { o.setFromUnicode(w(u"d")); }); }},
    {"appendXAnsi", [](XString& x) { appendXOf(x, [](XString& o) { o.setFromAnsi("d"); }); }},
    {"appendXSelf", [](XString& x) { x.appendX(x); }},
    {"beginsWith", [](XString& x) { x.beginsWithUtf8("a"); }},
    {"replaceChar", [](XString& x) { x.replaceChar('b', 'B'); }},
    {"charAt1", [](XString& x) { x.getAnsiCharAt(1); }},
    {"charAtNegative", [](XString& x) { x.getAnsiCharAt(-1); }},
    {"isAnsiExact", [](XString& x) { x.isAnsiExact(); }},
};

// After a series of operations: which forms are current, the exactness, and the text.
TEST(XStringForms, AfterEachOperation) {
    const std::tuple<const char*, const char*, Str> cases[] = {
        {"", "UA8/0", ""},
        {"isAnsiExact", "UA8/1", ""},
        {"setAnsi", "-A-/1", "abc"},
        {"setUtf8", "--8/0", "abc"},
        {"setUnicode", "U--/0", "abc"},
        {"setUnicode setEmptyUtf8", "UA8/0", ""},
        {"setAnsi clear", "UA8/0", ""},
        {"setUtf8 getUnicode", "U-8/0", "abc"},
        {"setUnicode getUtf8", "U-8/0", "abc"},
        {"setUtf8 getAnsi", "-A8/1", "abc"},
        {"setUnicode getAnsi", "UA-/1", "abc"},
        {"setAnsi getUtf8", "-A8/1", "abc"},
        {"setUtf8 numChars", "U-8/0", "abc"},
        {"setAnsi numChars", "-A-/1", "abc"},
        {"setUnicode appendUtf8", "--8/0", "abcd"},
        {"setUtf8 getAnsi appendUnicode", "U--/0", "abcd"},
        {"setUtf8 appendAnsi", "-A-/1", "abcd"},
        {"appendUnicode", "U--/0", "d"},
        {"setUnicode appendNullUnicode", "U--/0", "abc"},
        {"setUtf8 getUnicode getAnsi appendXUtf8", "--8/0", "abcd"},
        {"setUtf8 getUnicode getAnsi appendXUnicode", "U--/0", "abcd"},
        {"setUtf8 getUnicode getAnsi appendXAnsi", "-A-/1", "abcd"},
        {"setUtf8 appendXSelf appendXSelf", "--8/0", "abcabcabcabc"},
        {"setUnicode getUtf8 appendXSelf", "--8/0", "abcabc"},
        {"setUnicode beginsWith", "U-8/0", "abc"},
        {"setUtf8 getAnsi replaceChar", "U--/0", "aBc"},
        {"setUtf8 charAt1", "-A8/1", "abc"},
        {"setUtf8 charAtNegative", "--8/0", "abc"},
        {"setUtf8 isAnsiExact", "-A8/1", "abc"},
        {"setUnicode isAnsiExact", "UA-/1", "abc"},
        {"setAnsi isAnsiExact", "-A-/1", "abc"},
    };
    AnsiCodePage cp(65001);
    for (const auto& [steps, forms, text] : cases) {
        XString x;
        std::istringstream in(steps);
        for (Str word; in >> word;) {
            auto s = std::find_if(std::begin(kSteps), std::end(kSteps),
                                  [&](const auto& k) { return word == k.first; });
            ASSERT_NE(s, std::end(kSteps)) << word;
            s->second(x);
        }
        EXPECT_EQ(formsOf(x), forms) << steps;
        EXPECT_EQ(units(x.getUnicode()), U16(text.begin(), text.end())) << steps;
        EXPECT_EQ(Str(x.getUtf8()), text) << steps;
        EXPECT_EQ(Str(x.getAnsi()), text) << steps;
        EXPECT_EQ(x.getNumChars(), static_cast<int>(text.size())) << steps;
    }
    // A current ANSI form counts bytes: with UTF-8 as ANSI code page, two characters are 4 bytes.
    XString x;
    x.setFromAnsi("\xC3\xA9\xC3\xA9");
    EXPECT_EQ(x.getNumChars(), 4);
}

// Puts a different text into each form, so that the result shows which one a getter read.
class FormProbe : public XString {
public:
    explicit FormProbe(const Str& forms) {
        utf8_.setString("from-utf8");
        ansi_.setString("from-ansi");
        unicode_.clear();
        unicode_.appendStrW(w(u"from-utf16"));
        unicodeCurrent_ = forms[0] == 'U';
        ansiCurrent_ = forms[1] == 'A';
        utf8Current_ = forms[2] == '8';
        exactness_ = forms[4] - '0';
    }
};

TEST(XStringForms, ConversionSourceOrder) {
    // The form asked for ('U' UTF-16, 'A' ANSI, '8' UTF-8), the current forms, the source read.
    const std::tuple<char, const char*, const char*> cases[] = {
        {'U', "-A8/1", "from-utf8"},  {'U', "-A-/1", "from-ansi"}, {'A', "U-8/0", "from-utf8"},
        {'A', "U--/0", "from-utf16"}, {'8', "UA-/1", "from-ansi"}, {'8', "U--/0", "from-utf16"},
        {'8', "UA-/2", "from-utf16"}, // a lossy ANSI form is not the text while UTF-16 still is
        {'8', "-A-/2", "from-ansi"},  {'U', "---/2", ""},          {'A', "---/2", ""},
        {'8', "---/2", ""}, // no form current: cleared to the empty text
    };
    AnsiCodePage cp(65001);
    for (const auto& [target, forms, expected] : cases) {
        FormProbe x(forms);
        const U16 u = target == 'U' ? units(x.getUnicode()) : U16();
        const Str got = target == 'U'   ? Str(u.begin(), u.end())
                        : target == 'A' ? x.getAnsi()
                                        : x.getUtf8();
        EXPECT_EQ(got, expected) << target << " from " << forms;
        const Str after = formsOf(x);
        EXPECT_EQ(after[Str("UA8").find(target)], target) << target << " from " << forms;
        EXPECT_TRUE(*expected || after == "UA8/0") << target << " from " << forms;
    }
}

TEST(XStringAnsi1252, ExactAndLossyForms) {
    // The text, its ANSI form (without what 1252 cannot hold), whether that is exact.
    const std::tuple<Str, Str, bool> cases[] = {
        {"abc", "abc", true},
        {"caf\xC3\xA9", "caf\xE9", true},
        {"\xE2\x82\xAC", "\x80", true},
        {"\xE2\x80\x9Cx\xE2\x80\x9D", "\x93x\x94", true},
        {"a\xE4\xB8\xADz", "az", false},
        {"\xC4\x80", "", false},
        {"x\xED\xA0\xBD\xED\xB8\x80", "x", false},
    };
    AnsiCodePage cp(1252);
    for (const auto& [utf8, ansi, exact] : cases) {
        XString fromUtf8, fromUnicode, probe, back;
        fromUtf8.setFromUtf8(utf8.c_str());
        fromUnicode.setFromUnicode(w(units(fromUtf8.getUnicode()).c_str()));
        for (XString* x : {&fromUtf8, &fromUnicode}) {
            EXPECT_EQ(Str(x->getAnsi()), ansi) << utf8;
            EXPECT_EQ(x->getExactness(), exact ? 1 : 2) << utf8;
            EXPECT_TRUE(x->isAnsiCurrent()) << utf8; // a lossy form is still handed out
        }
        probe.setFromUtf8(utf8.c_str());
        EXPECT_EQ(probe.isAnsiExact(), exact) << utf8;
        EXPECT_EQ(probe.isAnsiCurrent(), exact) << utf8;
        back.setFromAnsi(ansi.c_str());
        EXPECT_TRUE(!exact || back.getUtf8() == utf8) << utf8;
    }
}

TEST(XStringEdits, ReplaceChar) {
    // ANSI code page, text, the two ANSI bytes, the text afterwards.
    const std::tuple<int, Str, char, char, Str> cases[] = {
        {65001, "abc", 0, 'x', "abc"},
        {65001, "abc", 'a', 0, "abc"},
        {65001, "\xE4\xB8\xAD/\xC3\xA9", '/', '-', "\xE4\xB8\xAD-\xC3\xA9"},
        {1252, "5\xE2\x82\xAC", '\x80', 'E', "5E"}, // the ANSI bytes are converted first
        {1252, "a-z", '-', '\xE9', "a\xC3\xA9z"},
    };
    for (const auto& [codePage, utf8, from, to, expected] : cases) {
        AnsiCodePage cp(codePage);
        XString x;
        x.setFromUtf8(utf8.c_str());
        x.replaceChar(from, to);
        EXPECT_EQ(Str(x.getUtf8()), expected) << utf8;
    }
}

TEST(XStringComBstr, EmptyNullAndEmbeddedZeros) {
    XStringCom x;
    QxBstr b = x.getBstr();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(platform::sysStringLen(b), 0u);
    EXPECT_EQ(b[0], 0);
    platform::sysFreeString(b);
    QxBstr empty = platform::sysAllocStringLen(nullptr, 0);
    for (QxBstr b : {static_cast<QxBstr>(nullptr), empty}) {
        x.setFromUtf8("old");
        x.setFromBstr(b);
        EXPECT_EQ(formsOf(x), "UA8/0");
        EXPECT_STREQ(x.getUtf8(), "");
    }
    platform::sysFreeString(empty);
    // Units are copied by the length, not up to a zero unit; only the UTF-16 form is current.
    b = platform::sysAllocStringLen(w(u"a\0\u00E9c"), 3);
    x.setFromAnsi("x");
    x.setFromBstr(b);
    EXPECT_EQ(formsOf(x), "U--/0");
    EXPECT_EQ(x.getNumChars(), 3);
    EXPECT_EQ(Str(x.getUtf8()), "a\xC3\xA9"); // the zero unit is dropped on the way to UTF-8
    QxBstr back = x.getBstr();
    ASSERT_EQ(platform::sysStringLen(back), 3u);
    EXPECT_EQ(U16(reinterpret_cast<const char16_t*>(back), 4), U16(u"a\0\u00E9\0", 4));
    platform::sysFreeString(back);
    platform::sysFreeString(b);
}

} // namespace
