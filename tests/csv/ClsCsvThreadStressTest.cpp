// Many threads at once on CSV document objects: one object per thread while the code-page tables
// are still cold, then one object shared by workers and last-error readers. These suites are a
// program of their own (qx_thread_stress), so that nothing has warmed the tables before them.
#include "csv/ClsCsv.h"

#include "encoding/Charset.h"
#include "encoding/tables/TableStore.h"
#include "platform/TempDir.h"
#include "text/XString.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

// What one thread found wrong. A thread stops at its first problem, so that a broken build
// reports a few telling lines instead of thousands. `checked` counts the non-trivial things it
// looked at (table lines, method records), so that a run that saw nothing cannot pass.
struct Problems {
    std::vector<std::string> list;
    long checked = 0;
    bool any() const { return !list.empty(); }
    void add(const std::string& what) { list.push_back(what); }
};
#define STRESS_CHECK(problems, cond, what)                                                         \
    do {                                                                                           \
        if (!(cond)) (problems).add(std::string(#cond) + " -- " + (what));                         \
    } while (0)

struct X {
    XString s;
    X(const std::string& utf8) { s.setFromUtf8(utf8.c_str()); }
    operator XString&() { return s; }
};

template <class F> std::string utf8(F f) {
    XString s;
    f(s);
    return s.getUtf8();
}

std::string cellOf(ClsCsv& csv, int r, int c, bool* ok = nullptr) {
    return utf8([&](XString& s) {
        bool found = csv.GetCell(r, c, s);
        if (ok) *ok = found;
    });
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

// ---- one object per thread, cold tables ------------------------------------------------------

// Words each charset can hold. The system's ANSI code page is left out: the shared-object suite
// below warms it through LoadFile and SaveFile. ISO-2022-JP goes through the Shift_JIS tables,
// so two threads may ask for those from two charsets at once.
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
            if (r > 0 && c == 1) v += ", \"q\"; x";
            t.rows.back().push_back(v);
        }
    }
    return t;
}

void expectTable(ClsCsv& csv, const Table& want, char d, Problems& p, const std::string& where) {
    STRESS_CHECK(p, csv.get_NumRows() == static_cast<int>(want.rows.size()), where);
    STRESS_CHECK(p, utf8([&](XString& s) { csv.get_Delimiter(s); }) == std::string(1, d), where);
    for (size_t r = 0; r < want.rows.size(); ++r) {
        const int row = static_cast<int>(r);
        STRESS_CHECK(p, csv.GetNumCols(row) == static_cast<int>(want.rows[r].size()), where);
        for (size_t c = 0; c < want.rows[r].size(); ++c)
            STRESS_CHECK(p, cellOf(csv, row, static_cast<int>(c)) == want.rows[r][c],
                         where + " cell " + std::to_string(r) + "," + std::to_string(c));
    }
    STRESS_CHECK(p, csv.get_HasColumnNames() == !want.names.empty(), where);
    for (size_t i = 0; i < want.names.size(); ++i) {
        STRESS_CHECK(p, nameOf(csv, static_cast<int>(i)) == want.names[i], where);
        STRESS_CHECK(p, csv.GetIndex(X(want.names[i])) == static_cast<int>(i), where);
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

    const std::string edited = std::string("say \"") + cs.words[2] + "\", then; stop";
    STRESS_CHECK(p, csv.SetCell(1, 2, X(edited)), where);
    t.rows[1][2] = edited;
    STRESS_CHECK(p, csv.SetCell(3, 0, X(cs.words[0])), where); // one row more
    STRESS_CHECK(p, csv.SetCell(3, 2, X(cs.words[1] + mark)), where);
    t.rows.push_back({cs.words[0], "", cs.words[1] + mark});
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
            STRESS_CHECK(p, csv.SetColumnName(c, X(t.names[c])), where);
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

const int kCharsetThreads = 8;
const int kCharsetRounds = 3;

TEST(ThreadStressCharsets, EightObjectsRoundTripWhileTheTablesAreFirstBuilt) {
    std::set<int> tables;
    for (const CharsetWords& cs : kCharsets) {
        int cp = charsetNameToCodePage(cs.charset);
        if (TableStore::hasTable(cp)) tables.insert(cp);
    }
    ASSERT_GE(tables.size(), 10u);
    for (int cp : tables)
        for (bool reverse : {false, true})
            ASSERT_EQ(TableStore::buildCount(cp, reverse), 0)
                << "code page " << cp
                << " is warm already: run these suites in a process of their own";

    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    std::vector<Problems> problems(kCharsetThreads);
    runTogether(kCharsetThreads, [&](int t) {
        ClsCsv csv;
        const std::string path = dir.utf8Path("t" + std::to_string(t) + ".csv");
        // Half the threads walk the charsets backwards, so that threads meet on one cold table
        // at once as well as on different ones.
        for (int round = 0; round < kCharsetRounds; ++round)
            for (int i = 0; i < kCharsetCount && !problems[t].any(); ++i)
                roundTrip(csv, kCharsets[t % 2 ? kCharsetCount - 1 - i : i], t, round, path,
                          problems[t]);
    });
    for (int t = 0; t < kCharsetThreads; ++t)
        for (const std::string& what : problems[t].list)
            ADD_FAILURE() << "thread " << t << ": " << what;
    for (int cp : tables)
        for (bool reverse : {false, true})
            EXPECT_EQ(TableStore::buildCount(cp, reverse), 1) << cp << (reverse ? " reverse" : "");
    for (int cp = 1; cp < 65536; ++cp)
        if (TableStore::hasTable(cp)) {
            EXPECT_LE(TableStore::buildCount(cp, false), 1) << cp;
            EXPECT_LE(TableStore::buildCount(cp, true), 1) << cp;
        }
}

// ---- one object, many threads ----------------------------------------------------------------

// Table k has 3 + k columns and 2 + k lines; every cell names its table, line and column, and
// column 1 of every line but the first also holds a quoted comma. Workers write "w<thread>.<col>"
// into cells and "n<thread>.<col>" as column names, always into the column the value names, so
// that whatever interleaving the lock allows, every cell stays in its column and every table
// line stays whole.
const int kTables = 4;
const int kMaxRow = 5; // highest row a worker writes to
const int kMaxColumns = 3 + kTables - 1;
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
    if (v.empty()) return false;
    t.kind = v[0];
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
// column, the table lines all come from one load, in their order and with their field count.
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

// The method context of a report: the method's name and its entries in order.
struct Record {
    std::string method;
    std::vector<std::string> entries;
};

// Well-formed: balanced elements under one QuenlixLog, at most one method context in it.
bool parseXmlReport(const std::string& xml, Record& rec, std::string& why) {
    std::vector<std::string> open;
    int roots = 0, methods = 0;
    for (size_t i = xml.find('<'); i != std::string::npos; i = xml.find('<', i)) {
        if (xml.compare(i, 9, "<![CDATA[") == 0) {
            size_t end = xml.find("]]>", i);
            if (end == std::string::npos) return why = "unclosed CDATA", false;
            i = end + 3;
            continue;
        }
        size_t end = xml.find('>', i);
        if (end == std::string::npos) return why = "unclosed tag", false;
        const bool closing = xml[i + 1] == '/';
        std::string name = xml.substr(i + (closing ? 2 : 1), end - i - (closing ? 2 : 1));
        i = end + 1;
        if (closing) {
            if (open.empty() || open.back() != name) return why = "stray </" + name + ">", false;
            open.pop_back();
            continue;
        }
        if (open.empty()) ++roots;
        if (open.size() == 1) ++methods, rec.method = name;
        if (open.size() == 2) rec.entries.push_back(name);
        open.push_back(name);
    }
    if (!open.empty() || roots != 1 || methods > 1) return why = "unbalanced", false;
    if (xml.compare(0, 12, "<QuenlixLog>") != 0) return why = "root", false;
    return true;
}

bool isMethod(const std::string& name) {
    for (const char* m : kMethods)
        if (name == m) return true;
    return false;
}

bool crlfOnly(const std::string& s) {
    for (size_t i = 0; i < s.size(); ++i)
        if ((s[i] == '\n' && (i == 0 || s[i - 1] != '\r')) ||
            (s[i] == '\r' && (i + 1 == s.size() || s[i + 1] != '\n')))
            return false;
    return s.size() >= 2 && s.compare(s.size() - 2, 2, "\r\n") == 0;
}

std::vector<std::string> linesOf(const std::string& s) {
    std::vector<std::string> out;
    for (size_t start = 0, end; start < s.size(); start = end + 2) {
        end = s.find("\r\n", start);
        if (end == std::string::npos) end = s.size();
        out.push_back(s.substr(start, end - start));
    }
    return out;
}

// Every report is a prefix of one logged call's record: the header items first, in order, and
// "Success." or "Failed." only as the last entry.
void checkReport(const std::string& report, int form, Problems& p) {
    STRESS_CHECK(p, crlfOnly(report), report);
    std::vector<std::string> lines = linesOf(report);
    if (form == 0) { // text
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
    } else if (form == 1) { // XML
        Record rec;
        std::string why;
        STRESS_CHECK(p, parseXmlReport(report, rec, why), why + ":\n" + report);
        if (rec.method.empty()) return;
        STRESS_CHECK(p, isMethod(rec.method), report);
        const char* header[] = {"DllDate", "Username", "Component"};
        for (size_t i = 0; i < rec.entries.size() && i < 3; ++i)
            STRESS_CHECK(p, rec.entries[i] == header[i], report);
        for (std::string last : {"<info>Success.</info>\r\n", "<error>Failed.</error>\r\n"}) {
            size_t at = report.find(last);
            if (at != std::string::npos)
                STRESS_CHECK(p,
                             report.substr(at + last.size()) ==
                                 "</" + rec.method + ">\r\n</QuenlixLog>\r\n",
                             report);
        }
    } else { // HTML
        int depth = 0;
        for (const std::string& l : lines) {
            if (l.size() > 12 && l.compare(l.size() - 12, 12, "<blockquote>") == 0) ++depth;
            if (l == "</blockquote>") --depth;
            STRESS_CHECK(p, depth >= 0 && depth <= 3, report);
        }
        STRESS_CHECK(p, depth == 0 && !lines.empty() && lines[0] == "QuenlixLog:<blockquote>",
                     report);
        if (lines.size() > 2)
            STRESS_CHECK(p, isMethod(lines[1].substr(0, lines[1].find(':'))), report);
    }
}

const int kWorkers = 4;
const int kReaders = 2;
const int kWorkerOps = 700;

void worker(ClsCsv& csv, int t, const testfs::TempDir& dir, Problems& p) {
    std::mt19937 rng(7919u * static_cast<unsigned>(t + 1));
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    ClsCsv parser;
    const std::string own = dir.utf8Path("saved" + std::to_string(t) + ".csv");
    for (int op = 0; op < kWorkerOps && !p.any(); ++op) {
        const int k = pick(kTables), c = pick(3), r = pick(kMaxRow + 1);
        const std::string at = "op " + std::to_string(op);
        switch (pick(17)) {
        case 0:
            csv.put_Crlf(pick(2) == 0);
            csv.get_Crlf();
            break;
        case 1:
            csv.put_HasColumnNames(pick(2) == 0);
            csv.get_HasColumnNames();
            break;
        case 2: // every table detects ',', so the delimiter never reads otherwise
            csv.put_Delimiter(X(","));
            STRESS_CHECK(p, utf8([&](XString& s) { csv.get_Delimiter(s); }) == ",", at);
            break;
        case 3: {
            int n = csv.get_NumRows();
            STRESS_CHECK(p, n >= 0 && n <= kMaxRow + 1, at + ": " + std::to_string(n));
            n = csv.get_NumColumns();
            STRESS_CHECK(p, n >= 0 && n <= kMaxColumns, at + ": " + std::to_string(n));
            n = csv.GetNumCols(r - 1);
            STRESS_CHECK(p, n >= 0 && n <= kMaxColumns, at + ": " + std::to_string(n));
            break;
        }
        case 4: {
            bool ok = false;
            std::string v = cellOf(csv, r, c + k, &ok);
            STRESS_CHECK(p, inColumn(v, c + k) && (ok || v.empty()), at + ": " + v);
            break;
        }
        case 5: {
            std::string v = nameOf(csv, c + k);
            STRESS_CHECK(p, inColumn(v, c + k), at + ": " + v);
            break;
        }
        case 6: {
            int i = csv.GetIndex(X(pick(2) ? tableCell(k, 0, c)
                                           : "n" + std::to_string(k) + "." + std::to_string(c)));
            STRESS_CHECK(p, i == -1 || i == c, at + ": " + std::to_string(i));
            break;
        }
        case 7:
            STRESS_CHECK(p, csv.SetCell(r, c, X("w" + std::to_string(t) + "." + std::to_string(c))),
                         at);
            break;
        case 8:
            STRESS_CHECK(
                p, csv.SetColumnName(c, X("n" + std::to_string(t) + "." + std::to_string(c))), at);
            break;
        case 9:
            STRESS_CHECK(p, csv.LoadFromString(X(tableText(k, "\n"))), at);
            break;
        case 10:
            STRESS_CHECK(p, csv.LoadFile(X(dir.utf8Path("table" + std::to_string(k) + ".csv"))),
                         at);
            break;
        case 11:
            STRESS_CHECK(p,
                         csv.LoadFile2(X(dir.utf8Path("table" + std::to_string(k) + ".csv")),
                                       X(kAsciiCharsets[pick(4)])),
                         at);
            break;
        case 12:
        case 13:
            checkSnapshot(savedText(csv), parser, p);
            break;
        case 14:
            STRESS_CHECK(p, csv.SaveFile(X(own)), at);
            checkSnapshot(testfs::contentsOf(dir.path("saved" + std::to_string(t) + ".csv")),
                          parser, p);
            break;
        default:
            STRESS_CHECK(p, csv.SaveFile2(X(own), X(kAsciiCharsets[pick(4)])), at);
            checkSnapshot(testfs::contentsOf(dir.path("saved" + std::to_string(t) + ".csv")),
                          parser, p);
            break;
        }
    }
}

void reader(ClsCsv& csv, int t, const testfs::TempDir& dir, const std::atomic<int>& busy,
            Problems& p) {
    const std::string path = dir.utf8Path("report" + std::to_string(t) + ".xml");
    for (int i = 0; busy.load() > 0 && i < 50 * kWorkerOps && !p.any(); ++i) {
        XString s;
        const int form = i % 4;
        if (form == 0) csv.lastErrorText(s, true);
        if (form == 1) csv.lastErrorXml(s, true);
        if (form == 2) csv.lastErrorHtml(s, true);
        if (form < 3) {
            checkReport(s.getUtf8(), form, p);
        } else if (i % 64 == 3) { // the saved report is the XML form without any line-end pass
            STRESS_CHECK(p, csv.saveLastError(X(path)), path);
            checkReport(testfs::contentsOf(dir.path("report" + std::to_string(t) + ".xml")), 1, p);
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
    for (int t = 0; t < kWorkers + kReaders; ++t) {
        for (const std::string& what : problems[t].list)
            ADD_FAILURE() << (t < kWorkers ? "worker " : "reader ") << t << ": " << what;
        // Every thread saw loaded tables or logged calls, not only empty ones.
        EXPECT_GT(problems[t].checked, t < kWorkers ? kWorkerOps / 20 : 10) << t;
    }
    // The object is still whole: what it holds saves to a consistent text.
    ClsCsv parser;
    Problems last;
    checkSnapshot(savedText(csv), parser, last);
    EXPECT_TRUE(last.list.empty()) << (last.any() ? last.list[0] : "");
}

} // namespace
