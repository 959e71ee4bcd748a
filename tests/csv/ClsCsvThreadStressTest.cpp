// Threads on CSV document objects: one object each while the code-page tables are cold, then one
// shared object. A program of its own (qx_thread_stress), so nothing has warmed the tables.
#include "csv/CsvTestSupport.h"
#include "encoding/Charset.h"
#include "encoding/FlatTables.h"
#include "encoding/tables/TableStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using csvtest::Csv;
using csvtest::utf8;
using csvtest::X;

// What one thread found wrong (it stops at the first); `checked` counts what it looked at.
struct Problems {
    std::vector<std::string> list;
    long checked = 0;
    bool any() const { return !list.empty(); }
};
#define STRESS_CHECK(problems, cond, what)                                                         \
    do {                                                                                           \
        if (!(cond)) (problems).list.push_back(std::string(#cond) + " -- " + (what));              \
    } while (0)

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

// Charsets, each with three words it can hold; not the system's ANSI code page, which the
// shared-object suite warms. ISO-2022-JP goes through the Shift_JIS tables, so two charsets meet
// on one table.
const char* const kCharsets[][4] = {
    {"shift_jis", "東京", "ｶﾀｶﾅ", "漢字"},
    {"iso-2022-jp", "日本語", "ひらがな", "カタカナ"},
    {"gb2312", "北京", "中文", "简体"},
    {"big5", "臺北", "繁體", "中文"},
    {"ks_c_5601-1987", "서울", "한국어", "김치"},
    {"euc-kr", "부산", "안녕", "한글"},
    {"windows-1250", "Łódź", "Žluťoučký", "kůň"},
    {"ibm037", "Zoë", "Köln", "½¢"},
    {"koi8-r", "Москва", "привет", "ёж"},
    {"windows-1251", "Київ", "Ґрунт", "мир"},
    {"iso-8859-7", "Αθήνα", "καλημέρα", "Ωμέγα"},
    {"utf-16", "Zoë", "東京", "한국"},
    {"utf-7", "a+b", "Ωmega", "日本"},
};
const int kCharsetCount = static_cast<int>(sizeof kCharsets / sizeof kCharsets[0]);

// Load, edit, save in the charset and load again: the object holds the same text.
void roundTrip(Csv& csv, const char* const* cs, const std::string& mark, const std::string& path,
               Problems& p) {
    std::string text; // the first line holds no quote and no ';', so that ',' is detected
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            text += quote(cs[1 + (r + c) % 3] + mark + std::to_string(r * 3 + c) +
                          (r > 1 && c == 1 ? ", \"q\"; x" : "")) +
                    (c < 2 ? "," : "\r\n");
    const std::string at = cs[0] + mark, v = std::string("say \"") + cs[3] + "\"; x";
    STRESS_CHECK(p, csv.loadString(text) && csv.save() == text, at);
    STRESS_CHECK(p, csv.obj.SetCell(2, 2, X(v)) && csv.cell(2, 2) == v, at);
    const std::string saved = csv.save();
    STRESS_CHECK(p, csv.obj.SaveFile2(X(path), X(cs[0])) && csv.loadFile(path, cs[0]), at);
    STRESS_CHECK(p, csv.save() == saved, at + " read back");
}

TEST(ThreadStressCharsets, EightObjectsRoundTripWhileTheTablesAreFirstBuilt) {
    std::set<int> tables;
    for (const auto& cs : kCharsets)
        if (TableStore::hasTable(charsetNameToCodePage(cs[0])))
            tables.insert(charsetNameToCodePage(cs[0]));
    ASSERT_GE(tables.size(), 10u);
    for (int cp : tables)
        for (bool reverse : {false, true})
            ASSERT_EQ(TableStore::buildCount(cp, reverse), 0)
                << "code page " << cp << " is warm already: run these suites on their own";
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    std::vector<Problems> problems(8);
    runTogether(problems, [&](int t, Problems& p) {
        Csv csv;
        const std::string path = dir.utf8Path("t" + std::to_string(t) + ".csv");
        // Half the threads walk the charsets backwards: threads meet on one cold table at once
        // as well as on different ones.
        for (int round = 0; round < 3; ++round)
            for (int i = 0; i < kCharsetCount && !p.any(); ++i)
                roundTrip(csv, kCharsets[t % 2 ? kCharsetCount - 1 - i : i],
                          "-" + std::to_string(t) + "." + std::to_string(round) + ".", path, p);
    });
    // Maps once each, and the tables used all built: as a map, or (double-byte code pages and
    // reverse tables) as a flat table made straight from the store.
    for (int cp = 1; cp < 65536; ++cp)
        for (bool reverse : {false, true})
            if (TableStore::hasTable(cp)) {
                EXPECT_LE(TableStore::buildCount(cp, reverse), 1) << cp;
                EXPECT_TRUE(!tables.count(cp) || TableStore::buildCount(cp, reverse) == 1 ||
                            FlatTables::has(cp, reverse))
                    << cp;
            }
}

// ---- one object, many threads ----------------------------------------------------------------

// Table k has 3 + k columns and 2 + k lines; every cell names its table, line and column
// ("k<table>.<line>.<col>"), and column 1 of every line but the first holds a quoted comma.
// Workers write "w<thread>.<col>" into cells and "n<thread>.<col>" as names, always into the
// column the value names, so that under any interleaving the lock allows, every cell stays in
// its column and every line whole.
const int kTables = 4, kMaxRow = 5, kMaxColumns = 3 + kTables - 1; // rows and columns alike
const int kWorkers = 4, kReaders = 2, kWorkerOps = 700;
const char* const kAsciiCharsets[] = {"utf-8", "windows-1254", "iso-8859-15", "us-ascii"};

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

// Whether a value the test put in (or an empty cell) belongs in the column: the number after
// its last '.'.
bool inColumn(const std::string& v, int col) {
    const size_t dot = v.rfind('.');
    return v.empty() || (dot != std::string::npos && std::atoi(v.c_str() + dot + 1) == col);
}

// A saved text read back: every cell in its column, a row's loaded cells from one table line.
void checkSnapshot(const std::string& text, Csv& parser, Problems& p) {
    parser.obj.put_HasColumnNames(false);
    STRESS_CHECK(p, parser.loadString(text), text);
    parser.obj.put_Delimiter(X(",")); // a leading empty line would make the load detect ';'
    STRESS_CHECK(p, parser.obj.get_NumRows() <= kMaxRow + 2, text);
    for (int r = 0; r < parser.obj.get_NumRows() && !p.any(); ++r, ++p.checked) {
        std::string line; // "k<table>.<line>." of the row's first loaded cell
        for (int c = 0; c < parser.obj.GetNumCols(r); ++c) {
            const std::string v = parser.cell(r, c);
            STRESS_CHECK(p, inColumn(v, c), v + " in column " + std::to_string(c) + ":\n" + text);
            if (v.empty() || v[0] != 'k') continue;
            if (line.empty()) line = v.substr(0, v.find('.', v.find('.') + 1) + 1);
            STRESS_CHECK(p, v.rfind(line, 0) == 0, "two table lines in one row:\n" + text);
        }
    }
}

// Every report is one logged call's record: "Success."/"Failed." only last in the text form,
// the frame in the XML form.
void checkReport(const std::string& report, bool xml, Problems& p) {
    const std::string root = xml ? "<QuenlixLog>\r\n" : "QuenlixLog:\r\n",
                      end = xml ? "</QuenlixLog>\r\n" : "\r\n";
    const size_t outcome =
        std::min(report.find("    Success.\r\n"), report.find("    Failed.\r\n"));
    STRESS_CHECK(p,
                 report.rfind(root, 0) == 0 && report.size() >= root.size() + end.size() - 2 &&
                     report.compare(report.size() - end.size(), end.size(), end) == 0 &&
                     (xml || outcome == std::string::npos ||
                      report.find("\r\n", outcome + 4) + 2 == report.size()),
                 report);
    p.checked += report.size() > root.size();
}

// Random calls on the shared object; a reader (t >= kWorkers) reads the text and XML reports
// instead, now and then saving the XML one, for as long as the workers run.
void worker(Csv& csv, int t, const testfs::TempDir& dir, const std::atomic<int>& busy,
            Problems& p) {
    const bool reader = t >= kWorkers;
    std::mt19937 rng(7919u * static_cast<unsigned>(t + 1));
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    Csv parser;
    ClsCsv& obj = csv.obj;
    const std::string own = dir.utf8Path("saved" + std::to_string(t) + ".csv");
    for (int op = 0; (reader ? busy.load() > 0 : op < kWorkerOps) && !p.any(); ++op) {
        const int k = pick(kTables), c = pick(3), r = pick(kMaxRow + 1);
        const std::string at = "op " + std::to_string(op), tag = std::to_string(t) + ".";
        const char* charset = pick(2) ? kAsciiCharsets[pick(4)] : nullptr;
        bool ok = false;
        switch (reader ? 13 + (op % 64 == 3) : pick(13)) {
        case 0: // every table detects ',', so the delimiter never reads otherwise
            obj.put_Crlf(pick(2) == 0);
            obj.put_HasColumnNames(pick(2) == 0);
            obj.put_Delimiter(X(","));
            STRESS_CHECK(p, csv.delimiter() == ",", at);
            break;
        case 1:
            for (int n : {obj.get_NumRows(), obj.get_NumColumns(), obj.GetNumCols(r - 1)})
                STRESS_CHECK(p, n >= 0 && n <= kMaxColumns, at + ": " + std::to_string(n));
            break;
        case 2: {
            const std::string v = utf8([&](XString& s) { ok = obj.GetCell(r, c + k, s); });
            STRESS_CHECK(p, inColumn(v, c + k) && (ok || v.empty()), at + ": " + v);
            break;
        }
        case 3:
            STRESS_CHECK(p, inColumn(csv.columnName(c + k), c + k), at);
            break;
        case 4: {
            const int i =
                obj.GetIndex(X(pick(2) ? tableCell(k, 0, c) : "n" + tag + std::to_string(c)));
            STRESS_CHECK(p, i == -1 || i == c, at + ": " + std::to_string(i));
            break;
        }
        case 5:
            STRESS_CHECK(p, obj.SetCell(r, c, X("w" + tag + std::to_string(c))), at);
            break;
        case 6:
            STRESS_CHECK(p, obj.SetColumnName(c, X("n" + tag + std::to_string(c))), at);
            break;
        case 7:
            STRESS_CHECK(p, csv.loadString(tableText(k, "\n")), at);
            break;
        case 8:
            STRESS_CHECK(
                p, csv.loadFile(dir.utf8Path("table" + std::to_string(k) + ".csv"), charset), at);
            break;
        case 9:
        case 10:
            checkSnapshot(csv.save(), parser, p);
            break;
        case 13: {
            XString s;
            op % 2 ? obj.lastErrorXml(s, true) : obj.lastErrorText(s, true);
            checkReport(s.getUtf8(), op % 2, p);
            break;
        }
        case 14:
            STRESS_CHECK(p, obj.saveLastError(X(own)), own);
            checkReport(testfs::contentsOf(own), true, p);
            break;
        default:
            STRESS_CHECK(p, charset ? obj.SaveFile2(X(own), X(charset)) : obj.SaveFile(X(own)), at);
            checkSnapshot(testfs::contentsOf(own), parser, p);
        }
    }
}

TEST(ThreadStressSharedObject, WorkersAndReportReadersOnOneObject) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    for (int k = 0; k < kTables; ++k)
        ASSERT_TRUE(
            testfs::writeAll(dir.path("table" + std::to_string(k) + ".csv"), tableText(k, "\r\n")));
    Csv csv;
    std::vector<Problems> problems(kWorkers + kReaders);
    std::atomic<int> busy{kWorkers};
    runTogether(problems, [&](int t, Problems& p) {
        worker(csv, t, dir, busy, p);
        busy.fetch_sub(t < kWorkers);
    });
    for (int t = 0; t < kWorkers + kReaders; ++t) // every thread saw tables or logged calls
        EXPECT_GT(problems[t].checked, t < kWorkers ? kWorkerOps / 20 : 10) << t;
    Csv parser; // the object is still whole: what it holds saves to a consistent text
    Problems last;
    checkSnapshot(csv.save(), parser, last);
    EXPECT_TRUE(last.list.empty()) << (last.any() ? last.list[0] : "");
}

} // namespace
