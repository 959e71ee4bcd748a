// The frame of a logged method (header items, closing entry), the component label, and the four
// last-error operations.
#include "log/ClsBase.h"

#include "log/LogTestUtil.h"
#include "platform/Platform.h"
#include "platform/TempDir.h"
#include "text/XString.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

namespace {

using logtest::lines;
using logtest::Str;
using logtest::textOf;
using logtest::xmlOf;

// The value logged under "Component" for a host kind, read back from the report.
Str componentFor(int kind) {
    Logger log;
    ClsBase::logHeaderInfo(kind, log);
    const Str text = textOf(log), key = "  Component: ";
    const size_t at = text.find(key);
    if (at == Str::npos) return "<none>";
    return text.substr(at + key.size(), text.find("\r\n", at) - at - key.size());
}

// A finished logged call: header, own entries, closing entry, context left.
void loggedCall(ClsBase& obj, const char* method, const char* error, bool ok) {
    obj.enterMethod(method);
    if (error) obj.log().logError(error);
    obj.logSuccess(ok);
    obj.log().leaveContext();
}

// Each logged call replaces the last one's report with its context: the header items, its own
// entries, the closing entry. The component label depends on the host kind.
TEST(ClsBaseHeader, EachCallReplacesTheLastAndTheComponentLabelByHostKind) {
    ClsBase obj;
    obj.log().logInfo("from before");
    loggedCall(obj, "LoadFile", "first", false);
    const Str header = "    DllDate: Mar 10 2009|    Username: " + platform::userName() +
                       "|    Component: " + componentFor(ClsBase::hostKind) + "|";
    EXPECT_EQ(textOf(obj.log()),
              lines("QuenlixLog:|  LoadFile:|" + header + "    first|    Failed."));
    loggedCall(obj, "SaveFile", nullptr, true);
    EXPECT_EQ(textOf(obj.log()), lines("QuenlixLog:|  SaveFile:|" + header + "    Success."));
    // Host kind, label (null: the build-environment label: compiler, then target).
    const std::pair<int, const char*> cases[] = {
        {3, "ActiveX"}, {1, ".NET 1.*"}, {2, ".NET 2.0"}, {264, ".NET 2.0 / x64"},
        {0, nullptr},   {4, nullptr},    {263, nullptr},  {-1, nullptr}};
    const Str build = componentFor(0);
    EXPECT_NE(build.find(" / "), Str::npos) << build;
    for (const auto& [kind, label] : cases) {
        EXPECT_EQ(componentFor(kind), label ? label : build) << kind;
        EXPECT_NE(build, label ? label : "");
    }
    EXPECT_EQ(ClsBase::hostKind, 0);
}

// The CR LF pass itself is the text tests' concern; here: applied or not, and UTF-8 out.
TEST(ClsBaseLastError, ReportsWithAndWithoutTheCrlfPass) {
    // The entry's text (null: none), the CR LF pass, the text, XML and HTML lines inside the root.
    const std::tuple<const char*, bool, Str, Str, Str> cases[] = {
        {nullptr, true, "", "", ""},
        {"a\nb", true, "  a\r\nb\r\n", "<info><![CDATA[a\r\nb]]></info>\r\n", "a\r\nb<br>\r\n"},
        {"a\nb", false, "  a\nb\r\n", "<info><![CDATA[a\nb]]></info>\r\n", "a\nb<br>\r\n"},
    };
    for (const auto& [message, crlf, text, xml, html] : cases) {
        ClsBase obj;
        obj.log().logInfo(message);
        const Str before = textOf(obj.log());
        XString t, x, h;
        obj.lastErrorText(t, crlf);
        obj.lastErrorXml(x, crlf);
        obj.lastErrorHtml(h, crlf);
        EXPECT_TRUE(t.isUtf8Current() && x.isUtf8Current() && h.isUtf8Current());
        EXPECT_EQ(Str(t.getUtf8()), "QuenlixLog:\r\n" + text) << crlf << " " << text;
        EXPECT_EQ(Str(x.getUtf8()), "<QuenlixLog>\r\n" + xml + "</QuenlixLog>\r\n");
        EXPECT_EQ(Str(h.getUtf8()), "QuenlixLog:<blockquote>\r\n" + html + "</blockquote>\r\n");
        EXPECT_EQ(textOf(obj.log()), before); // reading changes nothing
    }
}

// The file holds exactly the XML report, a lone LF in an entry included; the name is trimmed, and
// a blank one is refused. (Names of every kind, and that nothing is logged: the object's tests.)
TEST(ClsBaseSaveLastError, FileHoldsExactlyTheXmlReport) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    auto saveTo = [](ClsBase& obj, const Str& utf8Path) {
        XString path;
        path.setFromUtf8(utf8Path.c_str());
        return obj.saveLastError(path);
    };
    ClsBase obj;
    loggedCall(obj, "SaveFile", "line one\nline two", false);
    const Str report = xmlOf(obj.log());
    ASSERT_NE(report.find("<![CDATA[line one\nline two]]>"), Str::npos);
    ASSERT_TRUE(saveTo(obj, " \t" + dir.utf8Path("r.xml") + "\r\n "));
    EXPECT_EQ(testfs::contentsOf(dir.path("r.xml")), report);
    EXPECT_FALSE(saveTo(obj, " \t\r\n "));
    EXPECT_FALSE(obj.log().saveXml(nullptr));
}

} // namespace
