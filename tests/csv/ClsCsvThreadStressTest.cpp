// Many threads at once on CSV document objects: one object per thread while the code-page tables
// are still cold, then one object shared by workers and last-error readers. These suites are a
// program of their own (qx_thread_stress), so that nothing has warmed the tables before them.
#include "csv/CsvTestSupport.h"
#include "encoding/Charset.h"
#include "encoding/tables/TableStore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using csvtest::utf8;
using csvtest::X;

// What one thread found wrong. A thread stops at its first problem, so that a broken build
// reports a few telling lines; `checked` counts the non-trivial things it looked at (table
// lines, method records), so that a run that saw nothing cannot pass.
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

// Starts n threads on body(index) at the same moment and waits for all of them.
template <class F> void runTogether(int n, F body) {
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < n; ++i)
        threads.emplace_back([&, i] {
            ready.fetch_add(1);
            while (ready.load() < n)
                std::this_thread::yield();
            body(i);
        });
    for (std::thread& t : threads)
        t.join();
}

void report(const std::vector<Problems>& problems) {
    for (size_t t = 0; t < problems.size(); ++t)
        for (const std::string& what : problems[t].list)
            ADD_FAILURE() << "thread " << t << ": " << what;
}

// ---- one object per thread, cold tables ------------------------------------------------------

// Words each charset can hold. The system's ANSI code page is left out: the shared-object suite
// warms it. ISO-2022-JP goes through the Shift_JIS tables, so two charsets meet on one table.
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

struct Table {
    std::vector<std::string> names; // empty: no column-name line
    std::vector<std::vector<std::string>> rows;
};

std::string quoted(const std::string& v, char d) {
    if (v.find(d) == std::string::npos && v.find('"') == std::string::npos) return v;
    std::string out = "\"";
    for (char ch : v)
        out += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    return out + "\"";
}

std::string csvText(const Table& t, char d, const char* eol) {
    std::string out;
    auto line = [&](const std::vector<std::string>& cells) {
        for (size_t c = 0; c < cells.size(); ++c)
            out += (c ? std::string(1, d) : std::string()) + quoted(cells[c], d);
        out += eol;
    };
    if (!t.names.empty()) line(t.names);
    for (const auto& r : t.rows)
        line(r);
    return out;
}

// The first line holds no other delimiter and no quote, so that the load detects d from it.
Table makeTable(const CharsetWords& cs, const std::string& mark, bool names) {
    Table t;
    for (int c = 0; c < 3 && names; ++c)
        t.names.push_back(std::string(cs.words[c]) + "#" + std::to_string(c));
    for (int r = 0; r < 3; ++r) {
        t.rows.emplace_back();
        for (int c = 0; c < 3; ++c) {
            std::string v = std::string(cs.words[(r + c) % 3]) + mark + std::to_string(r * 3 + c);
            t.rows.back().push_back(r > 0 && c == 1 ? v + ", \"q\"; x" : v);
        }
    }
    return t;
}

void expectTable(ClsCsv& csv, const Table& want, char d, Problems& p, const std::string& where) {
    STRESS_CHECK(p, csv.get_NumRows() == static_cast<int>(want.rows.size()), where);
    STRESS_CHECK(p, utf8([&](XString& s) { csv.get_Delimiter(s); }) == std::string(1, d), where);
    for (int r = 0; r < static_cast<int>(want.rows.size()); ++r) {
        const std::vector<std::string>& row = want.rows[static_cast<size_t>(r)];
        STRESS_CHECK(p, csv.GetNumCols(r) == static_cast<int>(row.size()), where);
        for (int c = 0; c < static_cast<int>(row.size()); ++c)
            STRESS_CHECK(p, cellOf(csv, r, c) == row[static_cast<size_t>(c)],
                         where + " cell " + std::to_string(r) + "," + std::to_string(c));
    }
    STRESS_CHECK(p, csv.get_HasColumnNames() == !want.names.empty(), where);
    for (int i = 0; i < static_cast<int>(want.names.size()); ++i) {
        STRESS_CHECK(p, nameOf(csv, i) == want.names[static_cast<size_t>(i)], where);
        STRESS_CHECK(p, csv.GetIndex(X(want.names[static_cast<size_t>(i)])) == i, where);
    }
}

// Load, edit, save in the charset, load the file again, and the same through a string.
void roundTrip(ClsCsv& csv, const CharsetWords& cs, int thread, int round, const std::string& path,
               Problems& p) {
    const int mode = (thread + round) % 3; // 0: names loaded, 1: no names, 2: names set later
    const char d = (thread / 2 + round) % 2 ? ';' : ',';
    const std::string mark = "-" + std::to_string(thread) + "." + std::to_string(round) + ".";
    const std::string where = std::string(cs.charset) + mark + " mode " + std::to_string(mode);
    Table t = makeTable(cs, mark, mode == 0);

    csv.put_Delimiter(X(d == ',' ? ";" : ",")); // does not survive the load
    csv.put_HasColumnNames(mode == 0);
    STRESS_CHECK(p, csv.LoadFromString(X(csvText(t, d, round % 2 ? "\r\n" : "\n"))), where);
    expectTable(csv, t, d, p, where + " loaded");

    t.rows[1][2] = std::string("say \"") + cs.words[2] + "\", then; stop";
    STRESS_CHECK(p, csv.SetCell(1, 2, X(t.rows[1][2])), where);
    t.rows.push_back({cs.words[0], "", cs.words[1] + mark}); // one row more
    STRESS_CHECK(p, csv.SetCell(3, 0, X(t.rows[3][0])) && csv.SetCell(3, 2, X(t.rows[3][2])),
                 where);
    if (mode == 0) {
        t.names[1] = std::string(cs.words[0]) + mark + "renamed";
        STRESS_CHECK(p, csv.SetColumnName(1, X(t.names[1])), where);
    } else if (mode == 1) {
        csv.put_HasColumnNames(true); // an empty column-name line leads the text
        std::string s = savedText(csv);
        STRESS_CHECK(p, s.compare(0, 2, "\r\n") == 0, where + " got " + s.substr(0, 20));
        csv.put_HasColumnNames(false);
    } else {
        for (int c = 0; c < 3; ++c) {
            t.names.push_back(std::string(cs.words[c]) + mark + "set");
            STRESS_CHECK(p, csv.SetColumnName(c, X(t.names.back())), where);
        }
    }
    expectTable(csv, t, d, p, where + " edited");

    STRESS_CHECK(p, csv.SaveFile2(X(path), X(cs.charset)), where);
    csv.put_HasColumnNames(mode != 1);
    STRESS_CHECK(p, csv.LoadFile2(X(path), X(cs.charset)), where);
    expectTable(csv, t, d, p, where + " file read back");

    csv.put_Crlf(round % 2 == 0);
    STRESS_CHECK(p, csv.LoadFromString(X(savedText(csv))), where);
    csv.put_Crlf(true);
    expectTable(csv, t, d, p, where + " string read back");
}

TEST(ThreadStressCharsets, EightObjectsRoundTripWhileTheTablesAreFirstBuilt) {
    const int kThreads = 8, kRounds = 3;
    std::set<int> tables;
    for (const CharsetWords& cs : kCharsets) {
        int cp = charsetNameToCodePage(cs.charset);
        if (TableStore::hasTable(cp)) tables.insert(cp);
    }
    ASSERT_GE(tables.size(), 10u);
    for (int cp : tables)
        for (bool reverse : {false, true})
            ASSERT_EQ(TableStore::buildCount(cp, reverse), 0)
                << "code page " << cp << " is warm already: run these suites on their own";

    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    std::vector<Problems> problems(kThreads);
    runTogether(kThreads, [&](int t) {
        ClsCsv csv;
        const std::string path = dir.utf8Path("t" + std::to_string(t) + ".csv");
        // Half the threads walk the charsets backwards: threads meet on one cold table at once
        // as well as on different ones.
        for (int round = 0; round < kRounds; ++round)
            for (int i = 0; i < kCharsetCount && !problems[t].any(); ++i)
                roundTrip(csv, kCharsets[t % 2 ? kCharsetCount - 1 - i : i], t, round, path,
                          problems[t]);
    });
    report(problems);
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
const int kTables = 4;
const int kMaxRow = 5; // highest row a worker writes to
const int kMaxColumns = 3 + kTables - 1;
static_assert(kMaxRow + 1 == kMaxColumns, "one bound for rows and columns");
const char* const kAsciiCharsets[] = {"utf-8", "windows-1254", "iso-8859-15", "us-ascii"};
const char* const kMethods[] = {"LoadFile", "LoadFile2", "LoadFromString",
                                "SaveFile", "SaveFile2", "SaveToString"};

std::string tableCell(int k, int line, int col) {
    std::string v =
        "k" + std::to_string(k) + "." + std::to_string(line) + "." + std::to_string(col);
    return line > 0 && col == 1 ? v + ",x" : v;
}

std::string tableText(int k, const char* eol) {
    std::string out;
    for (int line = 0; line < 2 + k; ++line, out += eol)
        for (int c = 0; c < 3 + k; ++c)
            out += (c ? "," : "") + quoted(tableCell(k, line, c), ',');
    return out;
}

struct Tag {
    char kind = 0; // 'k' table cell, 'w' written cell, 'n' column name
    int k = -1, line = -1, col = -1;
};

// Recognises exactly the values the test puts in; false for anything else.
bool parseTag(const std::string& v, Tag& t) {
    int a = -1, b = -1, c = -1;
    t.kind = v.empty() ? 0 : v[0];
    if (t.kind == 'k' && std::sscanf(v.c_str(), "k%d.%d.%d", &a, &b, &c) == 3) {
        t.k = a, t.line = b, t.col = c;
        return a >= 0 && a < kTables && b >= 0 && b < 2 + a && c >= 0 && c < 3 + a &&
               v == tableCell(a, b, c);
    }
    if ((t.kind == 'w' || t.kind == 'n') && std::sscanf(v.c_str() + 1, "%d.%d", &a, &c) == 2) {
        t.col = c;
        return v == std::string(1, t.kind) + std::to_string(a) + "." + std::to_string(c);
    }
    return false;
}

bool inColumn(const std::string& v, int col) {
    Tag t;
    return v.empty() || (parseTag(v, t) && t.col == col);
}

// A saved text, read back by a private object: every cell is a value that was put into that
// column, and the table lines all come from one load, in order and with their field count.
void checkSnapshot(const std::string& text, ClsCsv& parser, Problems& p) {
    parser.put_HasColumnNames(false);
    STRESS_CHECK(p, parser.LoadFromString(X(text)), text);
    parser.put_Delimiter(X(",")); // a leading empty line would make the load detect ';'
    const int rows = parser.get_NumRows();
    STRESS_CHECK(p, rows <= kMaxRow + 2, text);
    int table = -1, lastLine = -1;
    for (int r = 0; r < rows && !p.any(); ++r) {
        const int cols = parser.GetNumCols(r);
        int line = -1;
        for (int c = 0; c < cols; ++c) {
            std::string v = cellOf(parser, r, c);
            Tag t;
            if (v.empty()) continue;
            STRESS_CHECK(p, parseTag(v, t) && t.col == c, v + " in column " + std::to_string(c));
            if (t.kind != 'k') continue;
            STRESS_CHECK(p, table < 0 || table == t.k, "two tables in one text:\n" + text);
            STRESS_CHECK(p, line < 0 || line == t.line, "two lines in one row:\n" + text);
            table = t.k, line = t.line;
        }
        if (line < 0) continue;
        STRESS_CHECK(p, line > lastLine, "lines out of order:\n" + text);
        STRESS_CHECK(p, cols == 3 + table, "a table line lost fields:\n" + text);
        lastLine = line;
        ++p.checked;
    }
}

// Well-formed: balanced elements under one QuenlixLog, at most one method context in it, whose
// name is given.
bool parseXmlReport(const std::string& xml, std::string& method, std::string& why) {
    std::vector<std::string> open;
    int roots = 0, methods = 0;
    for (size_t i = xml.find('<'); i != std::string::npos; i = xml.find('<', i)) {
        const bool cdata = xml.compare(i, 9, "<![CDATA[") == 0;
        const size_t end = xml.find(cdata ? "]]>" : ">", i);
        if (end == std::string::npos) return why = "unclosed tag or CDATA", false;
        const bool closing = xml[i + 1] == '/';
        std::string name = xml.substr(i + (closing ? 2 : 1), end - i - (closing ? 2 : 1));
        i = end + 1;
        if (cdata) continue;
        if (closing && (open.empty() || open.back() != name))
            return why = "stray </" + name + ">", false;
        if (closing) {
            open.pop_back();
            continue;
        }
        roots += open.empty();
        if (open.size() == 1) ++methods, method = name;
        open.push_back(name);
    }
    if (!open.empty() || roots != 1 || methods > 1) return why = "unbalanced", false;
    return xml.compare(0, 12, "<QuenlixLog>") == 0 || (why = "root", false);
}

bool isMethod(const std::string& name) {
    for (const char* m : kMethods)
        if (name == m) return true;
    return false;
}

// Every report is a prefix of one logged call's record, with CR LF line ends only: in the text
// form the header items first, in order, and "Success." or "Failed." only as the last entry; in
// XML well-formed, the outcome closing the method; in HTML balanced blockquotes.
void checkReport(const std::string& report, int form, Problems& p) {
    std::vector<std::string> lines;
    for (size_t start = 0, end; start < report.size(); start = end + 2) {
        end = report.find("\r\n", start);
        STRESS_CHECK(p, end != std::string::npos, report);
        if (end == std::string::npos) return;
        lines.push_back(report.substr(start, end - start));
        STRESS_CHECK(p, lines.back().find_first_of("\r\n") == std::string::npos, report);
    }
    if (form == 0) {
        STRESS_CHECK(p, !lines.empty() && lines[0] == "QuenlixLog:", report);
        if (lines.size() < 2) return;
        ++p.checked;
        const std::string& m = lines[1];
        STRESS_CHECK(p, m.size() > 3 && m.back() == ':' && isMethod(m.substr(2, m.size() - 3)),
                     report);
        const char* header[] = {"    DllDate: ", "    Username: ", "    Component: "};
        for (size_t i = 2; i < lines.size() && i < 5; ++i)
            STRESS_CHECK(p, lines[i].compare(0, std::strlen(header[i - 2]), header[i - 2]) == 0,
                         report);
        for (size_t i = 2; i + 1 < lines.size(); ++i)
            STRESS_CHECK(p, lines[i] != "    Success." && lines[i] != "    Failed.", report);
    } else if (form == 1) {
        std::string method, why;
        STRESS_CHECK(p, parseXmlReport(report, method, why), why + ":\n" + report);
        STRESS_CHECK(p, method.empty() || isMethod(method), report);
        for (std::string last : {"<info>Success.</info>\r\n", "<error>Failed.</error>\r\n"}) {
            size_t at = report.find(last);
            STRESS_CHECK(p,
                         at == std::string::npos || report.substr(at + last.size()) ==
                                                        "</" + method + ">\r\n</QuenlixLog>\r\n",
                         report);
        }
    } else {
        int depth = 0;
        for (const std::string& l : lines) {
            if (l.size() > 12 && l.compare(l.size() - 12, 12, "<blockquote>") == 0) ++depth;
            if (l == "</blockquote>") --depth;
            STRESS_CHECK(p, depth >= 0 && depth <= 3, report);
        }
        STRESS_CHECK(p, depth == 0 && !lines.empty() && lines[0] == "QuenlixLog:<blockquote>",
                     report);
        STRESS_CHECK(p, lines.size() <= 2 || isMethod(lines[1].substr(0, lines[1].find(':'))),
                     report);
    }
}

const int kWorkers = 4;
const int kReaders = 2;
const int kWorkerOps = 700;

void worker(ClsCsv& csv, int t, const testfs::TempDir& dir, Problems& p) {
    std::mt19937 rng(7919u * static_cast<unsigned>(t + 1));
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    ClsCsv parser;
    const std::string own = "saved" + std::to_string(t) + ".csv";
    for (int op = 0; op < kWorkerOps && !p.any(); ++op) {
        const int k = pick(kTables), c = pick(3), r = pick(kMaxRow + 1);
        const std::string at = "op " + std::to_string(op), tag = std::to_string(t) + ".";
        const std::string table = dir.utf8Path("table" + std::to_string(k) + ".csv");
        const char* charset = pick(2) ? kAsciiCharsets[pick(4)] : nullptr;
        switch (pick(13)) {
        case 0: // every table detects ',', so the delimiter never reads otherwise
            csv.put_Crlf(pick(2) == 0);
            csv.put_HasColumnNames(pick(2) == 0);
            csv.put_Delimiter(X(","));
            STRESS_CHECK(p, utf8([&](XString& s) { csv.get_Delimiter(s); }) == ",", at);
            break;
        case 1: // kMaxRow + 1 == kMaxColumns bounds rows and columns alike
            for (int n : {csv.get_NumRows(), csv.get_NumColumns(), csv.GetNumCols(r - 1)})
                STRESS_CHECK(p, n >= 0 && n <= kMaxColumns, at + ": " + std::to_string(n));
            break;
        case 2: {
            bool ok = false;
            std::string v = utf8([&](XString& s) { ok = csv.GetCell(r, c + k, s); });
            STRESS_CHECK(p, inColumn(v, c + k) && (ok || v.empty()), at + ": " + v);
            break;
        }
        case 3:
            STRESS_CHECK(p, inColumn(nameOf(csv, c + k), c + k), at);
            break;
        case 4: {
            int i = csv.GetIndex(X(pick(2) ? tableCell(k, 0, c)
                                           : "n" + std::to_string(k) + "." + std::to_string(c)));
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
            STRESS_CHECK(p,
                         charset ? csv.SaveFile2(X(dir.utf8Path(own)), X(charset))
                                 : csv.SaveFile(X(dir.utf8Path(own))),
                         at);
            checkSnapshot(testfs::contentsOf(dir.path(own)), parser, p);
            break;
        }
    }
}

void reader(ClsCsv& csv, int t, const testfs::TempDir& dir, const std::atomic<int>& busy,
            Problems& p) {
    const std::string name = "report" + std::to_string(t) + ".xml";
    for (int i = 0; busy.load() > 0 && i < 50 * kWorkerOps && !p.any(); ++i) {
        XString s;
        const int form = i % 4;
        if (form == 0) csv.lastErrorText(s, true);
        if (form == 1) csv.lastErrorXml(s, true);
        if (form == 2) csv.lastErrorHtml(s, true);
        if (form < 3) {
            checkReport(s.getUtf8(), form, p);
        } else if (i % 64 == 3) { // the saved report is the XML form without any line-end pass
            STRESS_CHECK(p, csv.saveLastError(X(dir.utf8Path(name))), name);
            checkReport(testfs::contentsOf(dir.path(name)), 1, p);
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
    runTogether(kWorkers + kReaders, [&](int t) {
        if (t < kWorkers) {
            worker(csv, t, dir, problems[t]);
            busy.fetch_sub(1);
        } else {
            reader(csv, t, dir, busy, problems[t]);
        }
    });
    report(problems);
    // Every thread saw loaded tables or logged calls, not only empty ones.
    for (int t = 0; t < kWorkers + kReaders; ++t)
        EXPECT_GT(problems[t].checked, t < kWorkers ? kWorkerOps / 20 : 10) << t;
    // The object is still whole: what it holds saves to a consistent text.
    ClsCsv parser;
    Problems last;
    checkSnapshot(savedText(csv), parser, last);
    EXPECT_TRUE(last.list.empty()) << (last.any() ? last.list[0] : "");
}

} // namespace
