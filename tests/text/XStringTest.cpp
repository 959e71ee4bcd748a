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

// Each test sets the ANSI code page it needs; 65001 makes the ANSI form byte-identical to UTF-8,
// which lets the bookkeeping be tested without any table.
class XStringTest : public ::testing::Test {
protected:
    void TearDown() override { platform::setAnsiCodePageOverride(0); }
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

// Steps: s set (A ANSI, 8 UTF-8, U UTF-16, E the empty UTF-8 text), cl clear, g get a form, nc
// count characters, + append a form (0 a null one), x append another XString set in that form
// (xx itself), bw beginsWithUtf8, rc replaceChar, ca getAnsiCharAt, ie isAnsiExact.
const std::pair<const char*, void (*)(XString&)> kSteps[] = {
    {"sA", [](XString& x) { x.setFromAnsi("abc"); }},
    {"s8", [](XString& x) { x.setFromUtf8("abc"); }},
    {"sU", [](XString& x) { x.setFromUnicode(w(u"abc")); }},
    {"sE", [](XString& x) { x.setFromUtf8(""); }},
    {"cl", [](XString& x) { x.clear(); }},
    {"gU", [](XString& x) { x.getUnicode(); }},
    {"g8", [](XString& x) { x.getUtf8(); }},
    {"gA", [](XString& x) { x.getAnsi(); }},
    {"nc", [](XString& x) { x.getNumChars(); }},
    {"+8", [](XString& x) { x.appendUtf8("d"); }},
    {"+U", [](XString& x) { x.appendUnicode(w(u"d")); }},
    {"+A", [](XString& x) { x.appendAnsi("d"); }},
    {"+0", [](XString& x) { x.appendUnicode(nullptr); }},
    {"x8", [](XString& x) { appendXOf(x, [](XString& o) { o.setFromUtf8("d"); }); }},
    {"xU", [](XString& x) { appendXOf(x, [](XString& o) { o.setFromUnicode(w(u"d")); }); }},
    {"xA", [](XString& x) { appendXOf(x, [](XString& o) { o.setFromAnsi("d"); }); }},
    {"xx", [](XString& x) { x.appendX(x); }},
    {"bw", [](XString& x) { x.beginsWithUtf8("a"); }},
    {"rc", [](XString& x) { x.replaceChar('b', 'B'); }},
    {"ca", [](XString& x) { x.getAnsiCharAt(1); }},
    {"ie", [](XString& x) { x.isAnsiExact(); }},
};

// After a series of operations ("steps > forms text;"): which forms are current, the exactness,
// and the text.
TEST_F(XStringTest, FormsAfterEachOperation) {
    std::istringstream cases(
        "> UA8/0; ie > UA8/1; sA > -A-/1 abc; s8 > --8/0 abc; sU > U--/0 abc; sU sE > UA8/0; "
        "sA cl > UA8/0; s8 gU > U-8/0 abc; sU g8 > U-8/0 abc; s8 gA > -A8/1 abc; "
        "sU gA > UA-/1 abc; sA g8 > -A8/1 abc; s8 nc > U-8/0 abc; sA nc > -A-/1 abc; "
        "sU +8 > --8/0 abcd; s8 gA +U > U--/0 abcd; s8 +A > -A-/1 abcd; sU +0 > U--/0 abc; "
        "s8 gU gA x8 > --8/0 abcd; s8 gU gA xU > U--/0 abcd; s8 gU gA xA > -A-/1 abcd; "
        "s8 xx xx > --8/0 abcabcabcabc; sU g8 xx > --8/0 abcabc; sU bw > U-8/0 abc; "
        "s8 gA rc > U--/0 aBc; s8 ca > -A8/1 abc; s8 ie > -A8/1 abc; sU ie > UA-/1 abc; "
        "+U > U--/0 d; sA ie > -A-/1 abc;");
    platform::setAnsiCodePageOverride(65001);
    for (Str row; std::getline(cases, row, ';');) {
        XString x;
        std::istringstream in(row);
        Str word, forms, text;
        while (in >> word && word != ">")
            std::find_if(std::begin(kSteps), std::end(kSteps), [&](auto& k) {
                return word == k.first;
            })->second(x);
        in >> forms >> text;
        EXPECT_EQ(formsOf(x), forms) << row;
        EXPECT_EQ(units(x.getUnicode()), U16(text.begin(), text.end())) << row;
        EXPECT_EQ(Str(x.getUtf8()) + "|" + x.getAnsi(), text + "|" + text) << row;
        EXPECT_EQ(x.getNumChars(), static_cast<int>(text.size())) << row;
    }
    XString x; // a current ANSI form counts bytes: two characters are 4 bytes here
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

TEST_F(XStringTest, ConversionSourceOrder) {
    // The form asked for ('U' UTF-16, 'A' ANSI, '8' UTF-8), the current forms, the source read.
    const std::tuple<char, const char*, const char*> cases[] = {
        {'U', "-A8/1", "from-utf8"},  {'U', "-A-/1", "from-ansi"}, {'A', "U-8/0", "from-utf8"},
        {'A', "U--/0", "from-utf16"}, {'8', "UA-/1", "from-ansi"}, {'8', "U--/0", "from-utf16"},
        {'8', "UA-/2", "from-utf16"}, // a lossy ANSI form is not the text while UTF-16 still is
        {'8', "-A-/2", "from-ansi"},  {'U', "---/2", ""},          {'A', "---/2", ""},
        {'8', "---/2", ""}, // no form current: cleared to the empty text
    };
    platform::setAnsiCodePageOverride(65001);
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

TEST_F(XStringTest, Ansi1252ExactAndLossyForms) {
    // The text, its ANSI form (without what 1252 cannot hold), whether that is exact.
    const std::tuple<Str, Str, bool> cases[] = {{"caf\xC3\xA9", "caf\xE9", true},
                                                {"\xE2\x82\xAC", "\x80", true},
                                                {"\xE2\x80\x9Cx\xE2\x80\x9D", "\x93x\x94", true},
                                                {"a\xE4\xB8\xADz", "az", false},
                                                {"\xC4\x80", "", false},
                                                {"x\xED\xA0\xBD\xED\xB8\x80", "x", false}};
    platform::setAnsiCodePageOverride(1252);
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

TEST_F(XStringTest, ReplaceChar) {
    // ANSI code page, text, the two ANSI bytes, the text afterwards.
    const std::tuple<int, Str, char, char, Str> cases[] = {
        {65001, "abc", 0, 'x', "abc"},
        {65001, "abc", 'a', 0, "abc"},
        {65001, "\xE4\xB8\xAD/\xC3\xA9", '/', '-', "\xE4\xB8\xAD-\xC3\xA9"},
        {1252, "5\xE2\x82\xAC", '\x80', 'E', "5E"}, // the ANSI bytes are converted first
        {1252, "a-z", '-', '\xE9', "a\xC3\xA9z"},
    };
    for (const auto& [codePage, utf8, from, to, expected] : cases) {
        platform::setAnsiCodePageOverride(codePage);
        XString x;
        x.setFromUtf8(utf8.c_str());
        x.replaceChar(from, to);
        EXPECT_EQ(Str(x.getUtf8()), expected) << utf8;
    }
}

// No string and an empty one both give the empty text; units are copied by the length, not up to
// a zero unit, and only the UTF-16 form is current.
TEST(XStringComBstr, EmptyNullAndEmbeddedZeros) {
    XStringCom x;
    QxBstr empty = x.getBstr();
    ASSERT_TRUE(empty && platform::sysStringLen(empty) == 0 && empty[0] == 0);
    for (QxBstr b : {static_cast<QxBstr>(nullptr), empty}) {
        x.setFromUtf8("old");
        x.setFromBstr(b);
        EXPECT_EQ(formsOf(x) + x.getUtf8(), "UA8/0");
    }
    platform::sysFreeString(empty);
    QxBstr b = platform::sysAllocStringLen(w(u"a\0\u00E9c"), 3);
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
