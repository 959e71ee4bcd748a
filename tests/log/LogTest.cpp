// The log: data items and their number formats, context trees (pruned, cleared, deep), the three
// report forms with their escaping, the bodies LogBase shares, and concurrent writers.
#include "log/LogRenderer.h"
#include "log/Logger.h"

#include "log/LogTestUtil.h"
#include "platform/Platform.h"
#include "platform/TempDir.h"
#include "text/StringBuffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using logtest::htmlOf;
using logtest::lines;
using logtest::Str;
using logtest::textOf;
using logtest::xmlOf;

const Str kRoot = "QuenlixLog:";

// One data operation on a new log: the line it adds under the root, or null when the name is
// blank after trimming and nothing may be added.
TEST(LogData, NamesValuesAndNumberFormats) {
    const std::pair<bool (*)(Logger&), const char*> cases[] = {
        {[](Logger& l) { return l.logData("  file name ", "x"); }, "file_name: x"},
        {[](Logger& l) { return l.logData("a  b c", "v"); }, "a__b_c: v"},
        {[](Logger& l) { return l.logData("\t\r\nname\n\r\t", "v"); }, "name: v"},
        {[](Logger& l) { return l.logData("a\tb", "v"); }, "a\tb: v"},
        {[](Logger& l) { return l.logData("   ", "x"); }, nullptr},
        {[](Logger& l) { return l.logData(nullptr, "x"); }, nullptr},
        {[](Logger& l) { return l.logData("n", nullptr); }, "n: (NULL)"},
        {[](Logger& l) { return l.logData("n", "  a b  "); }, "n:   a b  "},
        {[](Logger& l) { return l.logDataHex("WindowsError", 2); }, "WindowsError: 0x2"},
        {[](Logger& l) { return l.logDataHex("h", 255); }, "h: 0xff"},
        {[](Logger& l) { return l.logDataHex(" win err ", 16); }, "win_err: 0x10"},
        {[](Logger& l) { return l.logDataHex(" ", 1); }, nullptr},
        {[](Logger& l) { return l.logDataLong("fileSize", -1); }, "fileSize: -1"},
        {[](Logger& l) { return l.logDataLong("n", INT32_MIN); }, "n: -2147483648"},
        {[](Logger& l) { return l.logDataLong("", 5); }, nullptr},
        {[](Logger& l) { return l.logDataInt64("n", INT64_MIN); }, "n: -9223372036854775808"},
        {[](Logger& l) { return l.logDataInt64(nullptr, 1); }, nullptr},
        {[](Logger& l) { return l.logDataQP(" file name ", "\xE9t\xE9.csv"), true; },
         "file_name: =E9t=E9.csv"},
    };
    for (const auto& [op, line] : cases) {
        Logger log;
        EXPECT_EQ(op(log), line != nullptr) << (line ? line : "(blank name)");
        EXPECT_EQ(textOf(log), line ? lines({kRoot, Str("  ") + line}) : lines({kRoot}));
    }
}

TEST(LogData, TickCountInLowerCaseHex) {
    Logger log;
    log.logTickCount("  ");
    const uint32_t before = platform::tickCount();
    log.logTickCount(" start time ");
    const uint32_t after = platform::tickCount();
    const Str report = textOf(log), prefix = lines({kRoot}) + "  start_time: ";
    ASSERT_EQ(report.rfind(prefix, 0), 0u) << report;
    const Str value = report.substr(prefix.size(), report.size() - prefix.size() - 2);
    ASSERT_EQ(value.find_first_not_of("0123456789abcdef"), Str::npos) << value;
    // Modular arithmetic: right even when the counter wraps between the two reads.
    EXPECT_LE(static_cast<uint32_t>(std::stoul(value, nullptr, 16)) - before, after - before);
}

// Steps, separated by commas: "+name" enters a context, "-" leaves one, "i:text" and "e:text" add
// an info or error line, "!" clears the log.
TEST(LogContexts, PruningClearingAndOrder) {
    const std::pair<const char*, Str> cases[] = {
        {"-", lines({kRoot})},
        {"+A,-", lines({kRoot, "  A:"})},
        {"+A,+B,-", lines({kRoot, "  A:"})},
        {"+A,+B,-,-", lines({kRoot, "  A:"})},
        {"+A,+B,+C,-,-,-", lines({kRoot, "  A:"})},
        {"+A,+B,i:x,-,-", lines({kRoot, "  A:", "    B:", "      x"})},
        {"+A,+B,+C,-,-,i:after", lines({kRoot, "  A:", "    after"})},
        {"+A,+B,i:x,-,+C,-,-", lines({kRoot, "  A:", "    B:", "      x"})},
        {"+A,i:1,-,i:2,+B,e:3,-", lines({kRoot, "  A:", "    1", "  2", "  B:", "    3"})},
        {"+A,-,-,-,-,-,i:x", lines({kRoot, "  A:", "  x"})},
        {"+A,+B,i:gone,!,i:i", lines({kRoot, "  i"})},
        {"+A,!,-,i:x", lines({kRoot, "  x"})},
        {"+ a b ,i:x", lines({kRoot, "   a b :", "    x"})}, // context names are kept as given
    };
    for (const auto& [steps, text] : cases) {
        Logger log;
        std::istringstream in(steps);
        for (Str step; std::getline(in, step, ',');) {
            if (step[0] == '+')
                log.enterContext(step.c_str() + 1);
            else if (step == "-")
                log.leaveContext();
            else if (step == "!")
                log.clearLog();
            else
                (step[0] == 'i' ? log.logInfo(step.c_str() + 2) : log.logError(step.c_str() + 2));
        }
        EXPECT_EQ(textOf(log), text) << steps;
    }
}

// Trees nested far deeper than any call makes render with the right indentation and are
// destroyed without recursion running out of stack.
TEST(LogContexts, DeepTrees) {
    {
        Logger log; // the text report indents each level by two more blanks
        for (int i = 0; i < 1000; ++i)
            log.enterContext("c");
        log.logInfo("bottom");
        const Str text = textOf(log),
                  tail = Str(2000, ' ') + "c:\r\n" + Str(2002, ' ') + "bottom\r\n";
        EXPECT_EQ(text.compare(text.size() - tail.size(), tail.size(), tail), 0);
    }
    const size_t depth = 100000;
    Str xml, html;
    {
        Logger deep;
        for (size_t i = 0; i < depth; ++i)
            deep.enterContext("c");
        deep.logInfo("bottom");
        xml = xmlOf(deep), html = htmlOf(deep);
    }
    // The root's two lines, an opening and a closing line per level, the entry in the middle.
    const Str bottom = "<info>bottom</info>\r\n";
    EXPECT_EQ(xml.size(), Str("<QuenlixLog>\r\n</QuenlixLog>\r\n").size() +
                              depth * Str("<c>\r\n</c>\r\n").size() + bottom.size());
    EXPECT_EQ(xml.find(bottom), Str("<QuenlixLog>\r\n").size() + depth * Str("<c>\r\n").size());
    EXPECT_EQ(html.size(), Str("QuenlixLog:<blockquote>\r\n</blockquote>\r\n").size() +
                               depth * Str("c:<blockquote>\r\n</blockquote>\r\n").size() +
                               Str("bottom<br>\r\n").size());
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

TEST(ReportEntries, EachKindInEachFormat) {
    for (auto c : testfs::caseRows("log/data/entries.txt")) {
        ASSERT_EQ(c.size(), 5u) << c[0];
        for (Str& field : c)
            field = testfs::unescape(field);
        Logger log;
        const Str& in = c[1];
        if (c[0] == "d")
            log.logData(in.substr(0, in.find('=')).c_str(), in.substr(in.find('=') + 1).c_str());
        else
            (log.*(c[0] == "i"   ? &Logger::logInfo
                   : c[0] == "e" ? &Logger::logError
                                 : &Logger::logXmlFragment))(in.c_str());
        EXPECT_EQ(textOf(log), lines({kRoot, "  " + c[2]})) << in;
        EXPECT_EQ(xmlOf(log), lines({"<QuenlixLog>", c[3], "</QuenlixLog>"})) << in;
        EXPECT_EQ(htmlOf(log), lines({"QuenlixLog:<blockquote>", c[4], "</blockquote>"})) << in;
    }
    // Nothing logged, or no log at all.
    Logger log;
    EXPECT_TRUE(log.logError(nullptr) && log.logInfo(nullptr) && log.logXmlFragment(nullptr));
    EXPECT_EQ(xmlOf(log), "<QuenlixLog>\r\n</QuenlixLog>\r\n");
    EXPECT_EQ(htmlOf(log), "QuenlixLog:<blockquote>\r\n</blockquote>\r\n");
    StringBuffer out;
    LogRenderer::renderText(nullptr, out);
    LogRenderer::renderXml(nullptr, out);
    LogRenderer::renderHtml(nullptr, out);
    EXPECT_EQ(out.getSize(), 0);
    EXPECT_FALSE(LogRenderer::needsCdata(nullptr) || LogRenderer::needsCdata(&out));
}

TEST(LogBaseBodies, DoNothingLogAndOsErrors) {
    LogBase none;
    StringBuffer out("keep");
    none.getText(out);
    EXPECT_STREQ(out.getString(), "keep");
    EXPECT_TRUE(none.logData("   ", "v") && none.logError("e") && none.saveXml("unused"));
    Str system = platform::errorMessageText(2);
    system.erase(system.find_last_not_of("\r\n ") + 1);
    ASSERT_FALSE(system.empty());
    logtest::RecordingLog rec; // the shared bodies hand what they make to logData
    rec.logOsError(0);
    rec.logOsError(2);
    rec.logDataQP("file", ".a b ");
    rec.logDataQP("null", nullptr);
    EXPECT_EQ(rec.items, (std::vector<std::pair<Str, Str>>{
                             {"WindowsError", system}, {"file", "=2Ea b=20"}, {"null", ""}}));
}

// Writers log numbered items while a reader renders reports. Every snapshot must be a complete
// report in which each writer's items form an unbroken run from its first item, and at the end
// every item must be there exactly once, in its writer's order.
TEST(LogThreads, ConcurrentWritersAndReaders) {
    const int kWriters = 4, kItems = 3000;
    Logger log;
    std::atomic<int> writersDone{0}, snapshots{0};
    // The problem with one XML report, or an empty string when it is sound.
    auto check = [&](const Str& xml, bool complete) -> Str {
        const Str head = "<QuenlixLog>\r\n", tail = "</QuenlixLog>\r\n";
        if (xml.rfind(head, 0) != 0 || xml.size() < head.size() + tail.size() ||
            xml.compare(xml.size() - tail.size(), tail.size(), tail) != 0)
            return "bad head or tail";
        std::vector<int> next(kWriters, 0);
        std::istringstream in(xml.substr(head.size(), xml.size() - head.size() - tail.size()));
        for (Str line; std::getline(in, line);) {
            const int k = std::atoi(line.c_str() + line.find('>') + 1);
            if (k < 0 || k >= kWriters) return "unexpected line: " + line;
            const Str item = std::to_string(k) + ":" + std::to_string(next[k]);
            const Str tag = next[k]++ % 2 ? "info" : "w" + std::to_string(k);
            if (line != "<" + tag + ">" + item + "</" + tag + ">\r") return "wrong entry: " + line;
        }
        for (int k = 0; complete && k < kWriters; ++k)
            if (next[k] != kItems) return "missing entries of writer " + std::to_string(k);
        return Str();
    };
    Str failure;
    std::thread reader([&] {
        while (writersDone.load() < kWriters && failure.empty()) {
            failure = check(xmlOf(log), false);
            ++snapshots;
        }
    });
    std::vector<std::thread> writers;
    for (int k = 0; k < kWriters; ++k)
        writers.emplace_back([&, k] {
            const Str name = "w" + std::to_string(k);
            for (int i = 0; i < kItems; ++i) {
                const Str value = std::to_string(k) + ":" + std::to_string(i);
                i % 2 ? log.logInfo(value.c_str()) : log.logData(name.c_str(), value.c_str());
            }
            ++writersDone;
        });
    for (std::thread& t : writers)
        t.join();
    reader.join();
    EXPECT_EQ(failure, "");
    EXPECT_GT(snapshots.load(), 0);
    EXPECT_EQ(check(xmlOf(log), true), "");
}

} // namespace

#ifdef QX_FAULT_INJECTION
#include "platform/FaultInjection.h"

namespace {

// Whichever allocation fails, the log goes on working and nothing leaks (the ASan build checks).
// A failed context is either missing, with its entries landing in the parent, or left out of the
// report together with what was aimed at it; a failed leaf is left out whole.
TEST(LogAllocationFailure, LogKeepsWorking) {
    const Str full =
        lines({"<QuenlixLog>", "<A>", "<info>y</info>", "</A>", "<info>z</info>", "</QuenlixLog>"});
    const Str dropped =
        lines({"<QuenlixLog>", "<info>y</info>", "<info>z</info>", "</QuenlixLog>"});
    const Str hidden = lines({"<QuenlixLog>", "<info>z</info>", "</QuenlixLog>"});
    bool sawFull = false;
    for (long failing = 0; failing < 10; ++failing) {
        Logger log;
        FaultInjection::failAllocationAfter = failing;
        log.enterContext("A");
        FaultInjection::reset();
        log.logInfo("y");
        log.leaveContext();
        log.logInfo("z");
        const Str xml = xmlOf(log);
        EXPECT_TRUE(xml == full || xml == dropped || xml == hidden) << failing << ":\n" << xml;
        sawFull = sawFull || xml == full;
    }
    EXPECT_TRUE(sawFull); // the later counts fail nothing enterContext needs

    for (long failing = 0; failing < 6; ++failing) {
        Logger log;
        log.logInfo("a");
        FaultInjection::failAllocationAfter = failing;
        EXPECT_TRUE(log.logInfo("b"));
        EXPECT_TRUE(log.logData("k", "v"));
        FaultInjection::reset();
        log.logInfo("c");
        const Str text = textOf(log);
        bool ok = false;
        for (const Str& b : {Str(), Str("  b\r\n")})
            for (const Str& k : {Str(), Str("  k: v\r\n")})
                ok = ok || text == lines({kRoot, "  a"}) + b + k + "  c\r\n";
        EXPECT_TRUE(ok) << failing << ":\n" << text;
    }
}

} // namespace
#endif
