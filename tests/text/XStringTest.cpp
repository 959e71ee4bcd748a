#include "text/XString.h"
#include "text/XStringCom.h"

#include "platform/Bstr.h"
#include "platform/Platform.h"
#include "platform/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

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

using testfs::unescape;

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

// Steps: s set (A ANSI, 8 UTF-8, U UTF-16, E the empty UTF-8 text, T Z N UTF-8 taken over from a
// buffer), cl clear, g get a form, nc
// count characters, + append a form (0 a null one), x append another XString set in that form
// (xx itself), bw beginsWithUtf8, rc replaceChar, ca getAnsiCharAt, ie isAnsiExact.
const std::pair<const char*, void (*)(XString&)> kSteps[] = {
    {"sA", [](XString& x) { x.setFromAnsi("abc"); }},
    {"s8", [](XString& x) { x.setFromUtf8("abc"); }},
    {"sU", [](XString& x) { x.setFromUnicode(w(u"abc")); }},
    {"sE", [](XString& x) { x.setFromUtf8(""); }},
    // Taken over from a StringBuffer: a text, one with a NUL (the text up to it), an empty one.
    {"sT",
     [](XString& x) {
         StringBuffer t("abc");
         x.setFromUtf8Taking(t);
     }},
    {"sZ",
     [](XString& x) {
         StringBuffer t;
         t.appendN("abc\0de", 6);
         x.setFromUtf8Taking(t);
     }},
    {"sN",
     [](XString& x) {
         StringBuffer t;
         x.setFromUtf8Taking(t);
     }},
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

// After a series of operations: which forms are current, the exactness, and the text.
TEST_F(XStringTest, FormsAfterEachOperation) {
    platform::setAnsiCodePageOverride(65001);
    for (const auto& c : testfs::caseRows("text/data/xstring-forms.txt")) {
        ASSERT_EQ(c.size(), 3u) << c[0];
        const Str text = unescape(c[2]);
        XString x;
        std::istringstream steps(unescape(c[0]));
        for (Str word; steps >> word;)
            std::find_if(std::begin(kSteps), std::end(kSteps), [&](auto& k) {
                return word == k.first;
            })->second(x);
        EXPECT_EQ(formsOf(x), c[1]) << c[0];
        EXPECT_EQ(units(x.getUnicode()), U16(text.begin(), text.end())) << c[0];
        EXPECT_EQ(Str(x.getUtf8()) + "|" + x.getAnsi(), text + "|" + text) << c[0];
        EXPECT_EQ(x.getNumChars(), static_cast<int>(text.size())) << c[0];
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
    platform::setAnsiCodePageOverride(65001);
    for (const auto& c : testfs::caseRows("text/data/xstring-source.txt")) {
        ASSERT_EQ(c.size(), 3u) << c[0];
        const char target = c[0][0];
        const Str &forms = c[1], expected = unescape(c[2]);
        FormProbe x(forms);
        const U16 u = target == 'U' ? units(x.getUnicode()) : U16();
        const Str got = target == 'U'   ? Str(u.begin(), u.end())
                        : target == 'A' ? x.getAnsi()
                                        : x.getUtf8();
        EXPECT_EQ(got, expected) << target << " from " << forms;
        const Str after = formsOf(x);
        EXPECT_EQ(after[Str("UA8").find(target)], target) << target << " from " << forms;
        EXPECT_TRUE(!expected.empty() || after == "UA8/0") << target << " from " << forms;
    }
}

TEST_F(XStringTest, Ansi1252ExactAndLossyForms) {
    platform::setAnsiCodePageOverride(1252);
    for (const auto& c : testfs::caseRows("text/data/xstring-ansi.txt")) {
        ASSERT_EQ(c.size(), 3u) << c[0];
        const Str utf8 = unescape(c[0]), ansi = unescape(c[1]);
        const bool exact = c[2] == "1";
        XString fromUtf8, fromUnicode, probe, back;
        fromUtf8.setFromUtf8(utf8.c_str());
        fromUnicode.setFromUnicode(w(units(fromUtf8.getUnicode()).c_str()));
        probe.setFromUtf8(utf8.c_str());
        EXPECT_TRUE(probe.isAnsiExact() == exact && probe.isAnsiCurrent() == exact) << utf8;
        for (XString* x : {&fromUtf8, &fromUnicode}) { // a lossy form is still handed out
            const Str got = x->getAnsi();
            EXPECT_EQ(got + formsOf(*x)[1] + formsOf(*x).back(), ansi + (exact ? "A1" : "A2"));
        }
        back.setFromAnsi(ansi.c_str());
        EXPECT_TRUE(!exact || back.getUtf8() == utf8) << utf8;
    }
}

// No string and an empty one both give the empty text; units are copied by the length, not up to
// a zero unit, and only the UTF-16 form is current.
TEST(XStringComBstr, EmptyNullAndEmbeddedZeros) {
    XStringCom x;
    QxBstr empty = x.getBstr(), b = platform::sysAllocStringLen(w(u"a\0\u00E9c"), 3);
    ASSERT_TRUE(empty && platform::sysStringLen(empty) == 0 && empty[0] == 0);
    for (QxBstr in : {static_cast<QxBstr>(nullptr), empty}) {
        x.setFromUtf8("old");
        x.setFromBstr(in);
        EXPECT_EQ(formsOf(x) + x.getUtf8(), "UA8/0");
    }
    x.setFromBstr(b);
    EXPECT_EQ(formsOf(x) + std::to_string(x.getNumChars()), "U--/03");
    EXPECT_EQ(Str(x.getUtf8()), "a\xC3\xA9"); // the zero unit is dropped on the way to UTF-8
    QxBstr back = x.getBstr();
    ASSERT_EQ(platform::sysStringLen(back), 3u);
    EXPECT_EQ(U16(reinterpret_cast<const char16_t*>(back), 4), U16(u"a\0\u00E9\0", 4));
    for (QxBstr q : {empty, b, back})
        platform::sysFreeString(q);
}

} // namespace
