// The CSV document object when memory runs out or the file system fails. Whichever allocation
// fails, nothing may crash or leak (LeakSanitizer checks) and no file but the named one appears.
// Edits give false and keep the table; loads, saves and reads may instead succeed with a short
// text, but reads and saves keep the table. Without a failure every call gives its usual result.
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

using csvtest::into;
using csvtest::utf8;
using csvtest::X;

// A table with column names, more rows than an array's first growth steps, a quoted cell, a cell
// holding a line break, Latin-1 letters and one quoted cell longer than a string buffer's first
// block (reading it unquotes it into a buffer that must grow).
std::string tableText() {
    std::string t = "Name,Qty,Note\n"
                    "apple,3,plain\n"
                    "\"pear, green\",5,\"say \"\"hi\"\"\"\n"
                    "caf\xC3\xA9,7,\"two\nlines\"\n";
    t += "long,\"" + std::string(300, 'x') + "\",end\n";
    for (int i = 0; i < 9; ++i)
        t += "r" + std::to_string(i) + ",\xC3\xBC" + std::to_string(i) + ",\xC3\x9F\n";
    return t;
}

// The text as windows-1252 bytes: the letters used above are all two-byte Latin-1 sequences.
std::string to1252(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c == 0xC3 && i + 1 < utf8.size())
            out += static_cast<char>(static_cast<unsigned char>(utf8[++i]) + 0x40);
        else
            out += static_cast<char>(c);
    }
    return out;
}

std::string withCrlf(const std::string& text) {
    std::string out;
    for (char c : text)
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

// Everything a caller can read of the table: names with their indexes, and the cells by row.
struct Dump {
    std::string names;
    std::vector<std::string> rows;
    bool operator==(const Dump& o) const { return names == o.names && rows == o.rows; }
};

Dump dumpOf(ClsCsv& csv) {
    Dump d;
    for (int i = 0; csv.get_HasColumnNames() && i < csv.get_NumColumns(); ++i) {
        XString name;
        csv.GetColumnName(i, name);
        d.names += name.getUtf8() + ("=" + std::to_string(csv.GetIndex(name))) + "|";
    }
    for (int r = 0; r < csv.get_NumRows(); ++r) {
        d.rows.emplace_back();
        for (int c = 0; c < csv.GetNumCols(r); ++c)
            d.rows.back() += utf8([&](XString& s) { csv.GetCell(r, c, s); }) + "|";
    }
    return d;
}

std::ostream& operator<<(std::ostream& os, const Dump& d) {
    os << d.rows.size() << " rows, names " << d.names;
    for (const std::string& row : d.rows)
        os << "\n" << row;
    return os;
}

// Whether every row of `now` is as in `before` or as in `after` (and the names as in both).
bool rowsFromEither(const Dump& now, const Dump& before, const Dump& after) {
    if (now.names != before.names || now.names != after.names) return false;
    if (now.rows.size() != before.rows.size() || now.rows.size() != after.rows.size()) return false;
    for (size_t i = 0; i < now.rows.size(); ++i)
        if (now.rows[i] != before.rows[i] && now.rows[i] != after.rows[i]) return false;
    return true;
}

struct Env {
    testfs::TempDir dir;
    const std::string in1252 = dir.utf8Path("in-1252.csv");
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
// What a call that returned false may leave in its output.
enum class Gives {
    kNothing,
    kOldOrNewFile, // a save either did not touch the file or wrote all of it
};

struct Op {
    const char* name;
    std::function<void(Env&, ClsCsv&)> prepare;
    std::function<bool(Env&, ClsCsv&, std::string&)> run;
    Leaves leaves;
    Gives gives;
    bool logged;                 // runs in a logged frame: the log must end as the result says
    bool shortOnFailure = false; // may succeed with a short text when an allocation failed
};

// The table of tableText(), plus a cell set to a text with a CR LF (stored rows otherwise hold
// LF line ends only, and a save with CR LF line ends rewrites such a row).
void loadTable(Env&, ClsCsv& csv) {
    csv.put_HasColumnNames(true);
    ASSERT_TRUE(csv.LoadFromString(X(tableText())));
    ASSERT_TRUE(csv.SetCell(0, 2, X("cr\r\nlf")));
}

// The table of tableText() alone, loaded from the text.
Dump loadedTable() {
    ClsCsv csv;
    csv.put_HasColumnNames(true);
    csv.LoadFromString(X(tableText()));
    return dumpOf(csv);
}

// What SaveToString gives for that table.
std::string savedTable() {
    std::string t = withCrlf(tableText());
    const std::string plain = "apple,3,plain";
    return t.replace(t.find(plain), plain.size(), "apple,3,cr\r\nlf");
}

const std::string kOldFile = "old contents\r\n";

// Fails allocation n of a run of op on a freshly prepared object, for n = 0, 1, ... until a run
// makes no more than n allocations; a run that reaches the bound fails the test.
const long kMaxFailures = 2000;

void sweep(Env& env, const Op& op) {
    SCOPED_TRACE(op.name);
    // The run without any failure is the answer every successful run must give.
    ClsCsv refObject;
    op.prepare(env, refObject);
    testfs::writeAll(env.out, kOldFile);
    std::string refOut;
    ASSERT_TRUE(op.run(env, refObject, refOut));
    const Dump refTable = dumpOf(refObject);
    // prepare() is the same every time: the table before a run is this one.
    ClsCsv prepared;
    op.prepare(env, prepared);
    const Dump before = dumpOf(prepared);

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
                lenient || out.empty() ||
                (op.gives == Gives::kOldOrNewFile && (out == kOldFile || out == refOut));
            if (!keptOutput) problem += " false with output: " + out;
            Dump expected = before;
            if (op.leaves == Leaves::kEmptyTable) expected = Dump{};
            if (op.leaves == Leaves::kGrownByEmpty && after.rows.size() > before.rows.size())
                expected.rows.resize(after.rows.size()); // with empty rows
            const bool kept = op.leaves == Leaves::kSomeRowsSaved
                                  ? rowsFromEither(after, before, refTable)
                                  : after == expected;
            if (!kept) problem += " table changed";
        }
        // A name made without all of its memory must not have reached the file system.
        for (const auto& entry : std::filesystem::directory_iterator(env.dir.root()))
            if (std::string(" in-1252.csv in-sjis.csv out.csv report.xml ")
                    .find(" " + entry.path().filename().u8string() + " ") == std::string::npos)
                problem += " wrote " + entry.path().filename().u8string();
        if (op.logged && utf8([&](XString& s) {
                             csv->lastErrorText(s, true);
                         }).find(ok ? "Failed." : "Success.") != std::string::npos)
            problem += " log contradicts the result";
        if (!problem.empty()) {
            ADD_FAILURE() << "allocation " << n << " failing: " << problem << "\ntable now "
                          << after;
            return;
        }
        if (!hit) break;
    }
    EXPECT_LT(n, kMaxFailures) << "the sweep did not reach a run without failures";
}

TEST(ClsCsvAllocationFailure, EveryFailingAllocationGivesFalseOrTheRightResult) {
    Env env;
    ASSERT_TRUE(env.dir.ok());
    ASSERT_TRUE(testfs::writeAll(env.in1252, to1252(tableText())));
    // "日本,1" and "ｶﾞ,2" (half-width katakana) in Shift_JIS.
    ASSERT_TRUE(testfs::writeAll(env.inSjis, "\x93\xFA\x96\x7B,1\r\n\xB6\xDE,2\r\n"));

    const auto nothing = [](Env&, ClsCsv&) {};
    const auto afterFailedLoad = [](Env& e, ClsCsv& csv) {
        loadTable(e, csv);
        csv.LoadFile(X(e.missing)); // leaves a log with several entries
    };
    const auto K = Leaves::kSameTable;
    const auto N = Gives::kNothing;
    const Op ops[] = {
        {"LoadFromString", [](Env&, ClsCsv& csv) { csv.LoadFromString(X("a;b\n1;2\n")); },
         [](Env&, ClsCsv& csv, std::string&) { return csv.LoadFromString(X(tableText())); },
         Leaves::kEmptyTable, N, true, true},
        {"LoadFile2 windows-1252", loadTable,
         [](Env& e, ClsCsv& csv, std::string&) {
             return csv.LoadFile2(X(e.in1252), X("windows-1252"));
         },
         Leaves::kEmptyTable, N, true, true},
        {"LoadFile2 shift_jis", nothing,
         [](Env& e, ClsCsv& csv, std::string&) {
             return csv.LoadFile2(X(e.inSjis), X("shift_jis"));
         },
         Leaves::kEmptyTable, N, true, true},
        {"SetCell", loadTable,
         [](Env&, ClsCsv& csv, std::string&) { return csv.SetCell(1, 2, X("new, \"quoted\"")); }, K,
         N, false},
        {"SetCell below the last row", loadTable,
         [](Env&, ClsCsv& csv, std::string&) {
             return csv.SetCell(csv.get_NumRows() + 2, 1, X(std::string(250, 'y')));
         },
         Leaves::kGrownByEmpty, N, false},
        {"SetColumnName", loadTable,
         [](Env&, ClsCsv& csv, std::string&) { return csv.SetColumnName(1, X("Menge, neu")); }, K,
         N, false},
        {"GetCell", loadTable,
         [](Env&, ClsCsv& csv, std::string& out) {
             return into(out, [&](XString& s) { return csv.GetCell(3, 1, s); });
         },
         K, N, false, true},
        {"GetIndex", loadTable,
         [](Env&, ClsCsv& csv, std::string& out) {
             XString name; // given as UTF-16, so that the call converts it
             name.setFromUnicode(reinterpret_cast<const uint16_t*>(u"Note"));
             const int index = csv.GetIndex(name);
             if (index >= 0) out = std::to_string(index);
             return index >= 0;
         },
         K, N, false, true},
        {"SaveToString", loadTable,
         [](Env&, ClsCsv& csv, std::string& out) {
             return into(out, [&](XString& s) { return csv.SaveToString(s); });
         },
         Leaves::kSomeRowsSaved, N, true, true},
        {"SaveFile2 windows-1252", loadTable,
         [](Env& e, ClsCsv& csv, std::string& out) {
             bool ok = csv.SaveFile2(X(e.out), X("windows-1252"));
             out = testfs::contentsOf(e.out);
             return ok;
         },
         Leaves::kSomeRowsSaved, Gives::kOldOrNewFile, true, true},
        {"LastErrorText", afterFailedLoad,
         [](Env&, ClsCsv& csv, std::string& out) {
             out = utf8([&](XString& s) { csv.lastErrorText(s, true); });
             return !out.empty();
         },
         K, N, false, true},
        {"LastErrorXml", afterFailedLoad,
         [](Env&, ClsCsv& csv, std::string& out) {
             out = utf8([&](XString& s) { csv.lastErrorXml(s, true); });
             return !out.empty();
         },
         K, N, false, true},
        {"SaveLastError", afterFailedLoad,
         [](Env& e, ClsCsv& csv, std::string& out) {
             testfs::writeAll(e.report, kOldFile);
             bool ok = csv.saveLastError(X(e.report));
             out = testfs::contentsOf(e.report);
             return ok;
         },
         K, Gives::kOldOrNewFile, false, true},
    };
    for (const Op& op : ops)
        sweep(env, op);

    // The answers the sweeps compared with are themselves right.
    ClsCsv csv;
    loadTable(env, csv);
    std::string text;
    ASSERT_TRUE(into(text, [&](XString& s) { return csv.SaveToString(s); }));
    EXPECT_EQ(text, savedTable());
    ASSERT_TRUE(csv.SaveFile2(X(env.out), X("windows-1252")));
    EXPECT_EQ(testfs::contentsOf(env.out), to1252(savedTable()));
    ClsCsv fromFile;
    fromFile.put_HasColumnNames(true);
    ASSERT_TRUE(fromFile.LoadFile2(X(env.in1252), X("windows-1252")));
    EXPECT_EQ(dumpOf(fromFile), loadedTable());
}

// Failures of the file system met by LoadFile and SaveFile: the call returns false, the log holds
// the file layer's messages and "Failed.", a failed save keeps the table, a failed load leaves
// the empty table, and the same call succeeds once the failure has cleared.
TEST(ClsCsvFileFailure, ReportedAndRecoverable) {
    using F = FileFaultInjection;
    struct Case {
        const char* name;
        bool save;
        void (*arm)();
        long opens;           // attempts to open the file
        const char* messages; // in this order in the log, separated by "|"
    };
    const Case cases[] = {
        {"short write", true, [] { F::writeLimit = 5; }, 1, "Failed to write complete file (1)"},
        {"sharing violation on save", true, [] { F::openError = 32; }, 4,
         "Failed to open file (2)|\n    Filename: |Failed to write complete file (7)"},
        {"sharing violation on load", false, [] { F::openError = 32; }, 4,
         "Failed to open file (2)|WindowsError: 0x20"},
        {"read error", false, [] { F::readError = 30; }, 1, "Failed to read data from file"},
        {"short read", false, [] { F::readLimit = 7; }, 1,
         "bytes_received: 7|Failed to read the entire file"},
        {"file size", false, [] { F::sizeError = 6; }, 1,
         "Failed to get file size when loading string from file"},
    };
    Env env;
    ASSERT_TRUE(env.dir.ok());
    const std::string expectedFile = to1252(savedTable());
    const Dump loaded = loadedTable();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(testfs::writeAll(env.out, c.save ? kOldFile : to1252(withCrlf(tableText()))));
        ClsCsv csv;
        loadTable(env, csv);
        const Dump table = dumpOf(csv);

        F::reset(); // every failing open fails for good (openErrorCount -1)
        c.arm();
        EXPECT_FALSE(c.save ? csv.SaveFile(X(env.out)) : csv.LoadFile(X(env.out)));
        const long opens = F::openCalls.load();
        F::reset();
        EXPECT_EQ(opens, c.opens);

        const std::string text = utf8([&](XString& s) { csv.lastErrorText(s, true); });
        size_t at = 0;
        for (std::string rest = c.messages; !rest.empty();) {
            const std::string m = rest.substr(0, rest.find('|'));
            rest.erase(0, m.size() + 1);
            at = text.find(m, at);
            ASSERT_NE(at, std::string::npos) << m << " missing from\n" << text;
        }
        EXPECT_NE(text.find("    Failed.\r\n", at), std::string::npos) << text;

        if (c.save) {
            // The table is kept, but for line ends inside stored rows in the saved form. No
            // temporary file stands in: a refused open leaves the target, a short write its part.
            const Dump afterFailure = dumpOf(csv);
            EXPECT_EQ(testfs::contentsOf(env.out),
                      c.opens > 1 ? kOldFile : expectedFile.substr(0, 5));
            EXPECT_TRUE(csv.SaveFile(X(env.out)));
            EXPECT_EQ(testfs::contentsOf(env.out), expectedFile);
            EXPECT_TRUE(rowsFromEither(afterFailure, table, dumpOf(csv))) << afterFailure;
        } else {
            EXPECT_EQ(dumpOf(csv), Dump{});
            EXPECT_TRUE(csv.LoadFile(X(env.out)));
            EXPECT_EQ(dumpOf(csv), loaded);
        }
    }
}

} // namespace
#endif
