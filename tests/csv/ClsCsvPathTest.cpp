// File names of every shape through all five calls that take one (SaveFile2, LoadFile2, SaveFile,
// LoadFile, saveLastError), each call checked for its result, its log, the table it leaves and
// the file tree around it: a save may write the one file it names, nothing else writes at all.
#include "csv/CsvTestSupport.h"
#include "file/FileTestSupport.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h> // after the file layer's headers, which use the same names
#endif

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using filetest::trimmedErrorText;

const char kTable[] = "name,value\r\nalpha,1\r\nbeta,\"x,y\"\r\n";
const char kDecoy[] = "decoy,untouched\r\n";
const char kOmega[] = "\xCE\xA9"; // one UTF-16 unit, outside code page 1252
// The system's error codes for a directory where a file was expected, a missing directory on the
// way, and a name refused as invalid.
const uint32_t kDenied = 5, kNoPath = 3, kBadName = 123;

enum Op { kSave2, kLoad2, kSave, kLoad, kSaveLog };
const Op kOps[] = {kSave2, kLoad2, kSave, kLoad, kSaveLog};
const char* const kOpNames[] = {"SaveFile2", "LoadFile2", "SaveFile", "LoadFile", "saveLastError"};

size_t utf16Units(const std::string& utf8) {
    size_t n = 0;
    for (unsigned char c : utf8)
        n += (c & 0xC0) != 0x80 ? 1 : 0; // one per lead byte
    for (unsigned char c : utf8)
        n += c >= 0xF0 ? 1 : 0; // and a second unit for a surrogate pair
    return n;
}

std::string textOf(XString& x) {
    return x.getUtf8();
}

// A call's text argument, as UTF-8 or as UTF-16 (how the automation interface passes it).
struct Arg : XString {
    explicit Arg(const std::string& utf8, bool wide = false) {
        if (!wide) {
            setFromUtf8(utf8.c_str());
            return;
        }
        std::u16string units;
        for (size_t i = 0; i < utf8.size();) {
            const unsigned char b = static_cast<unsigned char>(utf8[i]);
            const int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
            uint32_t cp = extra == 0 ? b : b & (0x3F >> extra);
            for (int k = 1; k <= extra; ++k)
                cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
            if (cp >= 0x10000) {
                units += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
                cp = 0xDC00 + ((cp - 0x10000) & 0x3FF);
            }
            units += static_cast<char16_t>(cp);
            i += static_cast<size_t>(extra) + 1;
        }
        setFromUnicode(reinterpret_cast<const uint16_t*>(units.c_str()));
    }
};

// Every entry under a directory: "<dir>" or "=" and the file's bytes, by relative UTF-8 path.
using Tree = std::map<std::string, std::string>;

#ifdef _WIN32
// The standard library of the Windows build loses its way in paths of 260 characters or more,
// with or without the long-path prefix; the system's own listing does not.
std::wstring longForm(const fs::path& p) {
    return L"\\\\?\\" + fs::path(p).make_preferred().wstring();
}

void walk(const std::wstring& dir, const std::string& rel, Tree& tree, bool remove) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) {
        tree["<cannot list " + rel + ">"] = "";
        return;
    }
    do {
        const std::wstring n = found.cFileName, full = dir + L"\\" + n;
        if (n == L"." || n == L"..") continue;
        const std::string name = rel + fs::path(n).u8string();
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            tree[name] = "<dir>";
            walk(full, name + "/", tree, remove);
            if (remove) RemoveDirectoryW(full.c_str());
            continue;
        }
        std::string bytes;
        HANDLE f = CreateFileW(full.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               0, nullptr);
        char block[4096];
        DWORD got = 0;
        while (f != INVALID_HANDLE_VALUE && ReadFile(f, block, sizeof block, &got, nullptr) && got)
            bytes.append(block, got);
        if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
        tree[name] = "=" + bytes;
        if (remove) {
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(full.c_str());
        }
    } while (FindNextFileW(h, &found));
    FindClose(h);
}

Tree snapshot(const fs::path& root, bool remove = false) {
    Tree tree;
    walk(longForm(root), "", tree, remove);
    return tree;
}
#else
Tree snapshot(const fs::path& root, bool = false) {
    Tree tree;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const std::string rel = it->path().lexically_relative(root).generic_u8string();
        tree[rel] = it->is_directory() ? "<dir>" : "=" + testfs::contentsOf(it->path());
    }
    if (ec) tree["<cannot list>"] = ec.message();
    return tree;
}
#endif

std::string differences(const Tree& want, const Tree& got) {
    std::string out;
    for (const auto& [k, v] : got)
        if (!want.count(k) || want.at(k) != v) out += "\n  + " + k + " " + v.substr(0, 40);
    for (const auto& [k, v] : want)
        if (!got.count(k)) out += "\n  - " + k;
    return out;
}

// What every call with one name must give. target is where a save lands, relative to the sandbox
// root; empty when every call fails. code is the system error of the first failed open (0: any).
struct Expect {
    std::string target;
    uint32_t code = 0;
};

// The sandbox: root/parent/work, where names are resolved. Names that climb out of work land in
// parent; decoy files sit where a shortened or mangled name would land.
class PathRobust : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sandbox.ok());
        work = sandbox.root() / "parent" / "work";
        workUtf8 = testfs::utf8(work);
        ASSERT_TRUE(fs::create_directories(work / "sub"));
        ASSERT_TRUE(fs::create_directory(work / fs::u8path("\xCE\xA9sub")));
        for (const char* decoy : {"parent/work/x.csv", "parent/x.csv", "parent/work/sub/x.csv"})
            ASSERT_TRUE(testfs::writeAll(sandbox.path(decoy), kDecoy));
        ASSERT_TRUE(testfs::writeAll(work / "file.csv", kDecoy));
    }
    void TearDown() override {
        std::error_code ec;
        if (!cwd.empty()) fs::current_path(cwd, ec);
        snapshot(sandbox.root(), true); // long paths, which the sandbox cannot remove itself
    }

    // Entries of the system's temporary directory whose names are cut-off forms of the sandbox's.
    std::set<std::string> truncatedSiblings() {
        std::set<std::string> found;
        const std::string mine = sandbox.root().filename().u8string();
        std::error_code ec;
        for (auto it = fs::directory_iterator(sandbox.root().parent_path(), ec);
             !ec && it != fs::directory_iterator(); it.increment(ec)) {
            const std::string n = it->path().filename().u8string();
            if (n.size() < mine.size() && mine.compare(0, n.size(), n) == 0) found.insert(n);
        }
        return found;
    }

    void run(const std::string& label, const std::string& path, const Expect& e);

    testfs::TempDir sandbox;
    fs::path work, cwd;
    std::string workUtf8;
};

void PathRobust::run(const std::string& label, const std::string& path, const Expect& e) {
    const bool ok = !e.target.empty();
    ClsCsv csv;
    for (Op op : kOps) {
        SCOPED_TRACE(label + " / " + kOpNames[op]);
        Arg table(kTable);
        ASSERT_TRUE(csv.LoadFromString(table));
        XString before, xml;
        csv.lastErrorText(before, false);
        csv.lastErrorXml(xml, false);
        const Tree treeBefore = snapshot(sandbox.root());
        const std::set<std::string> siblingsBefore = truncatedSiblings();

        Arg name(path, op >= kSave), utf8("utf-8"); // both forms the caller may hold
        const bool got = op == kSave2   ? csv.SaveFile2(name, utf8)
                         : op == kLoad2 ? csv.LoadFile2(name, utf8)
                         : op == kSave  ? csv.SaveFile(name)
                         : op == kLoad  ? csv.LoadFile(name)
                                        : csv.saveLastError(name);
        EXPECT_EQ(got, ok);

        // The log: the outcome, and for a failure the file layer's messages naming it.
        XString logX;
        csv.lastErrorText(logX, false);
        const std::string log = textOf(logX);
        const bool loading = op == kLoad || op == kLoad2;
        auto has = [&](const std::string& s) { return log.find(s) != std::string::npos; };
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%x", static_cast<unsigned>(e.code));
        if (op == kSaveLog) {
            EXPECT_EQ(log, textOf(before)) << "saving the report logs nothing";
        } else if (ok) {
            EXPECT_TRUE(has("    Success.\r\n") && !has("Failed")) << log;
        } else if (loading) {
            EXPECT_TRUE(has("Failed to open file (2)\r\n") || has("Failed to open file (3)\r\n"))
                << log;
            EXPECT_TRUE(e.code == 0 || has("WindowsError: " + std::string(hex) + "\r\n")) << log;
        } else {
            EXPECT_TRUE(has("Failed to write complete file (7)\r\n")) << log;
            EXPECT_TRUE(has("Filename: " + path + "\r\n")) << log;
            EXPECT_TRUE(e.code == 0 || has("osErrorInfo: " + trimmedErrorText(e.code) + "\r\n"))
                << log;
        }
        const std::string last = ok ? "  Success.\r\n" : "  Failed.\r\n";
        EXPECT_TRUE(op == kSaveLog || log.compare(log.size() - last.size(), last.size(), last) == 0)
            << log;

        // The table: a save never changes it; a load that fails leaves it empty.
        XString saved;
        ASSERT_TRUE(csv.SaveToString(saved));
        EXPECT_EQ(textOf(saved), loading && !ok ? "" : kTable);

        // The files: only the target of a successful save differs, holding what was saved.
        Tree want = treeBefore;
        if (ok && !loading) want[e.target] = "=" + (op == kSaveLog ? textOf(xml) : kTable);
        const Tree treeAfter = snapshot(sandbox.root());
        EXPECT_TRUE(treeAfter == want) << differences(want, treeAfter);
        EXPECT_EQ(truncatedSiblings(), siblingsBefore);
    }
}

// ---- names that must round trip ---------------------------------------------------------------

TEST_F(PathRobust, EveryScriptRoundTrips) {
    ASSERT_TRUE(fs::create_directory(
        work / fs::u8path("\xD0\x9A\xD0\xB0\xD1\x82\xD0\xB0\xD0\xBB\xD0\xBE\xD0\xB3")));
    // Latin-1 (the ANSI route), Greek, Arabic with vowel marks, CJK with kana, Hangul, surrogate
    // pairs with a skin-tone modifier, a joined emoji sequence, combining marks kept decomposed and
    // the composed twin (another name), a right-to-left mark with a zero-width no-break space, and
    // two scripts on two levels.
    const char* const names[] = {
        "caf\xC3\xA9 r\xC3\xA9sum\xC3\xA9 \xC3\x91"
        "and\xC3\xBA.csv",
        "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC.csv",
        "\xD8\xA7\xD9\x84\xD8\xB9\xD9\x8E\xD8\xB1\xD9\x8E\xD8\xA8\xD9\x90\xD9\x8A\xD9\x91.csv",
        "\xE4\xB8\xAD\xE6\x96\x87\xE6\xBC\xA2\xE5\xAD\x97 \xE3\x81\x8B\xE3\x81\xAA.csv",
        "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4.csv",
        "smile \xF0\x9F\x98\x80 \xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD.csv",
        "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7.csv",
        "e\xCC\x81 a\xCC\x88\xCC\xA3 n\xCC\x83.csv",
        "\xC3\xA9.csv",
        "mark\xE2\x80\x8F \xEF\xBB\xBF.csv",
        "\xD0\x9A\xD0\xB0\xD1\x82\xD0\xB0\xD0\xBB\xD0\xBE\xD0\xB3/\xE6\x97\xA5\xE6\x9C\xAC.csv"};
    for (const char* name : names)
        run(name, workUtf8 + "/" + name, {std::string("parent/work/") + name});
}

// ".." and "." are resolved by name, before the file system sees the path (a name that climbs
// out of the working directory writes there); doubled separators collapse; on Windows trailing
// dots and spaces leave the last component.
TEST_F(PathRobust, DotDotAndOddSeparatorsNameTheOneFile) {
    const std::string dirs(200, 'd'), file = std::string(100, 'f') + ".csv", om(kOmega);
    ASSERT_TRUE(fs::create_directory(testfs::openable(work / dirs)));
    std::vector<std::pair<std::string, std::string>> cases = {
        {"sub/../a.csv", "parent/work/a.csv"},
        {"./sub/./../sub/b.csv", "parent/work/sub/b.csv"},
        {"missing/../c.csv", "parent/work/c.csv"},
        {"sub/../../up2.csv", "parent/up2.csv"},
        {om + "sub/../" + om + ".csv", "parent/work/" + om + ".csv"},
        {om + "sub/../../" + om + "up.csv", "parent/" + om + "up.csv"},
        {dirs + "/../" + file, "parent/work/" + file}, // 300 units and more: the long-path route
        {dirs + "/../../" + file, "parent/" + file},
        {"sub//e.csv", "parent/work/sub/e.csv"},
        {"sub///e2.csv", "parent/work/sub/e2.csv"},
        {om + "sub//" + om + "e.csv", "parent/work/" + om + "sub/" + om + "e.csv"},
    };
#ifdef _WIN32
    cases.insert(cases.end(), {{"t.csv.", "parent/work/t.csv"},
                               {"t2.csv  ", "parent/work/t2.csv"},
                               {"t3.csv. .", "parent/work/t3.csv"},
                               {om + "t.csv.", "parent/work/" + om + "t.csv"}});
#endif
    for (const auto& [name, target] : cases)
        run(name, workUtf8 + "/" + name, {target});
}

// Relative names are taken against the current directory on both routes.
TEST_F(PathRobust, RelativeNamesUseTheCurrentDirectory) {
    const std::string dirs(200, 'r'), om(kOmega);
    ASSERT_TRUE(fs::create_directory(testfs::openable(work / dirs)));
    std::error_code ec;
    cwd = fs::current_path(ec);
    fs::current_path(work, ec);
    ASSERT_FALSE(ec);
    const std::pair<std::string, std::string> cases[] = {
        {"rel.csv", "parent/work/rel.csv"},
        {"sub/../rel2.csv", "parent/work/rel2.csv"},
        {"../rel-up.csv", "parent/rel-up.csv"},
        {om + "rel.csv", "parent/work/" + om + "rel.csv"},
        {dirs + "/" + std::string(100, 'f'), "parent/work/" + dirs + "/" + std::string(100, 'f')},
    };
    for (const auto& [name, target] : cases)
        run(name, name, {target});
}

// Paths around 260 units (where the long-path route begins) and components around 255.
TEST_F(PathRobust, LengthsNearTheLimitsRoundTrip) {
    const size_t base = utf16Units(workUtf8) + 1;
    const std::string dir(250, 'D');
    ASSERT_TRUE(fs::create_directory(testfs::openable(work / dir)));
    std::vector<std::string> names;
    for (size_t total : {258, 259, 260, 261})
        names.push_back(std::string(total - base - 4, 'n') + ".csv");
    for (size_t component : {254, 255})
        names.push_back(std::string(component - 4, 'c') + ".csv");
    names.push_back(dir + "/" + std::string(251, 'f') + ".csv");
    for (const std::string& name : names) {
        const std::string label = std::to_string(base + utf16Units(name)) + " units";
        run(label, workUtf8 + "/" + name, {"parent/work/" + name});
    }
}

// ---- names that must fail without writing anywhere ----------------------------------------------

TEST_F(PathRobust, DirectoriesAndFilesInTheWayFail) {
    const std::pair<std::string, uint32_t> cases[] = {
        {"sub", kDenied},
        {std::string(kOmega) + "sub", kDenied},
        {"file.csv/x.csv", kNoPath},
        {"file.csv/" + std::string(kOmega) + ".csv", kNoPath},
        {"nodir/x.csv", kNoPath},
        {std::string(252, 'c') + ".csv", 0}, // a component of 256 units
        {"sub/", kBadName},
        {"x.csv/", kBadName}, // names no file: the decoy x.csv stays as it is
        {"new.csv\\", kBadName},
        {".", 0},
        {"..", 0},
    };
    for (const auto& [name, code] : cases)
        run(name, workUtf8 + "/" + name, {"", code});
}

// Names the code page cannot carry that fail on the Unicode route: the ANSI attempt after that
// must not reach the file the name minus its foreign characters would name (a decoy or new file).
TEST_F(PathRobust, ForeignNamesThatFailDoNotFallBackToAShortenedName) {
    const std::string om(kOmega);
    const std::pair<std::string, uint32_t> cases[] = {
        {om + "/x.csv", kNoPath},
        {om + "missing/x.csv", kNoPath},
        {"sub" + om + "/x.csv", kNoPath},
        {csvtest::repeated(om, 300) + ".csv", 0}, // a component of 304 units
        {csvtest::repeated(om, 100) + std::string(150, 'x') + ".csv", 0},
        {csvtest::repeated(om, 300) + "/x.csv", 0},
    };
    for (const auto& [name, code] : cases)
        run(name.substr(0, 24), workUtf8 + "/" + name, {"", code});
}

// Paths of the system's maximum length and beyond fail, writing under no shortened name; also
// for a path whose lossy ANSI form would collapse into a short name ending in the decoy "x.csv".
TEST_F(PathRobust, PathsBeyondTheMaximumFailCleanly) {
    for (const std::string& unit : {std::string("d"), std::string(kOmega)}) {
        for (size_t total : {32767, 32768, 40000}) {
            std::string path = workUtf8;
            while (total - utf16Units(path) - 6 > 250)
                path += "/" + csvtest::repeated(unit, 200);
            path += "/" + csvtest::repeated(unit, total - utf16Units(path) - 6) + "x.csv";
            ASSERT_EQ(utf16Units(path), total);
            run(std::to_string(total) + (unit == "d" ? " ascii" : " foreign"), path, {});
        }
    }
}

// Device names in any casing, with an extension or trailing dots and spaces, in any component,
// and characters no file name may hold: refused with the invalid-name error before any open, on
// both routes and every system (left to the system, devices would be opened on one route and
// made as files on the other, and a colon would write a stream). Look-alikes are ordinary files.
TEST_F(PathRobust, DeviceNamesAndForbiddenCharactersAreRefused) {
    const std::string om(kOmega);
    const std::string refused[] = {
        // devices
        "CON", "nul", "Aux", "PRN", "COM1", "lpt1", "com9", "LPT0", "con.csv", "NUL.tar.gz",
        "prn .csv", "CON.", "aux ", "CONIN$", "conout$", "COM\xC2\xB9.csv", "nul/x.csv",
        om + "sub/CON", om + "sub/lpt9.csv", om + "sub/NUL/x.csv",
        // characters
        "a<b.csv", "a>b.csv", "a\"b.csv", "a|b.csv", "a?b.csv", "a*b.csv", "a:b.csv",
        "x.csv:stream", "a\x01z.csv", "tab\tname.csv", "a\x1F.csv", "sub?/x.csv", "s*b/x.csv",
        om + "<.csv", om + ":" + om + ".csv"};
    for (const std::string& name : refused)
        run(name, workUtf8 + "/" + name, {"", kBadName});
    const std::string lookAlikes[] = {"CONSOLE.csv", "COM10.csv", "NULL",    "AUXILIARY",
                                      "xcon.csv",    "con-x.csv", "lpt.csv", om + "CON.x"};
    for (const std::string& name : lookAlikes)
        run(name, workUtf8 + "/" + name, {"parent/work/" + name});
}

} // namespace
