#include "log/LogRenderer.h"
#include "log/Logger.h"

#include "log/LogTestUtil.h"
#include "text/StringBuffer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using logtest::htmlOf;
using logtest::lines;
using logtest::Str;
using logtest::textOf;
using logtest::xmlOf;

TEST(ReportExamples, EmptyLog) {
    Logger log;
    EXPECT_EQ(textOf(log), "QuenlixLog:\r\n");
    EXPECT_EQ(xmlOf(log), "<QuenlixLog>\r\n</QuenlixLog>\r\n");
    EXPECT_EQ(htmlOf(log), "QuenlixLog:<blockquote>\r\n</blockquote>\r\n");
    StringBuffer out;
    LogRenderer::renderText(nullptr, out);
    LogRenderer::renderXml(nullptr, out);
    LogRenderer::renderHtml(nullptr, out);
    EXPECT_EQ(out.getSize(), 0);
}

TEST(ReportExamples, NestedTreeInThreeForms) {
    Logger log;
    log.enterContext("Load");
    log.logData("a b", "1");
    log.enterContext("in<ner>");
    log.logError("e");
    log.leaveContext();
    log.logInfo("done");
    log.leaveContext();
    log.enterContext("Empty");
    log.leaveContext();
    log.enterContext("SaveFile");
    log.logData("Filename", "c:\\temp\\a&b.csv");
    log.logError("Failed.");
    log.leaveContext();
    EXPECT_EQ(textOf(log),
              lines({"QuenlixLog:", "  Load:", "    a_b: 1", "    in<ner>:", "      e", "    done",
                     "  Empty:", "  SaveFile:", "    Filename: c:\\temp\\a&b.csv", "    Failed."}));
    EXPECT_EQ(xmlOf(log),
              lines({"<QuenlixLog>", "<Load>", "<a_b>1</a_b>", "<in<ner>>", "<error>e</error>",
                     "</in<ner>>", "<info>done</info>", "</Load>", "<Empty>", "</Empty>",
                     "<SaveFile>", "<Filename><![CDATA[c:\\temp\\a&b.csv]]></Filename>",
                     "<error>Failed.</error>", "</SaveFile>", "</QuenlixLog>"}));
    EXPECT_EQ(htmlOf(log), lines({"QuenlixLog:<blockquote>", "Load:<blockquote>", "a_b: 1<br>",
                                  "in<ner>:<blockquote>", "e<br>", "</blockquote>", "done<br>",
                                  "</blockquote>", "Empty:<blockquote>", "</blockquote>",
                                  "SaveFile:<blockquote>", "Filename: c:\\temp\\a&amp;b.csv<br>",
                                  "Failed.<br>", "</blockquote>", "</blockquote>"}));
    // Rendering replaces what the output held and changes nothing in the log.
    StringBuffer out("left over");
    log.getText(out);
    log.getXml(out);
    log.getHtml(out);
    log.getText(out);
    EXPECT_EQ(Str(out.getString()), textOf(log));
}

// One entry under the root: its line in the text, XML and HTML reports. Texts are wrapped in
// CDATA only for LF, tab, "&", "<" and ">"; HTML escapes texts but not names.
TEST(ReportEntries, EachKindInEachFormat) {
    const struct {
        char kind; // 'i' info, 'e' error, 'x' fragment, 'd' data item named by the text before '='
        const char* in;
        const char *text, *xml, *html;
    } cases[] = {
        {'i', "ab", "ab", "<info>ab</info>", "ab<br>"},
        {'e', "x & y", "x & y", "<error><![CDATA[x & y]]></error>", "x &amp; y<br>"},
        {'d', "k=v", "k: v", "<k>v</k>", "k: v<br>"},
        {'d', "e=", "e: ", "<e></e>", "e: <br>"},
        {'d', "q=say \"hi\"", "q: say \"hi\"", "<q>say \"hi\"</q>", "q: say &quot;hi&quot;<br>"},
        {'d', "a&b=1", "a&b: 1", "<a&b>1</a&b>", "a&b: 1<br>"},
        {'i', "a<b", "a<b", "<info><![CDATA[a<b]]></info>", "a&lt;b<br>"},
        {'i', "a>b", "a>b", "<info><![CDATA[a>b]]></info>", "a&gt;b<br>"},
        {'i', "it's", "it's", "<info>it's</info>", "it's<br>"},
        {'i', "<a href=\"x\">&</a>", "<a href=\"x\">&</a>",
         "<info><![CDATA[<a href=\"x\">&</a>]]></info>",
         "&lt;a href=&quot;x&quot;&gt;&amp;&lt;/a&gt;<br>"},
        {'x', "<raw a=\"1\"/>", "<raw a=\"1\"/>", "<raw a=\"1\"/>",
         "&lt;raw a=&quot;1&quot;/&gt;<br>"},
        {'x', "a\tb", "a\tb", "a\tb", "a\tb<br>"},
        {'i', "a\tb", "a\tb", "<info><![CDATA[a\tb]]></info>", "a\tb<br>"},
        {'i', "a\rb", "a\rb", "<info>a\rb</info>", "a\rb<br>"},
        {'i', "a\nb", "a\nb", "<info><![CDATA[a\nb]]></info>", "a\nb<br>"},
        {'i', "x<![CDATA[<y>]]>z", "x<![CDATA[<y>]]>z", "<info>x<![CDATA[<y>]]>z</info>",
         "x&lt;![CDATA[&lt;y&gt;]]&gt;z<br>"},
        {'i', "]]><![CDATA[", "]]><![CDATA[", "<info>]]><![CDATA[</info>",
         "]]&gt;&lt;![CDATA[<br>"},
        {'i', "<![CDATA[x", "<![CDATA[x", "<info><![CDATA[<![CDATA[x]]></info>",
         "&lt;![CDATA[x<br>"},
        {'i', "x]]>", "x]]>", "<info><![CDATA[x]]>]]></info>", "x]]&gt;<br>"},
        {'i', "caf\xC3\xA9", "caf\xC3\xA9", "<info>caf\xC3\xA9</info>", "caf\xC3\xA9<br>"},
    };
    for (const auto& c : cases) {
        Logger log;
        const Str in = c.in;
        if (c.kind == 'd')
            log.logData(in.substr(0, in.find('=')).c_str(), in.substr(in.find('=') + 1).c_str());
        else
            (log.*(c.kind == 'i'   ? &Logger::logInfo
                   : c.kind == 'e' ? &Logger::logError
                                   : &Logger::logXmlFragment))(c.in);
        EXPECT_EQ(textOf(log), lines({"QuenlixLog:", Str("  ") + c.text})) << c.in;
        EXPECT_EQ(xmlOf(log), lines({"<QuenlixLog>", c.xml, "</QuenlixLog>"})) << c.in;
        EXPECT_EQ(htmlOf(log), lines({"QuenlixLog:<blockquote>", c.html, "</blockquote>"})) << c.in;
    }
    StringBuffer empty;
    EXPECT_FALSE(LogRenderer::needsCdata(nullptr));
    EXPECT_FALSE(LogRenderer::needsCdata(&empty));
}

} // namespace
