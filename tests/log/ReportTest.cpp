#include "log/LogRenderer.h"
#include "log/Logger.h"

#include "log/LogTestUtil.h"
#include "text/StringBuffer.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

namespace {

using logtest::htmlOf;
using logtest::lines;
using logtest::Str;
using logtest::textOf;
using logtest::xmlOf;

// ---- whole reports ----------------------------------------------------------------------------

TEST(ReportExamples, EmptyLog) {
    Logger log;
    EXPECT_EQ(textOf(log), "QuenlixLog:\r\n");
    EXPECT_EQ(xmlOf(log), "<QuenlixLog>\r\n</QuenlixLog>\r\n");
    EXPECT_EQ(htmlOf(log), "QuenlixLog:<blockquote>\r\n</blockquote>\r\n");
}

TEST(ReportExamples, SaveFileFailure) {
    Logger log;
    log.enterContext("SaveFile");
    log.logData("Filename", "c:\\temp\\a&b.csv");
    log.logError("Failed.");
    log.leaveContext();

    EXPECT_EQ(xmlOf(log), lines({
                              "<QuenlixLog>",
                              "<SaveFile>",
                              "<Filename><![CDATA[c:\\temp\\a&b.csv]]></Filename>",
                              "<error>Failed.</error>",
                              "</SaveFile>",
                              "</QuenlixLog>",
                          }));
    EXPECT_EQ(textOf(log), lines({
                               "QuenlixLog:",
                               "  SaveFile:",
                               "    Filename: c:\\temp\\a&b.csv",
                               "    Failed.",
                           }));
    EXPECT_EQ(htmlOf(log), lines({
                               "QuenlixLog:<blockquote>",
                               "SaveFile:<blockquote>",
                               "Filename: c:\\temp\\a&amp;b.csv<br>",
                               "Failed.<br>",
                               "</blockquote>",
                               "</blockquote>",
                           }));
}

TEST(ReportExamples, RenderingClearsOutputAndChangesNothing) {
    Logger log;
    log.enterContext("M");
    log.logInfo("x");
    StringBuffer out("left over");
    log.getText(out);
    const Str first = logtest::str(out);
    EXPECT_EQ(first, lines({"QuenlixLog:", "  M:", "    x"}));
    log.getXml(out);
    log.getHtml(out);
    log.getText(out);
    EXPECT_EQ(logtest::str(out), first);
}

// ---- one entry in each format -----------------------------------------------------------------

struct EntryCase {
    const char* name;
    std::function<void(Logger&)> add; // adds one entry under the root
    const char* text;                 // its line in each report, without the CR LF
    const char* xml;
    const char* html;
};
void PrintTo(const EntryCase& c, std::ostream* os) {
    *os << c.name;
}

class ReportEntry : public ::testing::TestWithParam<EntryCase> {};

TEST_P(ReportEntry, Text) {
    Logger log;
    GetParam().add(log);
    EXPECT_EQ(textOf(log), lines({"QuenlixLog:", Str("  ") + GetParam().text}));
}

TEST_P(ReportEntry, Xml) {
    Logger log;
    GetParam().add(log);
    EXPECT_EQ(xmlOf(log), lines({"<QuenlixLog>", GetParam().xml, "</QuenlixLog>"}));
}

TEST_P(ReportEntry, Html) {
    Logger log;
    GetParam().add(log);
    EXPECT_EQ(htmlOf(log), lines({"QuenlixLog:<blockquote>", GetParam().html, "</blockquote>"}));
}

const EntryCase kEntryCases[] = {
    {"Info", [](Logger& l) { l.logInfo("ab"); }, "ab", "<info>ab</info>", "ab<br>"},
    {"Error", [](Logger& l) { l.logError("bad"); }, "bad", "<error>bad</error>", "bad<br>"},
    {"Data", [](Logger& l) { l.logData("k", "v"); }, "k: v", "<k>v</k>", "k: v<br>"},
    {"InfoWithMarkup", [](Logger& l) { l.logInfo("a<b"); }, "a<b", "<info><![CDATA[a<b]]></info>",
     "a&lt;b<br>"},
    {"ErrorWithAmpersand", [](Logger& l) { l.logError("x & y"); }, "x & y",
     "<error><![CDATA[x & y]]></error>", "x &amp; y<br>"},
    {"DataWithQuote", [](Logger& l) { l.logData("q", "say \"hi\""); }, "q: say \"hi\"",
     "<q>say \"hi\"</q>", "q: say &quot;hi&quot;<br>"},
    {"ApostropheUntouched", [](Logger& l) { l.logInfo("it's"); }, "it's", "<info>it's</info>",
     "it's<br>"},
    {"AllEscapes", [](Logger& l) { l.logInfo("<a href=\"x\">&</a>"); }, "<a href=\"x\">&</a>",
     "<info><![CDATA[<a href=\"x\">&</a>]]></info>",
     "&lt;a href=&quot;x&quot;&gt;&amp;&lt;/a&gt;<br>"},
    {"EmptyValue", [](Logger& l) { l.logData("e", ""); }, "e: ", "<e></e>", "e: <br>"},
    {"Fragment", [](Logger& l) { l.logXmlFragment("<raw a=\"1\"/>"); }, "<raw a=\"1\"/>",
     "<raw a=\"1\"/>", "&lt;raw a=&quot;1&quot;/&gt;<br>"},
    {"FragmentNotWrapped", [](Logger& l) { l.logXmlFragment("a\tb"); }, "a\tb", "a\tb", "a\tb<br>"},
    {"TabWrapped", [](Logger& l) { l.logInfo("a\tb"); }, "a\tb", "<info><![CDATA[a\tb]]></info>",
     "a\tb<br>"},
    {"LoneCrNotWrapped", [](Logger& l) { l.logInfo("a\rb"); }, "a\rb", "<info>a\rb</info>",
     "a\rb<br>"},
    {"LineFeedWrappedAndNotIndented", [](Logger& l) { l.logInfo("a\nb"); }, "a\nb",
     "<info><![CDATA[a\nb]]></info>", "a\nb<br>"},
    {"ExistingCdataLeftRaw", [](Logger& l) { l.logInfo("x<![CDATA[<y>]]>z"); }, "x<![CDATA[<y>]]>z",
     "<info>x<![CDATA[<y>]]>z</info>", "x&lt;![CDATA[&lt;y&gt;]]&gt;z<br>"},
    {"CdataOpenerAloneWrapped", [](Logger& l) { l.logInfo("<![CDATA[x"); }, "<![CDATA[x",
     "<info><![CDATA[<![CDATA[x]]></info>", "&lt;![CDATA[x<br>"},
    {"CdataCloserAloneWrapped", [](Logger& l) { l.logInfo("x]]>"); }, "x]]>",
     "<info><![CDATA[x]]>]]></info>", "x]]&gt;<br>"},
    {"DataNameNotEscapedInHtml", [](Logger& l) { l.logData("a&b", "1"); }, "a&b: 1", "<a&b>1</a&b>",
     "a&b: 1<br>"},
    {"Utf8BytesCopied", [](Logger& l) { l.logInfo("caf\xC3\xA9"); }, "caf\xC3\xA9",
     "<info>caf\xC3\xA9</info>", "caf\xC3\xA9<br>"},
};

INSTANTIATE_TEST_SUITE_P(Report, ReportEntry, ::testing::ValuesIn(kEntryCases),
                         [](const auto& info) { return Str(info.param.name); });

// ---- the CDATA rule on its own ---------------------------------------------------------------

struct CdataCase {
    const char* name;
    const char* text; // null: no text at all
    bool expected;
};
void PrintTo(const CdataCase& c, std::ostream* os) {
    *os << c.name;
}

class ReportCdataRule : public ::testing::TestWithParam<CdataCase> {};

TEST_P(ReportCdataRule, Decides) {
    if (!GetParam().text) {
        EXPECT_EQ(LogRenderer::needsCdata(nullptr), GetParam().expected);
        return;
    }
    StringBuffer text(GetParam().text);
    EXPECT_EQ(LogRenderer::needsCdata(&text), GetParam().expected);
}

const CdataCase kCdataCases[] = {
    {"Missing", nullptr, false},
    {"Empty", "", false},
    {"Plain", "Success.", false},
    {"LineFeed", "a\n", true},
    {"Tab", "\t", true},
    {"Ampersand", "&", true},
    {"Greater", ">", true},
    {"Less", "<", true},
    {"CarriageReturn", "\r", false},
    {"Quotes", "\"'", false},
    {"BothMarkers", "<![CDATA[&]]>", false},
    {"MarkersInReverseOrder", "]]><![CDATA[", false},
    {"OnlyOpener", "<![CDATA[", true},
    {"OnlyCloser", "]]>", true},
};

INSTANTIATE_TEST_SUITE_P(Report, ReportCdataRule, ::testing::ValuesIn(kCdataCases),
                         [](const auto& info) { return Str(info.param.name); });

// ---- nesting ----------------------------------------------------------------------------------

TEST(ReportNesting, ThreeFormsOfANestedTree) {
    Logger log;
    log.enterContext("Load");
    log.logData("a b", "1");
    log.enterContext("in<ner>");
    log.logError("e");
    log.leaveContext();
    log.logInfo("done");
    log.leaveContext();

    EXPECT_EQ(textOf(log), lines({"QuenlixLog:", "  Load:", "    a_b: 1", "    in<ner>:", "      e",
                                  "    done"}));
    EXPECT_EQ(xmlOf(log),
              lines({"<QuenlixLog>", "<Load>", "<a_b>1</a_b>", "<in<ner>>", "<error>e</error>",
                     "</in<ner>>", "<info>done</info>", "</Load>", "</QuenlixLog>"}));
    EXPECT_EQ(htmlOf(log), lines({"QuenlixLog:<blockquote>", "Load:<blockquote>", "a_b: 1<br>",
                                  "in<ner>:<blockquote>", "e<br>", "</blockquote>", "done<br>",
                                  "</blockquote>", "</blockquote>"}));
}

TEST(ReportNesting, EmptyContextUnderRootRendered) {
    Logger log;
    log.enterContext("LoadFile");
    log.leaveContext();
    EXPECT_EQ(xmlOf(log), lines({"<QuenlixLog>", "<LoadFile>", "</LoadFile>", "</QuenlixLog>"}));
    EXPECT_EQ(htmlOf(log), lines({"QuenlixLog:<blockquote>", "LoadFile:<blockquote>",
                                  "</blockquote>", "</blockquote>"}));
}

TEST(ReportNesting, RendersMissingRootAsNothing) {
    StringBuffer out;
    LogRenderer::renderText(nullptr, out);
    LogRenderer::renderXml(nullptr, out);
    LogRenderer::renderHtml(nullptr, out);
    EXPECT_EQ(out.getSize(), 0);
}

} // namespace
