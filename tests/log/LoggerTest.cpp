#include "log/Logger.h"

#include "log/LogTestUtil.h"
#include "platform/Platform.h"
#include "text/StringBuffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using logtest::lines;
using logtest::Str;
using logtest::textOf;
using logtest::xmlOf;

const Str kRoot = "QuenlixLog:";

// ---- data names ------------------------------------------------------------------------------

struct NameCase {
    const char* name;
    const char* dataName;
    const char* value;
    bool accepted;
    const char* line; // the text-report line under the root when accepted
};
void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.name;
}

class LogDataName : public ::testing::TestWithParam<NameCase> {};

TEST_P(LogDataName, Normalised) {
    const NameCase& c = GetParam();
    Logger log;
    EXPECT_EQ(log.logData(c.dataName, c.value), c.accepted);
    if (c.accepted)
        EXPECT_EQ(textOf(log), lines({kRoot, Str("  ") + c.line}));
    else
        EXPECT_EQ(textOf(log), lines({kRoot}));
}

const NameCase kNameCases[] = {
    {"OuterBlanksTrimmedInnerSpacesJoined", "  file name ", "x", true, "file_name: x"},
    {"EveryInnerSpace", "a  b c", "v", true, "a__b_c: v"},
    {"TabsCrLfTrimmed", "\t\r\nname\n\r\t", "v", true, "name: v"},
    {"InnerTabStays", "a\tb", "v", true, "a\tb: v"},
    {"OnlySpaces", "   ", "x", false, ""},
    {"OnlyBlanksOfAllKinds", " \t\r\n", "x", false, ""},
    {"Empty", "", "x", false, ""},
    {"NullName", nullptr, "x", false, ""},
    {"NullValue", "n", nullptr, true, "n: (NULL)"},
    {"EmptyValue", "n", "", true, "n: "},
    {"ValueKeptAsIs", "n", "  a b  ", true, "n:   a b  "},
};

INSTANTIATE_TEST_SUITE_P(Log, LogDataName, ::testing::ValuesIn(kNameCases),
                         [](const auto& info) { return Str(info.param.name); });

// ---- number formats --------------------------------------------------------------------------

struct NumberCase {
    const char* name;
    std::function<bool(Logger&)> op;
    bool accepted;
    const char* line;
};
void PrintTo(const NumberCase& c, std::ostream* os) {
    *os << c.name;
}

class LogDataNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(LogDataNumber, Formatted) {
    const NumberCase& c = GetParam();
    Logger log;
    EXPECT_EQ(c.op(log), c.accepted);
    if (c.accepted)
        EXPECT_EQ(textOf(log), lines({kRoot, Str("  ") + c.line}));
    else
        EXPECT_EQ(textOf(log), lines({kRoot}));
}

const NumberCase kNumberCases[] = {
    {"HexSmall", [](Logger& l) { return l.logDataHex("WindowsError", 2); }, true,
     "WindowsError: 0x2"},
    {"HexLowerCase", [](Logger& l) { return l.logDataHex("h", 255); }, true, "h: 0xff"},
    {"HexZero", [](Logger& l) { return l.logDataHex("h", 0); }, true, "h: 0x0"},
    {"HexMax", [](Logger& l) { return l.logDataHex("h", 0xFFFFFFFFu); }, true, "h: 0xffffffff"},
    {"HexNameNormalised", [](Logger& l) { return l.logDataHex(" win err ", 16); }, true,
     "win_err: 0x10"},
    {"HexBlankName", [](Logger& l) { return l.logDataHex(" ", 1); }, false, ""},
    {"LongNegative", [](Logger& l) { return l.logDataLong("fileSize", -1); }, true, "fileSize: -1"},
    {"LongZero", [](Logger& l) { return l.logDataLong("n", 0); }, true, "n: 0"},
    {"LongMin", [](Logger& l) { return l.logDataLong("n", INT32_MIN); }, true, "n: -2147483648"},
    {"LongMax", [](Logger& l) { return l.logDataLong("n", INT32_MAX); }, true, "n: 2147483647"},
    {"LongBlankName", [](Logger& l) { return l.logDataLong("", 5); }, false, ""},
    {"Int64Min", [](Logger& l) { return l.logDataInt64("n", INT64_MIN); }, true,
     "n: -9223372036854775808"},
    {"Int64Max", [](Logger& l) { return l.logDataInt64("n", INT64_MAX); }, true,
     "n: 9223372036854775807"},
    {"Int64Large", [](Logger& l) { return l.logDataInt64("n", 1234567890123LL); }, true,
     "n: 1234567890123"},
    {"Int64Zero", [](Logger& l) { return l.logDataInt64("n", 0); }, true, "n: 0"},
    {"Int64NullName", [](Logger& l) { return l.logDataInt64(nullptr, 1); }, false, ""},
};

INSTANTIATE_TEST_SUITE_P(Log, LogDataNumber, ::testing::ValuesIn(kNumberCases),
                         [](const auto& info) { return Str(info.param.name); });

TEST(LogTickCount, LowerCaseHexOfTheTickCount) {
    Logger log;
    uint32_t before = platform::tickCount();
    log.logTickCount(" start time ");
    uint32_t after = platform::tickCount();
    Str report = textOf(log);
    const Str prefix = lines({kRoot}) + "  start_time: ";
    ASSERT_EQ(report.compare(0, prefix.size(), prefix), 0) << report;
    Str value = report.substr(prefix.size(), report.size() - prefix.size() - 2);
    ASSERT_FALSE(value.empty());
    EXPECT_EQ(value.find_first_not_of("0123456789abcdef"), Str::npos) << value;
    uint32_t logged = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 16));
    // Modular arithmetic: correct even when the counter wraps between the two reads.
    EXPECT_LE(logged - before, after - before);
}

TEST(LogTickCount, BlankNameLogsNothing) {
    Logger log;
    log.logTickCount("  ");
    log.logTickCount(nullptr);
    EXPECT_EQ(textOf(log), lines({kRoot}));
}

// ---- lines -----------------------------------------------------------------------------------

TEST(LogLines, NullMessagesAddNothingAndReturnTrue) {
    Logger log;
    EXPECT_TRUE(log.logError(nullptr));
    EXPECT_TRUE(log.logInfo(nullptr));
    EXPECT_TRUE(log.logXmlFragment(nullptr));
    EXPECT_EQ(xmlOf(log), lines({"<QuenlixLog>", "</QuenlixLog>"}));
}

TEST(LogLines, AllOperationsReturnTrue) {
    Logger log;
    EXPECT_TRUE(log.logError("e"));
    EXPECT_TRUE(log.logInfo("i"));
    EXPECT_TRUE(log.logXmlFragment("<x/>"));
    EXPECT_TRUE(log.enterContext("c"));
    EXPECT_TRUE(log.leaveContext());
    EXPECT_TRUE(log.leaveContext());
    EXPECT_TRUE(log.clearLog());
}

// ---- contexts --------------------------------------------------------------------------------

// Steps, separated by blanks: "+name" enters a context, "-" leaves one, "i:text" and "e:text" add
// an info or error line, "!" clears the log.
struct ContextCase {
    const char* name;
    const char* steps;
    Str text; // expected text report
};
void PrintTo(const ContextCase& c, std::ostream* os) {
    *os << c.name;
}

class LogContexts : public ::testing::TestWithParam<ContextCase> {};

TEST_P(LogContexts, Tree) {
    Logger log;
    std::istringstream steps(GetParam().steps);
    for (Str step; steps >> step;) {
        if (step[0] == '+')
            log.enterContext(step.c_str() + 1);
        else if (step == "-")
            log.leaveContext();
        else if (step == "!")
            log.clearLog();
        else if (step.compare(0, 2, "i:") == 0)
            log.logInfo(step.c_str() + 2);
        else if (step.compare(0, 2, "e:") == 0)
            log.logError(step.c_str() + 2);
        else
            ADD_FAILURE() << "unknown step " << step;
    }
    EXPECT_EQ(textOf(log), GetParam().text);
}

const ContextCase kContextCases[] = {
    {"LeaveAtRootDoesNothing", "-", lines({kRoot})},
    {"EmptyContextUnderRootStays", "+A -", lines({kRoot, "  A:"})},
    {"EmptyNestedContextPruned", "+A +B -", lines({kRoot, "  A:"})},
    {"PrunedThenOuterStays", "+A +B - -", lines({kRoot, "  A:"})},
    {"PruningCascades", "+A +B +C - - -", lines({kRoot, "  A:"})},
    {"NestedContextWithEntryKept", "+A +B i:x - -", lines({kRoot, "  A:", "    B:", "      x"})},
    {"OuterEmptiedByPruning", "+A +B +C - - i:after", lines({kRoot, "  A:", "    after"})},
    {"OnlyTheLastChildIsPruned", "+A +B i:x - +C - -", lines({kRoot, "  A:", "    B:", "      x"})},
    {"SiblingsInOrder", "+A i:1 - i:2 +B e:3 -",
     lines({kRoot, "  A:", "    1", "  2", "  B:", "    3"})},
    {"SurplusLeavesHarmless", "+A - - - - - i:x", lines({kRoot, "  A:", "  x"})},
    {"ClearForgetsOpenContexts", "+A +B i:gone ! i:i", lines({kRoot, "  i"})},
    {"ClearThenLeaveAtRoot", "+A ! - i:x", lines({kRoot, "  x"})},
};

INSTANTIATE_TEST_SUITE_P(Log, LogContexts, ::testing::ValuesIn(kContextCases),
                         [](const auto& info) { return Str(info.param.name); });

TEST(LogContexts, NameCopiedAsIs) {
    Logger log;
    log.enterContext(" a b ");
    log.logInfo("x");
    EXPECT_EQ(textOf(log), lines({kRoot, "   a b :", "    x"}));
    EXPECT_EQ(xmlOf(log),
              lines({"<QuenlixLog>", "< a b >", "<info>x</info>", "</ a b >", "</QuenlixLog>"}));
}

// A context nested far deeper than any call makes: renders and is destroyed without recursion
// running out of stack.
TEST(LogContexts, VeryDeepTree) {
    const int depth = 100000;
    Str xml;
    {
        Logger log;
        for (int i = 0; i < depth; ++i)
            log.enterContext("c");
        log.logInfo("bottom");
        xml = xmlOf(log);
        Str html = logtest::htmlOf(log);
        EXPECT_EQ(html.size(), Str("QuenlixLog:<blockquote>\r\n</blockquote>\r\n").size() +
                                   depth * Str("c:<blockquote>\r\n</blockquote>\r\n").size() +
                                   Str("bottom<br>\r\n").size());
    }
    const Str open = "<c>\r\n", close = "</c>\r\n";
    const Str bottomLine = "<info>bottom</info>\r\n";
    ASSERT_EQ(xml.size(), Str("<QuenlixLog>\r\n</QuenlixLog>\r\n").size() +
                              depth * (open.size() + close.size()) + bottomLine.size());
    EXPECT_EQ(xml.compare(0, 14 + 5, "<QuenlixLog>\r\n<c>\r\n"), 0);
    size_t mid = 14 + depth * open.size();
    EXPECT_EQ(xml.compare(mid, bottomLine.size(), bottomLine), 0);
}

TEST(LogContexts, TextIndentsTwoSpacesPerLevel) {
    const int depth = 1000;
    Logger log;
    for (int i = 0; i < depth; ++i)
        log.enterContext("c");
    log.logInfo("bottom");
    Str text = textOf(log);
    // The contexts sit at depths 1 to depth, the entry one level below the innermost.
    const Str last = Str(2 * (depth + 1), ' ') + "bottom\r\n";
    ASSERT_GE(text.size(), last.size());
    EXPECT_EQ(text.substr(text.size() - last.size()), last);
    // The line before it: the innermost context.
    const Str inner = Str(2 * depth, ' ') + "c:\r\n";
    EXPECT_EQ(text.substr(text.size() - last.size() - inner.size(), inner.size()), inner);
}

// ---- the shared bodies of LogBase -------------------------------------------------------------

// Records what reaches the virtual logData, to see what the shared bodies hand down.
class RecordingLog : public LogBase {
public:
    bool logData(const char* name, const char* value) override {
        calls.push_back(Str(name ? name : "<null>") + "=" + (value ? value : "<null>"));
        return true;
    }
    std::vector<Str> calls;
};

TEST(LogBaseBodies, DoNothingLog) {
    LogBase log;
    StringBuffer out("keep");
    log.getText(out);
    log.getXml(out);
    log.getHtml(out);
    EXPECT_STREQ(out.getString(), "keep");
    EXPECT_TRUE(log.logError("e"));
    EXPECT_TRUE(log.logInfo("i"));
    EXPECT_TRUE(log.logXmlFragment("x"));
    EXPECT_TRUE(log.clearLog());
    EXPECT_TRUE(log.enterContext("c"));
    EXPECT_TRUE(log.leaveContext());
    EXPECT_TRUE(log.logData("   ", "v"));
    EXPECT_TRUE(log.logDataLong("n", 1));
    EXPECT_TRUE(log.logDataInt64("n", 1));
    EXPECT_TRUE(log.logDataHex("n", 1));
    EXPECT_TRUE(log.saveXml("unused"));
    log.logTickCount("t");
    log.logOsError(2);
    log.logDataQP("n", "v");
}

TEST(LogBaseBodies, OsErrorZeroLogsNothing) {
    RecordingLog rec;
    rec.logOsError(0);
    EXPECT_TRUE(rec.calls.empty());
    Logger log;
    log.logOsError(0);
    EXPECT_EQ(textOf(log), lines({kRoot}));
}

TEST(LogBaseBodies, OsErrorLogsTrimmedSystemText) {
    Str system = platform::errorMessageText(2);
    ASSERT_FALSE(system.empty());
    while (!system.empty() &&
           (system.back() == '\r' || system.back() == '\n' || system.back() == ' '))
        system.pop_back();
    RecordingLog rec;
    rec.logOsError(2);
    ASSERT_EQ(rec.calls.size(), 1u);
    EXPECT_EQ(rec.calls[0], "WindowsError=" + system);

    Logger log;
    log.logOsError(2);
    EXPECT_EQ(textOf(log), lines({kRoot, "  WindowsError: " + system}));
}

struct QpCase {
    const char* name;
    const char* text;
    Str value;
};
void PrintTo(const QpCase& c, std::ostream* os) {
    *os << c.name;
}

class LogDataQp : public ::testing::TestWithParam<QpCase> {};

TEST_P(LogDataQp, Encoded) {
    RecordingLog rec;
    rec.logDataQP("file", GetParam().text);
    ASSERT_EQ(rec.calls.size(), 1u);
    EXPECT_EQ(rec.calls[0], "file=" + GetParam().value);
}

const QpCase kQpCases[] = {
    {"TrailingBlank", "a b ", "a b=20"},
    {"LeadingFullStop", ".x", "=2Ex"},
    {"FromAtLineStart", "From here", "=46rom here"},
    {"HighByte", "\xE9", "=E9"},
    {"EqualsSign", "a=b", "a=3Db"},
    {"WindowsPath", "c:\\temp\\a b.csv", "c:\\temp\\a b.csv"},
    {"Empty", "", ""},
    {"Null", nullptr, ""},
    {"SoftBreakAfter72",
     "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
     "aaaaaaaaaaaaaaaaaaaaaaaa",
     Str(72, 'a') + "=\r\n" + Str(28, 'a')},
};

INSTANTIATE_TEST_SUITE_P(Log, LogDataQp, ::testing::ValuesIn(kQpCases),
                         [](const auto& info) { return Str(info.param.name); });

TEST(LogDataQp, LoggerStoresEncodedValue) {
    Logger log;
    log.logDataQP(" file name ", "\xE9t\xE9.csv");
    EXPECT_EQ(textOf(log), lines({kRoot, "  file_name: =E9t=E9.csv"}));
}

// ---- several threads on one log ---------------------------------------------------------------

// Writers log numbered items while a reader renders reports. Every snapshot must be a complete
// report in which each writer's items form an unbroken run from its first item, and at the end
// every item must be there exactly once, in its writer's order.
TEST(LogThreads, ConcurrentWritersAndReaders) {
    const int kWriters = 4;
    const int kItems = 1500;
    Logger log;
    std::atomic<int> writersDone{0};
    std::atomic<int> snapshots{0};
    std::atomic<bool> readerFailed{false};
    Str failure;

    // Checks one XML report; returns an empty string when it is sound.
    auto check = [&](const Str& xml, bool complete) -> Str {
        const Str head = "<QuenlixLog>\r\n", tail = "</QuenlixLog>\r\n";
        if (xml.compare(0, head.size(), head) != 0) return "bad head";
        if (xml.size() < head.size() + tail.size() ||
            xml.compare(xml.size() - tail.size(), tail.size(), tail) != 0)
            return "bad tail";
        std::vector<int> next(kWriters, 0);
        size_t pos = head.size();
        const size_t end = xml.size() - tail.size();
        while (pos < end) {
            size_t eol = xml.find("\r\n", pos);
            if (eol == Str::npos || eol >= end) return "torn line";
            Str line = xml.substr(pos, eol - pos);
            pos = eol + 2;
            // <wK>K:I</wK> or <info>K:I</info>: read K and I, then compare the whole line.
            int k = -1, i = -1;
            size_t gt = line.find('>');
            if (gt == Str::npos || std::sscanf(line.c_str() + gt + 1, "%d:%d", &k, &i) != 2)
                return "unexpected line: " + line;
            if (k < 0 || k >= kWriters) return "bad writer: " + line;
            if (i != next[k]) return "out of order: " + line;
            ++next[k];
            if (line != (i % 2 ? "<info>" + std::to_string(k) + ":" + std::to_string(i) + "</info>"
                               : "<w" + std::to_string(k) + ">" + std::to_string(k) + ":" +
                                     std::to_string(i) + "</w" + std::to_string(k) + ">"))
                return "wrong entry: " + line;
        }
        if (complete)
            for (int k = 0; k < kWriters; ++k)
                if (next[k] != 2 * kItems) return "missing entries of writer " + std::to_string(k);
        return Str();
    };

    std::thread reader([&] {
        while (writersDone.load() < kWriters && !readerFailed.load()) {
            Str xml = xmlOf(log);
            Str text = textOf(log);
            Str problem = check(xml, false);
            if (problem.empty() && (text.compare(0, kRoot.size() + 2, kRoot + "\r\n") != 0))
                problem = "bad text report";
            if (!problem.empty()) {
                failure = problem;
                readerFailed = true;
            }
            ++snapshots;
        }
    });
    std::vector<std::thread> writers;
    for (int k = 0; k < kWriters; ++k) {
        writers.emplace_back([&, k] {
            Str name = "w" + std::to_string(k);
            for (int i = 0; i < 2 * kItems; ++i) {
                Str value = std::to_string(k) + ":" + std::to_string(i);
                if (i % 2)
                    log.logInfo(value.c_str());
                else
                    log.logData(name.c_str(), value.c_str());
            }
            ++writersDone;
        });
    }
    for (std::thread& t : writers)
        t.join();
    reader.join();
    EXPECT_FALSE(readerFailed.load()) << failure;
    EXPECT_GT(snapshots.load(), 0);
    EXPECT_EQ(check(xmlOf(log), true), "");
}

} // namespace

#ifdef QX_FAULT_INJECTION
#include "platform/FaultInjection.h"

namespace {

// Whichever allocation of enterContext fails, the log goes on working: the context is either
// there, or left out of the report together with what was aimed at it, or missing with its
// entries landing in the parent. Nothing leaks (the ASan build checks).
TEST(LogAllocationFailure, EnterContextLeavesAWorkingLog) {
    const Str full =
        lines({"<QuenlixLog>", "<A>", "<info>y</info>", "</A>", "<info>z</info>", "</QuenlixLog>"});
    const Str contextDropped =
        lines({"<QuenlixLog>", "<info>y</info>", "<info>z</info>", "</QuenlixLog>"});
    const Str contextHidden = lines({"<QuenlixLog>", "<info>z</info>", "</QuenlixLog>"});
    bool sawFull = false;
    for (long failing = 0; failing < 10; ++failing) {
        Logger log;
        FaultInjection::failAllocationAfter = failing;
        log.enterContext("A");
        FaultInjection::reset();
        log.logInfo("y");
        log.leaveContext();
        log.logInfo("z");
        Str xml = xmlOf(log);
        EXPECT_TRUE(xml == full || xml == contextDropped || xml == contextHidden)
            << "failing allocation " << failing << ":\n"
            << xml;
        sawFull = sawFull || xml == full;
    }
    EXPECT_TRUE(sawFull); // the later counts fail nothing enterContext needs
}

TEST(LogAllocationFailure, FailedLeafIsLeftOut) {
    for (long failing = 0; failing < 6; ++failing) {
        Logger log;
        log.logInfo("a");
        FaultInjection::failAllocationAfter = failing;
        EXPECT_TRUE(log.logInfo("b"));
        EXPECT_TRUE(log.logData("k", "v"));
        FaultInjection::reset();
        log.logInfo("c");
        // Each of the two entries is there whole or not at all.
        Str text = textOf(log);
        bool ok = false;
        for (const Str& b : {Str(), Str("  b\r\n")})
            for (const Str& k : {Str(), Str("  k: v\r\n")})
                ok = ok || text == lines({kRoot, "  a"}) + b + k + "  c\r\n";
        EXPECT_TRUE(ok) << "failing allocation " << failing << ":\n" << text;
    }
}

} // namespace
#endif
