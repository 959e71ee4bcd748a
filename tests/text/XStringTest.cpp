#include "text/XString.h"
#include "text/XStringCom.h"

#include "platform/Bstr.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <ostream>
#include <sstream>
#include <string>

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

struct Forms {
    bool unicode, ansi, utf8;
    int exactness;
};
void expectForms(const XString& x, Forms f) {
    EXPECT_EQ(x.isUnicodeCurrent(), f.unicode);
    EXPECT_EQ(x.isAnsiCurrent(), f.ansi);
    EXPECT_EQ(x.isUtf8Current(), f.utf8);
    EXPECT_EQ(x.getExactness(), f.exactness);
}

// ---- which forms are current ----------------------------------------------------------------

// Each case is a list of steps, one word each, run in order on a new string.
struct FormCase {
    const char* name;
    const char* steps;
    Forms forms;
};
void PrintTo(const FormCase& c, std::ostream* os) {
    *os << c.name;
}

struct Step {
    const char* word;
    void (*run)(XString&);
};
const Step kSteps[] = {
    {"setAnsi", [](XString& x) { x.setFromAnsi("abc"); }},
    {"setUtf8", [](XString& x) { x.setFromUtf8("abc"); }},
    {"setUnicode", [](XString& x) { x.setFromUnicode(w(u"abc")); }},
    {"setEmptyUtf8", [](XString& x) { x.setFromUtf8(""); }},
    {"setNullAnsi", [](XString& x) { x.setFromAnsi(nullptr); }},
    {"setEmptyUnicode", [](XString& x) { x.setFromUnicode(w(u"")); }},
    {"clear", [](XString& x) { x.clear(); }},
    {"getUnicode", [](XString& x) { x.getUnicode(); }},
    {"getUtf8", [](XString& x) { x.getUtf8(); }},
    {"getAnsi", [](XString& x) { x.getAnsi(); }},
    {"numChars", [](XString& x) { x.getNumChars(); }},
    {"appendUtf8", [](XString& x) { x.appendUtf8("d"); }},
    {"appendUnicode", [](XString& x) { x.appendUnicode(w(u"d")); }},
    {"appendAnsi", [](XString& x) { x.appendAnsi("d"); }},
    {"beginsWith", [](XString& x) { x.beginsWithUtf8("a"); }},
    {"replaceChar", [](XString& x) { x.replaceChar('b', 'B'); }},
    {"charAt1", [](XString& x) { x.getAnsiCharAt(1); }},
    {"charAtNegative", [](XString& x) { x.getAnsiCharAt(-1); }},
    {"isAnsiExact", [](XString& x) { x.isAnsiExact(); }},
};

void runStep(XString& x, const Str& word) {
    for (const Step& s : kSteps) {
        if (word == s.word) {
            s.run(x);
            return;
        }
    }
    ADD_FAILURE() << "unknown step " << word;
}

class XStringFormState : public ::testing::TestWithParam<FormCase> {};

TEST_P(XStringFormState, AfterSteps) {
    AnsiCodePage cp(65001);
    XString x;
    std::istringstream steps(GetParam().steps);
    for (Str step; steps >> step;)
        runStep(x, step);
    expectForms(x, GetParam().forms);
}

// Forms are {UTF-16 current, ANSI current, UTF-8 current, exactness}.
const FormCase kFormCases[] = {
    {"New", "", {true, true, true, 0}},
    {"SetAnsi", "setAnsi", {false, true, false, 1}},
    {"SetUtf8", "setUtf8", {false, false, true, 0}},
    {"SetUnicode", "setUnicode", {true, false, false, 0}},
    {"SetEmptyUtf8", "setUnicode setEmptyUtf8", {true, true, true, 0}},
    {"SetNullAnsi", "setUtf8 setNullAnsi", {true, true, true, 0}},
    {"SetEmptyUnicode", "setAnsi setEmptyUnicode", {true, true, true, 0}},
    {"ClearAfterAnsi", "setAnsi clear", {true, true, true, 0}},
    {"Utf8ThenGetUnicode", "setUtf8 getUnicode", {true, false, true, 0}},
    {"UnicodeThenGetUtf8", "setUnicode getUtf8", {true, false, true, 0}},
    {"Utf8ThenGetAnsi", "setUtf8 getAnsi", {false, true, true, 1}},
    {"UnicodeThenGetAnsi", "setUnicode getAnsi", {true, true, false, 1}},
    {"AnsiThenGetUtf8KeepsExactness", "setAnsi getUtf8", {false, true, true, 1}},
    {"AllThreeProduced", "setUnicode getUtf8 getAnsi", {true, true, true, 1}},
    {"NumCharsOfUtf8ProducesUnicode", "setUtf8 numChars", {true, false, true, 0}},
    {"NumCharsOfAnsiConvertsNothing", "setAnsi numChars", {false, true, false, 1}},
    {"AppendUtf8LeavesOnlyUtf8", "setUnicode appendUtf8", {false, false, true, 0}},
    {"AppendUnicodeLeavesOnlyUnicode", "setUtf8 getAnsi appendUnicode", {true, false, false, 0}},
    {"AppendAnsiLeavesOnlyAnsi", "setUtf8 appendAnsi", {false, true, false, 1}},
    {"AppendToNew", "appendUnicode", {true, false, false, 0}},
    {"BeginsWithProducesUtf8", "setUnicode beginsWith", {true, false, true, 0}},
    {"ReplaceCharLeavesOnlyUnicode", "setUtf8 getAnsi replaceChar", {true, false, false, 0}},
    {"AnsiCharAtOfExactText", "setUtf8 charAt1", {false, true, true, 1}},
    {"AnsiCharAtNegativeConvertsNothing", "setUtf8 charAtNegative", {false, false, true, 0}},
    {"IsAnsiExactOfUtf8", "setUtf8 isAnsiExact", {false, true, true, 1}},
    {"IsAnsiExactOfUnicode", "setUnicode isAnsiExact", {true, true, false, 1}},
    {"IsAnsiExactOfAnsiOnly", "setAnsi isAnsiExact", {false, true, false, 1}},
};

INSTANTIATE_TEST_SUITE_P(XString, XStringFormState, ::testing::ValuesIn(kFormCases),
                         [](const auto& info) { return Str(info.param.name); });

// ---- the fixed order in which a missing form is produced ------------------------------------

// Puts a different text into each form, so that the result shows which one a getter read.
class FormProbe : public XString {
public:
    void load(Forms f) {
        utf8_.setString("from-utf8");
        ansi_.setString("from-ansi");
        unicode_.clear();
        unicode_.appendStrW(w(u"from-utf16"));
        unicodeCurrent_ = f.unicode;
        ansiCurrent_ = f.ansi;
        utf8Current_ = f.utf8;
        exactness_ = f.exactness;
    }
};

enum class Target { kUnicode, kAnsi, kUtf8 };

struct OrderCase {
    const char* name;
    Target target;
    Forms current;
    const char* expected;
};
void PrintTo(const OrderCase& c, std::ostream* os) {
    *os << c.name;
}

class XStringConversionOrder : public ::testing::TestWithParam<OrderCase> {};

TEST_P(XStringConversionOrder, ReadsFromExpectedForm) {
    AnsiCodePage cp(65001);
    const OrderCase& c = GetParam();
    FormProbe x;
    x.load(c.current);
    Str got;
    switch (c.target) {
    case Target::kUnicode: {
        U16 u = units(x.getUnicode());
        got.assign(u.begin(), u.end());
        EXPECT_TRUE(x.isUnicodeCurrent());
        break;
    }
    case Target::kAnsi:
        got = x.getAnsi();
        EXPECT_TRUE(x.isAnsiCurrent());
        break;
    case Target::kUtf8:
        got = x.getUtf8();
        EXPECT_TRUE(x.isUtf8Current());
        break;
    }
    EXPECT_EQ(got, c.expected);
}

const OrderCase kOrderCases[] = {
    {"UnicodePrefersUtf8", Target::kUnicode, {false, true, true, 1}, "from-utf8"},
    {"UnicodeFallsBackToAnsi", Target::kUnicode, {false, true, false, 1}, "from-ansi"},
    {"AnsiPrefersUtf8", Target::kAnsi, {true, false, true, 0}, "from-utf8"},
    {"AnsiFallsBackToUnicode", Target::kAnsi, {true, false, false, 0}, "from-utf16"},
    {"Utf8PrefersAnsi", Target::kUtf8, {true, true, false, 1}, "from-ansi"},
    {"Utf8FallsBackToUnicode", Target::kUtf8, {true, false, false, 0}, "from-utf16"},
    // A lossy ANSI form is not the text while the UTF-16 form still is.
    {"Utf8SkipsLossyAnsi", Target::kUtf8, {true, true, false, 2}, "from-utf16"},
    {"Utf8UsesLossyAnsiWhenAlone", Target::kUtf8, {false, true, false, 2}, "from-ansi"},
    {"UnicodeWithNoFormIsEmpty", Target::kUnicode, {false, false, false, 0}, ""},
    {"AnsiWithNoFormIsEmpty", Target::kAnsi, {false, false, false, 0}, ""},
    {"Utf8WithNoFormIsEmpty", Target::kUtf8, {false, false, false, 0}, ""},
};

INSTANTIATE_TEST_SUITE_P(XString, XStringConversionOrder, ::testing::ValuesIn(kOrderCases),
                         [](const auto& info) { return Str(info.param.name); });

TEST(XStringConversionOrder, NoCurrentFormClearsToAllForms) {
    FormProbe x;
    x.load({false, false, false, 2});
    EXPECT_STREQ(x.getUtf8(), "");
    expectForms(x, {true, true, true, 0});
}

// ---- UTF-8 and UTF-16 (no code-page table involved) -----------------------------------------

struct UtfCase {
    const char* name;
    Str utf8;
    U16 utf16;
};
void PrintTo(const UtfCase& c, std::ostream* os) {
    *os << c.name;
}

class XStringUtf : public ::testing::TestWithParam<UtfCase> {};

TEST_P(XStringUtf, Utf8ToUnicode) {
    XString x;
    x.setFromUtf8(GetParam().utf8.c_str());
    EXPECT_EQ(units(x.getUnicode()), GetParam().utf16);
    EXPECT_EQ(x.getNumChars(), static_cast<int>(GetParam().utf16.size()));
}

TEST_P(XStringUtf, UnicodeToUtf8) {
    XString x;
    x.setFromUnicode(w(GetParam().utf16.c_str()));
    EXPECT_EQ(Str(x.getUtf8()), GetParam().utf8);
    EXPECT_EQ(x.getUtf8Sb().getSize(), static_cast<int>(GetParam().utf8.size()));
}

TEST_P(XStringUtf, BstrRoundTrip) {
    XStringCom x;
    x.setFromUtf8(GetParam().utf8.c_str());
    QxBstr b = x.getBstr();
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(platform::sysStringLen(b), GetParam().utf16.size());
    EXPECT_EQ(units(reinterpret_cast<const uint16_t*>(b)), GetParam().utf16);
    XStringCom y;
    y.setFromBstr(b);
    EXPECT_EQ(Str(y.getUtf8()), GetParam().utf8);
    platform::sysFreeString(b);
}

const UtfCase kUtfCases[] = {
    {"Empty", "", u""},
    {"Ascii", "abc", u"abc"},
    {"TwoByteSequences", "\xC3\xA9\xC3\xB6\xC3\xBC", u"\u00E9\u00F6\u00FC"},
    {"ThreeByteSequence", "\xE2\x82\xAC", u"\u20AC"},
    // The UTF-8 coder works unit by unit: a surrogate pair is two three-byte sequences.
    {"SurrogatePairAsTwoSequences", "\xED\xA0\xB4\xED\xB4\x9E", u"\U0001D11E"},
    {"Mixed", "a\xC3\xA9\xE4\xB8\xAD\xED\xA0\xBD\xED\xB8\x80z", u"a\u00E9\u4E2D\U0001F600z"},
    {"ControlsKept", "\t\r\n\x01", u"\t\r\n\x01"},
};

INSTANTIATE_TEST_SUITE_P(XString, XStringUtf, ::testing::ValuesIn(kUtfCases),
                         [](const auto& info) { return Str(info.param.name); });

// Conversions that lose something, so that only one direction can be checked.
struct OneWayCase {
    const char* name;
    bool fromUtf8; // true: utf8 is the input and utf16 the result; false: the other way round
    Str utf8;
    U16 utf16;
};
void PrintTo(const OneWayCase& c, std::ostream* os) {
    *os << c.name;
}

class XStringUtfOneWay : public ::testing::TestWithParam<OneWayCase> {};

TEST_P(XStringUtfOneWay, Converts) {
    const OneWayCase& c = GetParam();
    XString x;
    if (c.fromUtf8) {
        x.setFromUtf8(c.utf8.c_str());
        EXPECT_EQ(units(x.getUnicode()), c.utf16);
    } else {
        x.setFromUnicode(w(c.utf16.c_str()));
        EXPECT_EQ(Str(x.getUtf8()), c.utf8);
    }
}

const OneWayCase kOneWayCases[] = {
    {"FourByteFormDropped", true, "a\xF0\x9F\x98\x80z", u"az"},
    {"InvalidBytesDropped", true,
     "a\xC0\x80"
     "b\xFF",
     u"ab"},
    {"TruncatedSequenceDropped", true, "a\xE2\x82", u"a"},
    {"LoneSurrogateEncoded", false, "x\xED\xA0\xB4", u"x\xD834"},
};

INSTANTIATE_TEST_SUITE_P(XString, XStringUtfOneWay, ::testing::ValuesIn(kOneWayCases),
                         [](const auto& info) { return Str(info.param.name); });

TEST(XStringEmpty, EveryFormIsEmpty) {
    XString x;
    x.setFromUtf8("");
    EXPECT_STREQ(x.getAnsi(), "");
    EXPECT_STREQ(x.getUtf8(), "");
    ASSERT_NE(x.getUnicode(), nullptr);
    EXPECT_EQ(x.getUnicode()[0], 0);
    EXPECT_EQ(x.getNumChars(), 0);
}

TEST(XStringEmpty, NewStringNeverReturnsNull) {
    XString x;
    ASSERT_NE(x.getUnicode(), nullptr);
    EXPECT_EQ(x.getUnicode()[0], 0);
    EXPECT_NE(x.getAnsi(), nullptr);
    EXPECT_NE(x.getUtf8(), nullptr);
}

struct NumCharsCase {
    const char* name;
    std::function<void(XString&)> set;
    int expected;
};
void PrintTo(const NumCharsCase& c, std::ostream* os) {
    *os << c.name;
}

class XStringNumChars : public ::testing::TestWithParam<NumCharsCase> {};

TEST_P(XStringNumChars, Counts) {
    AnsiCodePage cp(65001);
    XString x;
    GetParam().set(x);
    EXPECT_EQ(x.getNumChars(), GetParam().expected);
}

const NumCharsCase kNumCharsCases[] = {
    {"AnsiBytes", [](XString& x) { x.setFromAnsi("abc"); }, 3},
    // With UTF-8 as the ANSI code page, a current ANSI form counts its bytes, not characters.
    {"AnsiCountsBytes", [](XString& x) { x.setFromAnsi("\xC3\xA9\xC3\xA9"); }, 4},
    {"Utf8CountsUnits", [](XString& x) { x.setFromUtf8("\xC3\xA9\xC3\xB6\xC3\xBC"); }, 3},
    {"SurrogatePairIsTwoUnits", [](XString& x) { x.setFromUtf8("\xED\xA0\xB4\xED\xB4\x9E"); }, 2},
    {"Unicode", [](XString& x) { x.setFromUnicode(w(u"ab")); }, 2},
    {"Empty", [](XString& x) { x.setFromUnicode(nullptr); }, 0},
};

INSTANTIATE_TEST_SUITE_P(XString, XStringNumChars, ::testing::ValuesIn(kNumCharsCases),
                         [](const auto& info) { return Str(info.param.name); });

// ---- ANSI forms in windows-1252 -------------------------------------------------------------

struct AnsiCase {
    const char* name;
    Str utf8;
    Str ansi; // the ANSI form, without what 1252 cannot hold
    bool exact;
};
void PrintTo(const AnsiCase& c, std::ostream* os) {
    *os << c.name;
}

class XStringAnsi1252 : public ::testing::TestWithParam<AnsiCase> {};

TEST_P(XStringAnsi1252, FromUtf8) {
    AnsiCodePage cp(1252);
    XString x;
    x.setFromUtf8(GetParam().utf8.c_str());
    EXPECT_EQ(Str(x.getAnsi()), GetParam().ansi);
    EXPECT_EQ(x.getExactness(), GetParam().exact ? 1 : 2);
    EXPECT_TRUE(x.isAnsiCurrent()); // a lossy form is still handed out by getAnsi
}

TEST_P(XStringAnsi1252, FromUnicode) {
    AnsiCodePage cp(1252);
    XString x;
    x.setFromUtf8(GetParam().utf8.c_str());
    U16 text = units(x.getUnicode());
    XString y;
    y.setFromUnicode(w(text.c_str()));
    EXPECT_EQ(Str(y.getAnsi()), GetParam().ansi);
    EXPECT_EQ(y.getExactness(), GetParam().exact ? 1 : 2);
}

TEST_P(XStringAnsi1252, IsAnsiExact) {
    AnsiCodePage cp(1252);
    XString x;
    x.setFromUtf8(GetParam().utf8.c_str());
    EXPECT_EQ(x.isAnsiExact(), GetParam().exact);
    EXPECT_EQ(x.isAnsiCurrent(), GetParam().exact);
    if (GetParam().exact) {
        EXPECT_EQ(Str(x.getAnsi()), GetParam().ansi);
    }
}

// Whatever the ANSI form holds converts back and forth without loss; when nothing was dropped
// it is the original text.
TEST_P(XStringAnsi1252, BackFromAnsi) {
    AnsiCodePage cp(1252);
    XString x;
    x.setFromAnsi(GetParam().ansi.c_str());
    Str utf8 = x.getUtf8();
    if (GetParam().exact) {
        EXPECT_EQ(utf8, GetParam().utf8);
    }
    XString y;
    y.setFromAnsi(GetParam().ansi.c_str());
    XString z;
    z.setFromUtf8(utf8.c_str());
    EXPECT_EQ(units(y.getUnicode()), units(z.getUnicode()));
    EXPECT_EQ(Str(z.getAnsi()), GetParam().ansi);
    EXPECT_TRUE(z.isAnsiExact());
}

const AnsiCase kAnsiCases[] = {
    {"Ascii", "abc", "abc", true},
    {"Latin1Letter", "caf\xC3\xA9", "caf\xE9", true},
    {"EuroSign", "\xE2\x82\xAC", "\x80", true},
    {"CurlyQuotes", "\xE2\x80\x9Cx\xE2\x80\x9D", "\x93x\x94", true},
    {"CjkDropped",
     "a\xE4\xB8\xAD"
     "b",
     "ab", false},
    {"OnlyUnmappable", "\xC4\x80", "", false},
    {"SurrogatePairDropped", "x\xED\xA0\xBD\xED\xB8\x80", "x", false},
};

INSTANTIATE_TEST_SUITE_P(XString, XStringAnsi1252, ::testing::ValuesIn(kAnsiCases),
                         [](const auto& info) { return Str(info.param.name); });

TEST(XStringAnsiExactness, SecondAnswerIsCached) {
    AnsiCodePage cp(1252);
    XString x;
    x.setFromUtf8("a\xE4\xB8\xAD"
                  "b");
    EXPECT_FALSE(x.isAnsiExact());
    EXPECT_FALSE(x.isAnsiCurrent());
    // Under UTF-8 as ANSI code page the text would convert exactly: a second false answer can
    // only come from the recorded value.
    platform::setAnsiCodePageOverride(65001);
    EXPECT_FALSE(x.isAnsiExact());
    EXPECT_FALSE(x.isAnsiCurrent());
    EXPECT_EQ(x.getExactness(), 2);
}

TEST(XStringAnsiExactness, AnsiOnlyTextIsExact) {
    AnsiCodePage cp(1252);
    XString x;
    x.setFromAnsi("\xE9\x80");
    EXPECT_TRUE(x.isAnsiExact());
    EXPECT_STREQ(x.getAnsi(), "\xE9\x80");
}

TEST(XStringAnsiExactness, EmptyUnicodeIsExact) {
    AnsiCodePage cp(1252);
    XString x;
    EXPECT_TRUE(x.isAnsiExact());
    EXPECT_EQ(x.getExactness(), 1);
}

struct CharAtCase {
    const char* name;
    Str utf8;
    int index;
    char expected;
    bool ansiCurrentAfter;
};
void PrintTo(const CharAtCase& c, std::ostream* os) {
    *os << c.name;
}

class XStringAnsiCharAt : public ::testing::TestWithParam<CharAtCase> {};

TEST_P(XStringAnsiCharAt, Reads) {
    AnsiCodePage cp(1252);
    const CharAtCase& c = GetParam();
    XString x;
    x.setFromUtf8(c.utf8.c_str());
    EXPECT_EQ(x.getAnsiCharAt(c.index), c.expected);
    EXPECT_EQ(x.isAnsiCurrent(), c.ansiCurrentAfter);
    EXPECT_TRUE(x.isUtf8Current());
    EXPECT_EQ(Str(x.getUtf8()), c.utf8); // the text itself is never touched
}

const CharAtCase kCharAtCases[] = {
    {"First", ";a", 0, ';', true},
    {"Converted", "\xC3\xA9", 0, '\xE9', true},
    {"PastEnd", "ab", 2, 0, true},
    {"NegativeConvertsNothing", "ab", -1, 0, false},
    // The lossy form lacks the CJK character; it is read once and dropped.
    {"LossyFormReadThenDropped",
     "\xE4\xB8\xAD"
     "ab",
     0, 'a', false},
    {"LossyPastEnd", "\xE4\xB8\xAD", 0, 0, false},
};

INSTANTIATE_TEST_SUITE_P(XString, XStringAnsiCharAt, ::testing::ValuesIn(kCharAtCases),
                         [](const auto& info) { return Str(info.param.name); });

// ---- appends ----------------------------------------------------------------------------------

TEST(XStringAppend, Utf8ToUnicodeOnlyStringConvertsBackWhole) {
    XString x;
    x.setFromUnicode(w(u"ab"));
    x.appendUtf8("c\xC3\xA9");
    EXPECT_EQ(Str(x.getUtf8()), "abc\xC3\xA9");
    EXPECT_EQ(units(x.getUnicode()), u"abc\u00E9");
}

TEST(XStringAppend, UnicodeToUtf8String) {
    XString x;
    x.setFromUtf8("\xE2\x82\xAC");
    x.appendUnicode(w(u"1\u4E2D"));
    x.appendUnicode(nullptr);
    EXPECT_EQ(units(x.getUnicode()), u"\u20AC1\u4E2D");
    EXPECT_EQ(x.getNumChars(), 3);
    EXPECT_EQ(Str(x.getUtf8()), "\xE2\x82\xAC"
                                "1\xE4\xB8\xAD");
}

TEST(XStringAppend, UnicodeToEmptyString) {
    XString x;
    x.appendUnicode(w(u"xy"));
    x.appendUnicode(w(u"z"));
    EXPECT_EQ(units(x.getUnicode()), u"xyz");
}

TEST(XStringAppend, AnsiToUtf8String) {
    AnsiCodePage cp(1252);
    XString x;
    x.setFromUtf8("caf\xC3\xA9");
    x.appendAnsi(" \x80");
    EXPECT_STREQ(x.getAnsi(), "caf\xE9 \x80");
    EXPECT_EQ(Str(x.getUtf8()), "caf\xC3\xA9 \xE2\x82\xAC");
}

TEST(XStringAppend, NullAppendsNothing) {
    AnsiCodePage cp(65001);
    XString x;
    x.setFromUtf8("a");
    x.appendUtf8(nullptr);
    x.appendAnsi(nullptr);
    EXPECT_EQ(Str(x.getUtf8()), "a");
}

TEST(XStringAppend, ResetsExactnessRecordedBeforeIt) {
    AnsiCodePage cp(1252);
    XString x;
    x.setFromUtf8("a");
    ASSERT_TRUE(x.isAnsiExact());
    x.appendUtf8("\xE4\xB8\xAD");
    EXPECT_FALSE(x.isAnsiExact());

    XString y;
    y.setFromUtf8("a");
    ASSERT_TRUE(y.isAnsiExact());
    y.appendUnicode(w(u"\u4E2D"));
    EXPECT_FALSE(y.isAnsiExact());
}

struct AppendXCase {
    const char* name;
    std::function<void(XString&)> setOther;
    Forms after; // forms of the receiving string
};
void PrintTo(const AppendXCase& c, std::ostream* os) {
    *os << c.name;
}

class XStringAppendX : public ::testing::TestWithParam<AppendXCase> {};

TEST_P(XStringAppendX, TakesOthersCurrentForm) {
    AnsiCodePage cp(65001);
    XString x;
    x.setFromUtf8("\xC3\xA9-");
    x.getUnicode();
    x.getAnsi();
    XString other;
    GetParam().setOther(other);
    x.appendX(other);
    EXPECT_EQ(x.isUnicodeCurrent(), GetParam().after.unicode);
    EXPECT_EQ(x.isAnsiCurrent(), GetParam().after.ansi);
    EXPECT_EQ(x.isUtf8Current(), GetParam().after.utf8);
    EXPECT_EQ(Str(x.getUtf8()), "\xC3\xA9-\xE2\x82\xAC");
}

const AppendXCase kAppendXCases[] = {
    {"Utf8", [](XString& o) { o.setFromUtf8("\xE2\x82\xAC"); }, {false, false, true, 0}},
    {"Unicode", [](XString& o) { o.setFromUnicode(w(u"\u20AC")); }, {true, false, false, 0}},
    {"Ansi", [](XString& o) { o.setFromAnsi("\xE2\x82\xAC"); }, {false, true, false, 1}},
    {"Utf8PreferredOverUnicode",
     [](XString& o) {
         o.setFromUnicode(w(u"\u20AC"));
         o.getUtf8();
     },
     {false, false, true, 0}},
};

INSTANTIATE_TEST_SUITE_P(XString, XStringAppendX, ::testing::ValuesIn(kAppendXCases),
                         [](const auto& info) { return Str(info.param.name); });

TEST(XStringAppendXSelf, DoublesTheText) {
    XString x;
    x.setFromUnicode(w(u"ab\u00E9"));
    x.appendX(x);
    EXPECT_EQ(units(x.getUnicode()), u"ab\u00E9ab\u00E9");
    XString y;
    y.setFromUtf8("xy");
    y.appendX(y);
    y.appendX(y);
    EXPECT_STREQ(y.getUtf8(), "xyxyxyxy");
}

// ---- prefix test and character replacement --------------------------------------------------

struct BeginsCase {
    const char* name;
    U16 text;
    const char* prefix;
    bool expected;
};
void PrintTo(const BeginsCase& c, std::ostream* os) {
    *os << c.name;
}

class XStringBeginsWith : public ::testing::TestWithParam<BeginsCase> {};

TEST_P(XStringBeginsWith, Utf8Prefix) {
    XString x;
    x.setFromUnicode(w(GetParam().text.c_str()));
    EXPECT_EQ(x.beginsWithUtf8(GetParam().prefix), GetParam().expected);
}

const BeginsCase kBeginsCases[] = {
    {"Ascii", u"abc", "ab", true},
    {"Whole", u"abc", "abc", true},
    {"Longer", u"abc", "abcd", false},
    {"EmptyPrefix", u"abc", "", true},
    {"NullPrefix", u"abc", nullptr, false},
    {"Multibyte", u"\u00E9t\u00E9", "\xC3\xA9t", true},
    {"HalfACharacterStillAPrefixOfBytes", u"\u00E9", "\xC3", true},
    {"Different", u"\u00E9", "e", false},
    {"EmptyText", u"", "a", false},
};

INSTANTIATE_TEST_SUITE_P(XString, XStringBeginsWith, ::testing::ValuesIn(kBeginsCases),
                         [](const auto& info) { return Str(info.param.name); });

struct ReplaceCase {
    const char* name;
    int codePage;
    Str utf8;
    char from, to;
    Str expected;
};
void PrintTo(const ReplaceCase& c, std::ostream* os) {
    *os << c.name;
}

class XStringReplaceChar : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(XStringReplaceChar, Replaces) {
    const ReplaceCase& c = GetParam();
    AnsiCodePage cp(c.codePage);
    XString x;
    x.setFromUtf8(c.utf8.c_str());
    x.replaceChar(c.from, c.to);
    EXPECT_TRUE(x.isUnicodeCurrent());
    EXPECT_FALSE(x.isUtf8Current());
    EXPECT_EQ(Str(x.getUtf8()), c.expected);
}

const ReplaceCase kReplaceCases[] = {
    {"Separators", 65001, "c:/a/b", '/', '\\', "c:\\a\\b"},
    {"Absent", 65001, "abc", '/', '\\', "abc"},
    {"ZeroFrom", 65001, "abc", 0, 'x', "abc"},
    {"ZeroTo", 65001, "abc", 'a', 0, "abc"},
    {"LeavesOtherCharacters", 65001, "\xE4\xB8\xAD/\xC3\xA9", '/', '-', "\xE4\xB8\xAD-\xC3\xA9"},
    {"AnsiBytesConvertedFirst", 1252, "5\xE2\x82\xAC", '\x80', 'E', "5E"},
    {"ToAnsiByte", 1252, "a-b", '-', '\xE9',
     "a\xC3\xA9"
     "b"},
};

INSTANTIATE_TEST_SUITE_P(XString, XStringReplaceChar, ::testing::ValuesIn(kReplaceCases),
                         [](const auto& info) { return Str(info.param.name); });

// ---- automation strings ---------------------------------------------------------------------

TEST(XStringComBstr, EmptyTextGivesEmptyNonNullString) {
    XStringCom x;
    QxBstr b = x.getBstr();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(platform::sysStringLen(b), 0u);
    EXPECT_EQ(b[0], 0);
    platform::sysFreeString(b);

    x.setFromUtf8("abc");
    x.setFromUtf8("");
    b = x.getBstr();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(platform::sysStringLen(b), 0u);
    platform::sysFreeString(b);
}

TEST(XStringComBstr, NullOrEmptyBstrGivesEmptyString) {
    XStringCom x;
    x.setFromUtf8("old");
    x.setFromBstr(nullptr);
    EXPECT_STREQ(x.getUtf8(), "");
    expectForms(x, {true, true, true, 0});

    QxBstr empty = platform::sysAllocStringLen(nullptr, 0);
    ASSERT_NE(empty, nullptr);
    x.setFromUtf8("old");
    x.setFromBstr(empty);
    EXPECT_STREQ(x.getUtf8(), "");
    EXPECT_EQ(x.getNumChars(), 0);
    platform::sysFreeString(empty);
}

TEST(XStringComBstr, SetFromBstrKeepsOnlyUnicode) {
    AnsiCodePage cp(65001);
    QxBstr b = platform::sysAllocStringLen(w(u"h\u00E9"), 2);
    ASSERT_NE(b, nullptr);
    XStringCom x;
    x.setFromAnsi("x");
    x.setFromBstr(b);
    expectForms(x, {true, false, false, 0});
    EXPECT_EQ(Str(x.getUtf8()), "h\xC3\xA9");
    platform::sysFreeString(b);
}

TEST(XStringComBstr, CopiesUnitsByLengthNotByTerminator) {
    // The length says 2 units; the zero unit inside is copied, the text behind it is not read.
    QxBstr b = platform::sysAllocStringLen(w(u"a\0bc"), 2);
    ASSERT_NE(b, nullptr);
    XStringCom x;
    x.setFromBstr(b);
    QxBstr back = x.getBstr();
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(platform::sysStringLen(back), 2u);
    EXPECT_EQ(back[0], 'a');
    EXPECT_EQ(back[1], 0);
    EXPECT_EQ(back[2], 0);
    platform::sysFreeString(back);
    platform::sysFreeString(b);
}

struct BstrLayoutCase {
    const char* name;
    U16 text;
    unsigned n;
};
void PrintTo(const BstrLayoutCase& c, std::ostream* os) {
    *os << c.name;
}

class XStringComBstrLayout : public ::testing::TestWithParam<BstrLayoutCase> {};

// The automation string layout: a 4-byte byte count before the first unit, the units, a zero
// unit. Clients rely on it, on Windows and in the Linux stand-in alike.
TEST_P(XStringComBstrLayout, LengthPrefixAndTerminator) {
    const BstrLayoutCase& c = GetParam();
    QxBstr b = platform::sysAllocStringLen(c.text.empty() ? nullptr : w(c.text.c_str()), c.n);
    ASSERT_NE(b, nullptr);
    uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<const unsigned char*>(b) - 4, 4);
    EXPECT_EQ(prefix, c.n * 2);
    EXPECT_EQ(platform::sysStringLen(b), c.n);
    for (unsigned i = 0; i < c.n; ++i)
        EXPECT_EQ(b[i], c.text.empty() ? 0 : c.text[i]) << "unit " << i;
    EXPECT_EQ(b[c.n], 0);
    platform::sysFreeString(b);
}

const BstrLayoutCase kBstrLayoutCases[] = {
    {"Empty", u"", 0},
    {"One", u"x", 1},
    {"Prefix", u"hello", 3},
    {"NonAscii", u"\u00E9\u4E2D\U0001F600", 4},
    {"NullTextGivesZeros", u"", 5},
};

INSTANTIATE_TEST_SUITE_P(XString, XStringComBstrLayout, ::testing::ValuesIn(kBstrLayoutCases),
                         [](const auto& info) { return Str(info.param.name); });

TEST(XStringComBstr, ZeroUnitDroppedOnTheWayToUtf8) {
    QxBstr b = platform::sysAllocStringLen(w(u"a\0b"), 3);
    ASSERT_NE(b, nullptr);
    XStringCom x;
    x.setFromBstr(b);
    EXPECT_EQ(x.getNumChars(), 3);
    EXPECT_EQ(Str(x.getUtf8()), "ab");
    platform::sysFreeString(b);
}

TEST(XStringComBstr, FreeingNullIsHarmless) {
    platform::sysFreeString(nullptr);
    EXPECT_EQ(platform::sysStringLen(nullptr), 0u);
}

} // namespace
