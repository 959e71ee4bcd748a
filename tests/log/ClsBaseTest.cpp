#include "log/ClsBase.h"

#include "log/LogTestUtil.h"
#include "platform/Platform.h"
#include "platform/TempDir.h"
#include "text/XString.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

using logtest::lines;
using logtest::Str;
using logtest::textOf;

const char* const kHostLabels[] = {"ActiveX", ".NET 1.*", ".NET 2.0", ".NET 2.0 / x64"};

// The value logged under "Component" for a host kind, read back from the report.
Str componentFor(int kind) {
    Logger log;
    ClsBase::logHeaderInfo(kind, log);
    Str text = textOf(log);
    const Str key = "  Component: ";
    size_t at = text.find(key);
    if (at == Str::npos) return "<none>";
    size_t eol = text.find("\r\n", at);
    return text.substr(at + key.size(), eol - at - key.size());
}

// ---- the header of a logged method ------------------------------------------------------------

TEST(ClsBaseHeader, EnterMethodWritesHeaderInOrder) {
    ClsBase obj;
    obj.log().logInfo("from an earlier call");
    obj.enterMethod("LoadFile");
    const Str label = componentFor(ClsBase::hostKind);
    EXPECT_EQ(textOf(obj.log()), lines({
                                     "QuenlixLog:",
                                     "  LoadFile:",
                                     "    DllDate: Mar 10 2009",
                                     "    Username: " + platform::userName(),
                                     "    Component: " + label,
                                 }));
}

TEST(ClsBaseHeader, MethodEntriesGoIntoItsContextAfterTheHeader) {
    ClsBase obj;
    obj.enterMethod("SaveFile");
    obj.log().logData("Filename", "x.csv");
    obj.logSuccess(true);
    obj.log().leaveContext();
    Str text = textOf(obj.log());
    size_t header = text.find("    Component: ");
    size_t own = text.find("    Filename: x.csv\r\n");
    ASSERT_NE(header, Str::npos);
    ASSERT_NE(own, Str::npos);
    EXPECT_LT(header, own);
    EXPECT_EQ(text.substr(text.size() - 14), "    Success.\r\n");
}

TEST(ClsBaseHeader, EmptyMethodContextIsKept) {
    ClsBase obj;
    obj.enterMethod("SaveToString");
    obj.log().leaveContext();
    EXPECT_NE(textOf(obj.log()).find("  SaveToString:\r\n"), Str::npos);
}

TEST(ClsBaseHeader, SecondCallReplacesFirst) {
    ClsBase obj;
    obj.enterMethod("LoadFile");
    obj.log().logError("first");
    obj.logSuccess(false);
    obj.log().leaveContext();
    obj.enterMethod("SaveFile");
    obj.logSuccess(true);
    obj.log().leaveContext();
    Str text = textOf(obj.log());
    EXPECT_EQ(text.find("LoadFile"), Str::npos);
    EXPECT_EQ(text.find("first"), Str::npos);
    const Str head = "QuenlixLog:\r\n  SaveFile:\r\n";
    EXPECT_EQ(text.compare(0, head.size(), head), 0) << text;
}

struct SuccessCase {
    const char* name;
    bool ok;
    const char* xml;
};
void PrintTo(const SuccessCase& c, std::ostream* os) {
    *os << c.name;
}

class ClsBaseSuccess : public ::testing::TestWithParam<SuccessCase> {};

TEST_P(ClsBaseSuccess, FinalEntry) {
    ClsBase obj;
    obj.log().enterContext("M");
    obj.logSuccess(GetParam().ok);
    obj.log().leaveContext();
    EXPECT_EQ(logtest::xmlOf(obj.log()),
              lines({"<QuenlixLog>", "<M>", GetParam().xml, "</M>", "</QuenlixLog>"}));
}

const SuccessCase kSuccessCases[] = {
    {"Success", true, "<info>Success.</info>"},
    {"Failure", false, "<error>Failed.</error>"},
};

INSTANTIATE_TEST_SUITE_P(ClsBase, ClsBaseSuccess, ::testing::ValuesIn(kSuccessCases),
                         [](const auto& info) { return Str(info.param.name); });

// ---- the "Component" label --------------------------------------------------------------------

struct LabelCase {
    const char* name;
    int hostKind;
    const char* label; // null: the build-environment label
};
void PrintTo(const LabelCase& c, std::ostream* os) {
    *os << c.name;
}

class ClsBaseComponentLabel : public ::testing::TestWithParam<LabelCase> {};

TEST_P(ClsBaseComponentLabel, ByHostKind) {
    const LabelCase& c = GetParam();
    Str got = componentFor(c.hostKind);
    if (c.label) {
        EXPECT_EQ(got, c.label);
        return;
    }
    // The build label: a short fixed text, compiler then target, and none of the host labels.
    EXPECT_EQ(got, componentFor(0));
    EXPECT_NE(got.find(" / "), Str::npos) << got;
    EXPECT_LT(got.size(), 60u);
    for (const char* host : kHostLabels)
        EXPECT_NE(got, host);
#if defined(__GNUC__) && !defined(__clang__)
    EXPECT_EQ(
        got.compare(0, 4 + std::to_string(__GNUC__).size(), "GCC " + std::to_string(__GNUC__)), 0)
        << got;
#endif
#if defined(_WIN32)
    EXPECT_NE(got.find("mingw32"), Str::npos) << got;
#elif defined(__linux__)
    EXPECT_NE(got.find("linux"), Str::npos) << got;
#endif
}

const LabelCase kLabelCases[] = {
    {"ActiveX", 3, "ActiveX"},  {"DotNet1", 1, ".NET 1.*"},
    {"DotNet2", 2, ".NET 2.0"}, {"DotNet2x64", 264, ".NET 2.0 / x64"},
    {"Default", 0, nullptr},    {"Unknown", 4, nullptr},
    {"NearX64", 263, nullptr},  {"Negative", -1, nullptr},
};

INSTANTIATE_TEST_SUITE_P(ClsBase, ClsBaseComponentLabel, ::testing::ValuesIn(kLabelCases),
                         [](const auto& info) { return Str(info.param.name); });

TEST(ClsBaseComponentLabel, HostKindStaysZero) {
    EXPECT_EQ(ClsBase::hostKind, 0);
}

// ---- last-error texts ---------------------------------------------------------------------------

TEST(ClsBaseLastError, NewObjectReportsEmptyRoot) {
    ClsBase obj;
    XString text, xml, html;
    obj.lastErrorText(text, true);
    obj.lastErrorXml(xml, true);
    obj.lastErrorHtml(html, true);
    EXPECT_STREQ(text.getUtf8(), "QuenlixLog:\r\n");
    EXPECT_STREQ(xml.getUtf8(), "<QuenlixLog>\r\n</QuenlixLog>\r\n");
    EXPECT_STREQ(html.getUtf8(), "QuenlixLog:<blockquote>\r\n</blockquote>\r\n");
}

struct LineEndCase {
    const char* name;
    const char* message;
    bool crlf;
    const char* textLine; // the entry's line in the text report, CR LF end included
    const char* xmlLine;
};
void PrintTo(const LineEndCase& c, std::ostream* os) {
    *os << c.name;
}

class ClsBaseLineEnds : public ::testing::TestWithParam<LineEndCase> {};

TEST_P(ClsBaseLineEnds, Delivered) {
    const LineEndCase& c = GetParam();
    ClsBase obj;
    obj.log().logInfo(c.message);
    XString text, xml;
    obj.lastErrorText(text, c.crlf);
    obj.lastErrorXml(xml, c.crlf);
    EXPECT_EQ(Str(text.getUtf8()), Str("QuenlixLog:\r\n  ") + c.textLine);
    EXPECT_EQ(Str(xml.getUtf8()), Str("<QuenlixLog>\r\n") + c.xmlLine + "</QuenlixLog>\r\n");
    // The log itself keeps the text as it was given.
    EXPECT_NE(textOf(obj.log()).find(c.message), Str::npos);
}

const LineEndCase kLineEndCases[] = {
    {"LoneLfBecomesCrlf", "a\nb", true, "a\r\nb\r\n", "<info><![CDATA[a\r\nb]]></info>\r\n"},
    {"LoneLfKeptWithoutPass", "a\nb", false, "a\nb\r\n", "<info><![CDATA[a\nb]]></info>\r\n"},
    {"LoneCrDropped", "a\rb", true, "ab\r\n", "<info>ab</info>\r\n"},
    {"LoneCrKeptWithoutPass", "a\rb", false, "a\rb\r\n", "<info>a\rb</info>\r\n"},
    {"CrlfInsideStays", "a\r\nb", true, "a\r\nb\r\n", "<info><![CDATA[a\r\nb]]></info>\r\n"},
    {"PlainTextUnchanged", "ok", true, "ok\r\n", "<info>ok</info>\r\n"},
};

INSTANTIATE_TEST_SUITE_P(ClsBase, ClsBaseLineEnds, ::testing::ValuesIn(kLineEndCases),
                         [](const auto& info) { return Str(info.param.name); });

TEST(ClsBaseLastError, ReportIsUtf8) {
    ClsBase obj;
    obj.log().logData("Name", "\xC3\xA9\xE2\x82\xAC");
    XString html;
    obj.lastErrorHtml(html, true);
    EXPECT_TRUE(html.isUtf8Current());
    const uint16_t* u = html.getUnicode();
    std::u16string got;
    while (*u)
        got += static_cast<char16_t>(*u++);
    EXPECT_EQ(got, u"QuenlixLog:<blockquote>\r\nName: \u00E9\u20AC<br>\r\n</blockquote>\r\n");
}

TEST(ClsBaseLastError, ReadingDoesNotChangeTheLog) {
    ClsBase obj;
    obj.enterMethod("LoadFromString");
    obj.logSuccess(true);
    obj.log().leaveContext();
    XString first, again, xml;
    obj.lastErrorText(first, true);
    obj.lastErrorXml(xml, true);
    obj.lastErrorHtml(xml, true);
    obj.lastErrorText(again, true);
    EXPECT_STREQ(first.getUtf8(), again.getUtf8());
}

struct BlankPathCase {
    const char* name;
    const char* path;
};
void PrintTo(const BlankPathCase& c, std::ostream* os) {
    *os << c.name;
}

class ClsBaseSaveBlankPath : public ::testing::TestWithParam<BlankPathCase> {};

TEST_P(ClsBaseSaveBlankPath, RefusedWithoutLogging) {
    ClsBase obj;
    obj.enterMethod("LoadFile");
    const Str before = textOf(obj.log());
    XString path;
    path.setFromUtf8(GetParam().path);
    EXPECT_FALSE(obj.saveLastError(path));
    EXPECT_EQ(textOf(obj.log()), before);
}

const BlankPathCase kBlankPathCases[] = {
    {"Empty", ""},
    {"TwoSpaces", "  "},
    {"Blanks", " \t\r\n "},
};

INSTANTIATE_TEST_SUITE_P(ClsBase, ClsBaseSaveBlankPath, ::testing::ValuesIn(kBlankPathCases),
                         [](const auto& info) { return Str(info.param.name); });

// ---- saving the report ----------------------------------------------------------------------

// A finished logged call whose entries need the CDATA wrapping and hold a lone LF.
void logSomething(ClsBase& obj) {
    obj.enterMethod("SaveFile");
    obj.log().logData("Filename", "c:\\temp\\a&b.csv");
    obj.log().logError("line one\nline two");
    obj.logSuccess(false);
    obj.log().leaveContext();
}

bool saveTo(ClsBase& obj, const Str& utf8Path) {
    XString path;
    path.setFromUtf8(utf8Path.c_str());
    return obj.saveLastError(path);
}

TEST(ClsBaseSaveLastError, FileHoldsExactlyTheXmlReport) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    ClsBase obj;
    logSomething(obj);
    const Str before = logtest::xmlOf(obj.log());
    ASSERT_TRUE(saveTo(obj, dir.utf8Path("report.xml")));
    const Str file = testfs::contentsOf(dir.path("report.xml"));
    EXPECT_EQ(file, before);
    // No CR LF pass on the way to the file: the lone LF inside the entry stays.
    EXPECT_NE(file.find("line one\nline two"), Str::npos);
    EXPECT_EQ(file.compare(0, 14, "<QuenlixLog>\r\n"), 0); // no mark, no declaration
    EXPECT_EQ(logtest::xmlOf(obj.log()), before);          // saving changes nothing
}

TEST(ClsBaseSaveLastError, NewObjectSavesEmptyRoot) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    ClsBase obj;
    ASSERT_TRUE(saveTo(obj, dir.utf8Path("empty.xml")));
    EXPECT_EQ(testfs::contentsOf(dir.path("empty.xml")), "<QuenlixLog>\r\n</QuenlixLog>\r\n");
}

TEST(ClsBaseSaveLastError, PathIsTrimmed) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    ClsBase obj;
    logSomething(obj);
    ASSERT_TRUE(saveTo(obj, " \t" + dir.utf8Path("trimmed.xml") + "\r\n "));
    EXPECT_EQ(testfs::contentsOf(dir.path("trimmed.xml")), logtest::xmlOf(obj.log()));
}

TEST(ClsBaseSaveLastError, ReplacesExistingAndReadOnlyFiles) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    ClsBase obj;
    logSomething(obj);
    const Str report = logtest::xmlOf(obj.log());
    ASSERT_TRUE(testfs::writeAll(dir.path("old.xml"), Str(5000, 'x')));
    EXPECT_TRUE(saveTo(obj, dir.utf8Path("old.xml")));
    EXPECT_EQ(testfs::contentsOf(dir.path("old.xml")), report);

    ASSERT_TRUE(testfs::writeAll(dir.path("ro.xml"), "old"));
    ASSERT_TRUE(testfs::setReadOnly(dir.path("ro.xml"), true));
    EXPECT_TRUE(saveTo(obj, dir.utf8Path("ro.xml")));
    EXPECT_EQ(testfs::contentsOf(dir.path("ro.xml")), report);
}

TEST(ClsBaseSaveLastError, NonAsciiFileName) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    ClsBase obj;
    logSomething(obj);
    const Str name = "r\xC3\xA9sum\xC3\xA9 \xE6\x97\xA5.xml";
    ASSERT_TRUE(saveTo(obj, dir.utf8Path(name)));
    EXPECT_EQ(testfs::contentsOf(dir.path(name)), logtest::xmlOf(obj.log()));
}

TEST(ClsBaseSaveLastError, UnwritablePathFailsWithoutLogging) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    ClsBase obj;
    logSomething(obj);
    const Str before = textOf(obj.log());
    EXPECT_FALSE(saveTo(obj, dir.utf8Path("no such dir/report.xml")));
    EXPECT_EQ(textOf(obj.log()), before);
    EXPECT_TRUE(dir.isEmpty());
}

TEST(ClsBaseSaveLastError, LoggerRefusesNullPath) {
    Logger log;
    EXPECT_FALSE(log.saveXml(nullptr));
}

} // namespace
