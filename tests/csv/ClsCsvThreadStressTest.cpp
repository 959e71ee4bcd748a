// Many threads at once on CSV document objects: one object per thread while the code-page tables
// are still cold, then one object shared by workers and last-error readers. These suites are a
// program of their own (qx_thread_stress), so that nothing has warmed the tables before them.
#include "csv/CsvTestSupport.h"
#include "encoding/Charset.h"
#include "encoding/tables/TableStore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using csvtest::Rows;
using csvtest::utf8;
using csvtest::X;

// What one thread found wrong; it stops at its first problem. `checked` counts the non-trivial
// things it looked at (table lines, reports), so that a run that saw nothing cannot pass.
struct Problems {
    std::vector<std::string> list;
    long checked = 0;
    bool any() const { return !list.empty(); }
};
#define STRESS_CHECK(problems, cond, what)                                                         \
    do {                                                                                           \
        if (!(cond)) (problems).list.push_back(std::string(#cond) + " -- " + (what));              \
    } while (0)

std::string cellOf(ClsCsv& csv, int r, int c) {
    return utf8([&](XString& s) { csv.GetCell(r, c, s); });
}
std::string nameOf(ClsCsv& csv, int i) {
    return utf8([&](XString& s) { csv.GetColumnName(i, s); });
}
std::string savedText(ClsCsv& csv) {
    return utf8([&](XString& s) { csv.SaveToString(s); });
}

// Starts n threads on body(index) at the same moment, waits for all, reports their problems.
template <class F> void runTogether(std::vector<Problems>& problems, F body) {
    const int n = static_cast<int>(problems.size());
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < n; ++i)
        threads.emplace_back([&, i] {
            for (ready.fetch_add(1); ready.load() < n;)
                std::this_thread::yield();
            body(i, problems[i]);
        });
    for (std::thread& t : threads)
        t.join();
    for (int t = 0; t < n; ++t)
        for (const std::string& what : problems[t].list)
            ADD_FAILURE() << "thread " << t << ": " << what;
}

std::string quote(const std::string& v) {
    if (v.find_first_of(",;\"") == std::string::npos) return v;
    std::string out = "\"";
    for (char ch : v)
        out += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    return out + "\"";
}

// ---- one object per thread, cold tables ------------------------------------------------------

// Words each charset can hold; not the system's ANSI code page, which the shared-object suite
// warms. ISO-2022-JP goes through the Shift_JIS tables, so two charsets meet on one table.
const struct CharsetWords {
    const char* charset;
    const char* words[3];
} kCharsets[] = {
    {"shift_jis", {"東京", "ｶﾀｶﾅ", "漢字"}},
    {"iso-2022-jp", {"日本語", "ひらがな", "カタカナ"}},
    {"gb2312", {"北京", "中文", "简体"}},
    {"big5", {"臺北", "繁體", "中文"}},
    {"ks_c_5601-1987", {"서울", "한국어", "김치"}},
    {"euc-kr", {"부산", "안녕", "한글"}},
    {"windows-1250", {"Łódź", "Žluťoučký", "kůň"}},
    {"ibm037", {"Zoë", "Köln", "½¢"}},
    {"koi8-r", {"Москва", "привет", "ёж"}},
    {"windows-1251", {"Київ", "Ґрунт", "мир"}},
    {"iso-8859-7", {"Αθήνα", "καλημέρα", "Ωμέγα"}},
    {"utf-16", {"Zoë", "東京", "한국"}},
    {"utf-7", {"a+b", "Ωmega", "日本"}},
};
const int kCharsetCount = static_cast<int>(sizeof kCharsets / sizeof kCharsets[0]);

// Row 0 of t holds the names when names is set.
void expectTable(ClsCsv& csv, const Rows& t, bool names, char d, Problems& p,
                 const std::string& at) {
    STRESS_CHECK(p, csv.get_NumRows() == static_cast<int>(t.size()) - names, at);
    STRESS_CHECK(p, utf8([&](XString& s) { csv.get_Delimiter(s); }) == std::string(1, d), at);
    for (int r = 0; r < static_cast<int>(t.size()); ++r)
        for (int c = 0; c < 3; ++c) {
            const std::string& v = t[r][c];
            const std::string where = at + " " + std::to_string(r) + "," + std::to_string(c);
            if (names && r == 0)
                STRESS_CHECK(p, nameOf(csv, c) == v && csv.GetIndex(X(v)) == c, where);
            if (r >= names) STRESS_CHECK(p, cellOf(csv, r - names, c) == v, where);
        }
}

// Loads a table of the charset's words from a string, edits a cell, saves it in the charset and
// loads the file again.
void roundTrip(ClsCsv& csv, const CharsetWords& cs, int thread, int round, const std::string& path,
               Problems& p) {
    const bool names = (thread + round) % 2;
    const char d = (thread / 2 + round) % 2 ? ';' : ',';
    const std::string mark = "-" + std::to_string(thread) + "." + std::to_string(round) + ".";
    const std::string at = cs.charset + mark + (names ? " names" : "");
    Rows t; // the first line holds no other delimiter and no quote, so that d is detected
    std::string text;
    for (int r = 0; r < 4; ++r) {
        t.emplace_back();
        for (int c = 0; c < 3; ++c) {
            const std::string v = cs.words[(r + c) % 3] + mark + std::to_string(r * 3 + c);
            t.back().push_back(r > 1 && c == 1 ? v + ", \"q\"; x" : v);
            text += quote(t.back().back()) + (c < 2 ? std::string(1, d) : "\r\n");
        }
    }
    csv.put_Delimiter(X(d == ',' ? ";" : ",")); // does not survive the load
    csv.put_HasColumnNames(names);
    STRESS_CHECK(p, csv.LoadFromString(X(text)), at);
    expectTable(csv, t, names, d, p, at + " loaded");
    t[2][2] = std::string("say \"") + cs.words[2] + "\", then; stop";
    STRESS_CHECK(p, csv.SetCell(2 - names, 2, X(t[2][2])), at);
    STRESS_CHECK(p, csv.SaveFile2(X(path), X(cs.charset)), at);
    STRESS_CHECK(p, csv.LoadFile2(X(path), X(cs.charset)), at);
    expectTable(csv, t, names, d, p, at + " read back");
}

TEST(ThreadStressCharsets, EightObjectsRoundTripWhileTheTablesAreFirstBuilt) {
    std::set<int> tables;
    for (const CharsetWords& cs : kCharsets)
        if (TableStore::hasTable(charsetNameToCodePage(cs.charset)))
            tables.insert(charsetNameToCodePage(cs.charset));
    ASSERT_GE(tables.size(), 10u);
    for (int cp : tables)
        for (bool reverse : {false, true})
            ASSERT_EQ(TableStore::buildCount(cp, reverse), 0)
                << "code page " << cp << " is warm already: run these suites on their own";
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    std::vector<Problems> problems(8);
    runTogether(problems, [&](int t, Problems& p) {
        ClsCsv csv;
        const std::string path = dir.utf8Path("t" + std::to_string(t) + ".csv");
        // Half the threads walk the charsets backwards: threads meet on one cold table at once
        // as well as on different ones.
        for (int round = 0; round < 3; ++round)
            for (int i = 0; i < kCharsetCount && !p.any(); ++i)
                roundTrip(csv, kCharsets[t % 2 ? kCharsetCount - 1 - i : i], t, round, path, p);
    });
    for (int cp = 1; cp < 65536; ++cp)
        for (bool reverse : {false, true})
            if (TableStore::hasTable(cp)) { // once each, and the tables used all built
                EXPECT_LE(TableStore::buildCount(cp, reverse), 1) << cp;
                EXPECT_TRUE(!tables.count(cp) || TableStore::buildCount(cp, reverse) == 1) << cp;
            }
}

// ---- one object, many threads ----------------------------------------------------------------

// Table k has 3 + k columns and 2 + k lines; every cell names its table, line and column, and
// column 1 of every line but the first holds a quoted comma. Workers write "w<thread>.<col>"
// into cells and "n<thread>.<col>" as names, always into the column the value names, so that
// under any interleaving the lock allows, every cell stays in its column and every line whole.
const int kTables = 4, kMaxRow = 5, kMaxColumns = 3 + kTables - 1; // rows and columns alike
const int kWorkers = 4, kReaders = 2, kWorkerOps = 700;
const char* const kAsciiCharsets[] = {"utf-8", "windows-1254", "iso-8859-15", "us-ascii"};
const std::string kMethods = " LoadFile LoadFile2 LoadFromString SaveFile SaveFile2 SaveToString ";

std::string tableCell(int k, int line, int col) {
    const std::string v =
        "k" + std::to_string(k) + "." + std::to_string(line) + "." + std::to_string(col);
    return line > 0 && col == 1 ? v + ",x" : v;
}

std::string tableText(int k, const char* eol) {
    std::string out;
    for (int line = 0; line < 2 + k; ++line, out += eol)
        for (int c = 0; c < 3 + k; ++c)
            out += (c ? "," : "") + quote(tableCell(k, line, c));
    return out;
}

// Recognises exactly the values the test puts in: kind 'k' (a table cell, with k and line), 'w'
// (a written cell) or 'n' (a name), and the column; false for anything else.
bool parseTag(const std::string& v, char& kind, int& k, int& line, int& col) {
    int t = -1;
    kind = v.empty() ? 0 : v[0];
    if (kind == 'k' && std::sscanf(v.c_str(), "k%d.%d.%d", &k, &line, &col) == 3)
        return k >= 0 && k < kTables && line >= 0 && line < 2 + k && col >= 0 && col < 3 + k &&
               v == tableCell(k, line, col);
    return (kind == 'w' || kind == 'n') && std::sscanf(v.c_str() + 1, "%d.%d", &t, &col) == 2 &&
           v == kind + std::to_string(t) + "." + std::to_string(col);
}

bool inColumn(const std::string& v, int col) {
    char kind;
    int k, line, c = -1;
    return v.empty() || (parseTag(v, kind, k, line, c) && c == col);
}

// A saved text, read back by a private object: every cell is a value that was put into that
// column, and the table lines all come from one load, in order and with their field count.
void checkSnapshot(const std::string& text, ClsCsv& parser, Problems& p) {
    parser.put_HasColumnNames(false);
    STRESS_CHECK(p, parser.LoadFromString(X(text)), text);
    parser.put_Delimiter(X(",")); // a leading empty line would make the load detect ';'
    STRESS_CHECK(p, parser.get_NumRows() <= kMaxRow + 2, text);
    for (int r = 0, table = -1, lastLine = -1; r < parser.get_NumRows() && !p.any(); ++r) {
        const int cols = parser.GetNumCols(r);
        int line = -1;
        for (int c = 0; c < cols; ++c) {
            const std::string v = cellOf(parser, r, c);
            char kind;
            int k = -1, l = -1, col = -1;
            if (v.empty()) continue;
            STRESS_CHECK(p, parseTag(v, kind, k, l, col) && col == c,
                         v + " in column " + std::to_string(c));
            if (kind != 'k') continue;
            STRESS_CHECK(p, (table < 0 || table == k) && (line < 0 || line == l),
                         "two tables or lines in one row:\n" + text);
            table = k, line = l;
        }
        if (line < 0) continue;
        STRESS_CHECK(p, line > lastLine && cols == 3 + table,
                     "lines out of order or short:\n" + text);
        lastLine = line;
        ++p.checked;
    }
}

// Every report is a prefix of one logged call's record, with CR LF line ends only: the method,
// the header items in order, "Success." or "Failed." only last. The XML and HTML forms (whose
// rendering the log's own suites check) are checked for their frame.
void checkReport(const std::string& report, int form, Problems& p) {
    if (form == 1) {
        const std::string root = "<QuenlixLog>\r\n", end = "</QuenlixLog>\r\n";
        STRESS_CHECK(p,
                     report.compare(0, root.size(), root) == 0 && report.size() >= end.size() &&
                         report.compare(report.size() - end.size(), end.size(), end) == 0,
                     report);
        return;
    }
    std::vector<std::string> lines;
    for (size_t start = 0, end; start < report.size(); start = end + 2) {
        end = report.find("\r\n", start);
        STRESS_CHECK(p, end != std::string::npos, report);
        if (end == std::string::npos) return;
        lines.push_back(report.substr(start, end - start));
        STRESS_CHECK(p, lines.back().find_first_of("\r\n") == std::string::npos, report);
    }
    if (form == 2) {
        STRESS_CHECK(p, !lines.empty() && lines[0] == "QuenlixLog:<blockquote>", report);
        return;
    }
    STRESS_CHECK(p, !lines.empty() && lines[0] == "QuenlixLog:", report);
    if (lines.size() < 2) return;
    ++p.checked;
    const std::string& m = lines[1];
    STRESS_CHECK(p,
                 m.size() > 3 && m.back() == ':' &&
                     kMethods.find(" " + m.substr(2, m.size() - 3) + " ") != std::string::npos,
                 report);
    const std::string header[] = {"    DllDate: ", "    Username: ", "    Component: "};
    for (size_t i = 2; i < lines.size() && i < 5; ++i)
        STRESS_CHECK(p, lines[i].compare(0, header[i - 2].size(), header[i - 2]) == 0, report);
    for (size_t i = 2; i + 1 < lines.size(); ++i)
        STRESS_CHECK(p, lines[i] != "    Success." && lines[i] != "    Failed.", report);
}

void worker(ClsCsv& csv, int t, const testfs::TempDir& dir, Problems& p) {
    std::mt19937 rng(7919u * static_cast<unsigned>(t + 1));
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    ClsCsv parser;
    const std::string own = dir.utf8Path("saved" + std::to_string(t) + ".csv");
    for (int op = 0; op < kWorkerOps && !p.any(); ++op) {
        const int k = pick(kTables), c = pick(3), r = pick(kMaxRow + 1);
        const std::string at = "op " + std::to_string(op), tag = std::to_string(t) + ".";
        const std::string table = dir.utf8Path("table" + std::to_string(k) + ".csv");
        const char* charset = pick(2) ? kAsciiCharsets[pick(4)] : nullptr;
        bool ok = false;
        std::string v;
        switch (pick(13)) {
        case 0: // every table detects ',', so the delimiter never reads otherwise
            csv.put_Crlf(pick(2) == 0);
            csv.put_HasColumnNames(pick(2) == 0);
            csv.put_Delimiter(X(","));
            STRESS_CHECK(p, utf8([&](XString& s) { csv.get_Delimiter(s); }) == ",", at);
            break;
        case 1:
            for (int n : {csv.get_NumRows(), csv.get_NumColumns(), csv.GetNumCols(r - 1)})
                STRESS_CHECK(p, n >= 0 && n <= kMaxColumns, at + ": " + std::to_string(n));
            break;
        case 2:
            v = utf8([&](XString& s) { ok = csv.GetCell(r, c + k, s); });
            STRESS_CHECK(p, inColumn(v, c + k) && (ok || v.empty()), at + ": " + v);
            break;
        case 3:
            STRESS_CHECK(p, inColumn(nameOf(csv, c + k), c + k), at);
            break;
        case 4: {
            const int i = csv.GetIndex(X(
                pick(2) ? tableCell(k, 0, c) : "n" + std::to_string(k) + "." + std::to_string(c)));
            STRESS_CHECK(p, i == -1 || i == c, at + ": " + std::to_string(i));
            break;
        }
        case 5:
            STRESS_CHECK(p, csv.SetCell(r, c, X("w" + tag + std::to_string(c))), at);
            break;
        case 6:
            STRESS_CHECK(p, csv.SetColumnName(c, X("n" + tag + std::to_string(c))), at);
            break;
        case 7:
            STRESS_CHECK(p, csv.LoadFromString(X(tableText(k, "\n"))), at);
            break;
        case 8:
            STRESS_CHECK(p, charset ? csv.LoadFile2(X(table), X(charset)) : csv.LoadFile(X(table)),
                         at);
            break;
        case 9:
        case 10:
            checkSnapshot(savedText(csv), parser, p);
            break;
        default:
            STRESS_CHECK(p, charset ? csv.SaveFile2(X(own), X(charset)) : csv.SaveFile(X(own)), at);
            checkSnapshot(testfs::contentsOf(own), parser, p);
        }
    }
}

void reader(ClsCsv& csv, int t, const testfs::TempDir& dir, const std::atomic<int>& busy,
            Problems& p) {
    const std::string name = dir.utf8Path("report" + std::to_string(t) + ".xml");
    for (int i = 0; busy.load() > 0 && i < 50 * kWorkerOps && !p.any(); ++i) {
        XString s;
        const int form = i % 4;
        if (form == 0) csv.lastErrorText(s, true);
        if (form == 1) csv.lastErrorXml(s, true);
        if (form == 2) csv.lastErrorHtml(s, true);
        if (form < 3) {
            checkReport(s.getUtf8(), form, p);
        } else if (i % 64 == 3) { // the saved report is the XML form without any line-end pass
            STRESS_CHECK(p, csv.saveLastError(X(name)), name);
            checkReport(testfs::contentsOf(name), 1, p);
        }
    }
}

TEST(ThreadStressSharedObject, WorkersAndReportReadersOnOneObject) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    for (int k = 0; k < kTables; ++k)
        ASSERT_TRUE(
            testfs::writeAll(dir.path("table" + std::to_string(k) + ".csv"), tableText(k, "\r\n")));
    ClsCsv csv;
    std::vector<Problems> problems(kWorkers + kReaders);
    std::atomic<int> busy{kWorkers};
    runTogether(problems, [&](int t, Problems& p) {
        if (t >= kWorkers) return reader(csv, t, dir, busy, p);
        worker(csv, t, dir, p);
        busy.fetch_sub(1);
    });
    for (int t = 0; t < kWorkers + kReaders; ++t) // every thread saw tables or logged calls
        EXPECT_GT(problems[t].checked, t < kWorkers ? kWorkerOps / 20 : 10) << t;
    ClsCsv parser; // the object is still whole: what it holds saves to a consistent text
    Problems last;
    checkSnapshot(savedText(csv), parser, last);
    EXPECT_TRUE(last.list.empty()) << (last.any() ? last.list[0] : "");
}

} // namespace
