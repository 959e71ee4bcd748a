// The CSV document object when memory runs out (the path suite has the file system failing
// whole calls, the file layer's suites part way through). Whichever allocation fails, nothing may
// crash or leak (LeakSanitizer checks) and no file but the named one appears. Edits give false and
// keep the table; loads, saves and reads may instead succeed with a short text, but reads and saves
// keep the table. Without a failure every call gives its usual result.
#ifdef QX_FAULT_INJECTION
#include "csv/CsvTestSupport.h"
#include "platform/FaultInjection.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using csvtest::utf8;
using csvtest::X;

// A table with column names, more rows than an array's first growth steps, a quoted cell, a cell
// holding a line break, Latin-1 letters and one quoted cell longer than a string buffer's first
// block (reading it unquotes it into a buffer that must grow).
std::string tableText() {
    std::string t = "Name,Qty,Note\napple,3,plain\n\"pear, green\",5,\"say \"\"hi\"\"\"\n"
                    "caf\xC3\xA9,7,\"two\nlines\"\nlong,\"" +
                    std::string(300, 'x') + "\",end\n";
    for (int i = 0; i < 9; ++i)
        t += "r" + std::to_string(i) + ",\xC3\xBC" + std::to_string(i) + ",\xC3\x9F\n";
    return t;
}

// Everything a caller can read of the table: the names with their indexes, then the rows.
using Dump = std::vector<std::string>;

Dump dumpOf(ClsCsv& csv) {
    Dump d(1);
    for (int i = 0; csv.get_HasColumnNames() && i < csv.get_NumColumns(); ++i) {
        XString name;
        csv.GetColumnName(i, name);
        d[0] += name.getUtf8() + ("=" + std::to_string(csv.GetIndex(name))) + "|";
    }
    for (int r = 0; r < csv.get_NumRows(); ++r) {
        d.emplace_back();
        for (int c = 0; c < csv.GetNumCols(r); ++c)
            d.back() += utf8([&](XString& s) { csv.GetCell(r, c, s); }) + "|";
    }
    return d;
}

// Whether every row of `now` is as in `before` or as in `after` (and the names as in both).
bool rowsFromEither(const Dump& now, const Dump& before, const Dump& after) {
    bool same = now.size() == before.size() && now.size() == after.size() && now[0] == after[0];
    for (size_t i = 0; same && i < now.size(); ++i)
        same = now[i] == before[i] || now[i] == after[i];
    return same;
}

struct Env {
    testfs::TempDir dir;
    const std::string inSjis = dir.utf8Path("in-sjis.csv");
    const std::string out = dir.utf8Path("out.csv");
    const std::string report = dir.utf8Path("report.xml");
    const std::string missing = dir.utf8Path("missing.csv");
};

// What a call that returned false may leave in the table.
enum class Leaves {
    kEmptyTable,    // loads clear the table before they read
    kSameTable,     // everything else, except:
    kGrownByEmpty,  // setting a cell below the last row may have added empty rows on its way
    kSomeRowsSaved, // a save brings the line ends inside stored rows into the form it writes
};

struct Op {
    const char* name;
    std::function<void(Env&, ClsCsv&)> prepare;
    std::function<bool(Env&, ClsCsv&, std::string&)> run;
    bool shortOnFailure = false; // may succeed with a short text when an allocation failed
    bool logged = false;         // runs in a logged frame: the log must end as the result says
    Leaves leaves = Leaves::kSameTable;
    bool oldOrNewFile = false; // a failed save left the file alone or wrote all of it
    bool keepsBytes = false;   // a load whose conversion may leave the text's bytes as read
};

// The table of tableText(), plus a cell set to a text with a CR LF (stored rows otherwise hold
// LF line ends only, and a save with CR LF line ends rewrites such a row).
void loadTable(Env&, ClsCsv& csv) {
    csv.put_HasColumnNames(true);
    ASSERT_TRUE(csv.LoadFromString(X(tableText())));
    ASSERT_TRUE(csv.SetCell(0, 2, X("cr\r\nlf")));
}

const std::string kOldFile = "old contents\r\n";

// Fails allocation n of a run of op on a freshly prepared object, for n = 0, 1, ... until a run
// makes no more than n allocations; a run that reaches the bound fails the test.
const long kMaxFailures = 2000;

void sweep(Env& env, const Op& op) {
    SCOPED_TRACE(op.name);
    ClsCsv refObject; // the run without a failure gives the answer every successful run must give
    op.prepare(env, refObject);
    const Dump before = dumpOf(refObject);
    testfs::writeAll(env.out, kOldFile);
    std::string refOut;
    ASSERT_TRUE(op.run(env, refObject, refOut));
    const Dump refTable = dumpOf(refObject);

    long n = 0;
    for (; n < kMaxFailures; ++n) {
        auto csv = std::make_unique<ClsCsv>();
        op.prepare(env, *csv);
        testfs::writeAll(env.out, kOldFile);
        std::string out;
        FaultInjection::failAllocationAfter = n;
        const bool ok = op.run(env, *csv, out);
        const bool hit = FaultInjection::failAllocationAfter.load() < 0;
        FaultInjection::reset();
        const Dump after = dumpOf(*csv);

        std::string problem;
        const bool lenient = ok && hit && op.shortOnFailure;
        if (ok && !lenient) {
            if (out != refOut) problem = "wrong output: " + out;
            if (!(after == refTable)) problem += " wrong table";
        } else if (!ok || op.leaves != Leaves::kEmptyTable) { // a short load may leave any table
            if (!ok && !hit) problem = "false without any failure";
            const bool keptOutput =
                lenient || out.empty() || (op.oldOrNewFile && (out == kOldFile || out == refOut));
            if (!keptOutput) problem += " false with output: " + out;
            Dump expected = before;
            if (op.leaves == Leaves::kEmptyTable) expected = Dump(1);
            if (op.leaves == Leaves::kGrownByEmpty && after.size() > before.size())
                expected.resize(after.size()); // with empty rows
            const bool kept = op.leaves == Leaves::kSomeRowsSaved
                                  ? rowsFromEither(after, before, refTable)
                                  : after == expected;
            if (!kept) problem += " table changed";
        } else if (!op.keepsBytes) { // a short load keeps the first rows, the last maybe cut
            bool prefix = after.size() <= refTable.size();
            for (size_t i = 0; prefix && i + 1 < after.size(); ++i)
                prefix = after[i] == refTable[i];
            if (!prefix) problem = "not the first rows of the table";
        }
        // A name made without all of its memory must not have reached the file system.
        for (const auto& entry : std::filesystem::directory_iterator(env.dir.root()))
            if (std::string(" in-sjis.csv out.csv report.xml ")
                    .find(" " + entry.path().filename().u8string() + " ") == std::string::npos)
                problem += " wrote " + entry.path().filename().u8string();
        if (op.logged && utf8([&](XString& s) {
                             csv->lastErrorText(s, true);
                         }).find(ok ? "Failed." : "Success.") != std::string::npos)
            problem += " log contradicts the result";
        if (!problem.empty()) {
            ADD_FAILURE() << "allocation " << n << " failing: " << problem << "\ntable now "
                          << testing::PrintToString(after);
            return;
        }
        if (!hit) break;
    }
    EXPECT_LT(n, kMaxFailures) << "the sweep did not reach a run without failures";
}

TEST(ClsCsvAllocationFailure, EveryFailingAllocationGivesFalseOrTheRightResult) {
    Env env;
    ASSERT_TRUE(env.dir.ok());
    // "日本,1" and "ｶﾞ,2" (half-width katakana) in Shift_JIS.
    ASSERT_TRUE(testfs::writeAll(env.inSjis, "\x93\xFA\x96\x7B,1\r\n\xB6\xDE,2\r\n"));

    const auto nothing = [](Env&, ClsCsv&) {};
    const auto afterFailedLoad = [](Env& e, ClsCsv& csv) {
        loadTable(e, csv);
        csv.LoadFile(X(e.missing)); // leaves a log with several entries
    };
    const auto save2 = [](Env& e, ClsCsv& csv, std::string& out) {
        const bool ok = csv.SaveFile2(X(e.out), X("windows-1252"));
        out = testfs::contentsOf(e.out);
        return ok;
    };
    const Op ops[] = {
        {"LoadFromString", [](Env&, ClsCsv& csv) { csv.LoadFromString(X("a;b\n1;2\n")); },
         [](Env&, ClsCsv& csv, std::string&) { return csv.LoadFromString(X(tableText())); }, true,
         true, Leaves::kEmptyTable},
        {"LoadFile2 shift_jis", nothing,
         [](Env& e, ClsCsv& csv, std::string&) {
             return csv.LoadFile2(X(e.inSjis), X("shift_jis"));
         },
         true, true, Leaves::kEmptyTable, false, true},
        {"SetCell", loadTable,
         [](Env&, ClsCsv& csv, std::string&) { return csv.SetCell(1, 2, X("new, \"quoted\"")); }},
        {"SetCell below the last row", loadTable,
         [](Env&, ClsCsv& csv, std::string&) {
             return csv.SetCell(csv.get_NumRows() + 2, 1, X(std::string(250, 'y')));
         },
         false, false, Leaves::kGrownByEmpty},
        {"SetColumnName", loadTable,
         [](Env&, ClsCsv& csv, std::string&) { return csv.SetColumnName(1, X("Menge, neu")); }},
        {"GetCell", loadTable,
         [](Env&, ClsCsv& csv, std::string& out) {
             bool ok = false;
             out = utf8([&](XString& s) { ok = csv.GetCell(3, 1, s); });
             return ok;
         },
         true},
        {"SaveToString", loadTable,
         [](Env&, ClsCsv& csv, std::string& out) {
             bool ok = false;
             out = utf8([&](XString& s) { ok = csv.SaveToString(s); });
             return ok;
         },
         true, true, Leaves::kSomeRowsSaved},
        {"SaveFile2 windows-1252", loadTable, save2, true, true, Leaves::kSomeRowsSaved, true},
        {"LastErrorText and LastErrorXml", afterFailedLoad,
         [](Env&, ClsCsv& csv, std::string& out) {
             out = utf8([&](XString& s) { csv.lastErrorText(s, true); }) + "|" +
                   utf8([&](XString& s) { csv.lastErrorXml(s, true); });
             return out.size() > 1;
         },
         true},
        {"SaveLastError", afterFailedLoad,
         [](Env& e, ClsCsv& csv, std::string& out) {
             testfs::writeAll(e.report, kOldFile);
             const bool ok = csv.saveLastError(X(e.report));
             out = testfs::contentsOf(e.report);
             return ok;
         },
         true, false, Leaves::kSameTable, true},
    };
    for (const Op& op : ops)
        sweep(env, op);
}

} // namespace
#endif
