// File names of every shape through all five calls that take one (SaveFile2, LoadFile2, SaveFile,
// LoadFile, saveLastError), each checked for its result, its log, the table it leaves and the
// file tree around it: a save may write the one file it names, nothing else writes at all. The
// file layer's own messages and its long-path route are its suites' business.
#include "csv/CsvTestSupport.h"
#include "file/FileTestSupport.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h> // after the file layer's headers, which use the same names
#endif

#include <cstdio>
#include <map>
#include <string>

namespace {

namespace fs = std::filesystem;
using filetest::trimmedErrorText;

const char kTable[] = "name,value\r\nalpha,1\r\nbeta,\"x,y\"\r\n";
const char kDecoy[] = "decoy,untouched\r\n";
const char kOmega[] = "\xCE\xA9"; // one UTF-16 unit, outside code page 1252

enum Op { kSave2, kLoad2, kSave, kLoad, kSaveLog };
const char* const kOpNames[] = {"SaveFile2", "LoadFile2", "SaveFile", "LoadFile", "saveLastError"};

// UTF-16 units of a UTF-8 text.
size_t utf16Units(const std::string& utf8) {
    return static_cast<size_t>(csvtest::X(utf8).s.getNumChars());
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

    // Every call with one name. target: where a save lands, relative to the sandbox root; empty
    // when every call fails. code: the system error of the first failed open (0: any).
    void run(const std::string& label, const std::string& path, const std::string& target,
             uint32_t code = 0) {
        const bool ok = !target.empty();
        ClsCsv csv;
        for (Op op : {kSave2, kLoad2, kSave, kLoad, kSaveLog}) {
            SCOPED_TRACE(label + " / " + kOpNames[op]);
            Arg table(kTable);
            ASSERT_TRUE(csv.LoadFromString(table));
            XString before, xml;
            csv.lastErrorText(before, false);
            csv.lastErrorXml(xml, false);
            const Tree treeBefore = snapshot(sandbox.root());

            Arg name(path, op >= kSave), utf8("utf-8"); // both forms the caller may hold
            const bool got = op == kSave2   ? csv.SaveFile2(name, utf8)
                             : op == kLoad2 ? csv.LoadFile2(name, utf8)
                             : op == kSave  ? csv.SaveFile(name)
                             : op == kLoad  ? csv.LoadFile(name)
                                            : csv.saveLastError(name);
            EXPECT_EQ(got, ok);

            // The log ends as the call did; a failure names the system error the name itself met.
            XString logX;
            csv.lastErrorText(logX, false);
            const std::string log = logX.getUtf8(), last = ok ? "  Success.\r\n" : "  Failed.\r\n";
            const bool loading = op == kLoad || op == kLoad2;
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%x", static_cast<unsigned>(code));
            const std::string error = loading ? "WindowsError: " + std::string(hex)
                                              : "osErrorInfo: " + trimmedErrorText(code);
            if (op == kSaveLog)
                EXPECT_EQ(log, std::string(before.getUtf8())) << "saving the report logs nothing";
            else
                EXPECT_TRUE(log.size() > last.size() &&
                            log.compare(log.size() - last.size(), last.size(), last) == 0 &&
                            (ok || code == 0 || log.find(error + "\r\n") != std::string::npos))
                    << log;

            // The table: a save never changes it; a load that fails leaves it empty.
            XString saved;
            ASSERT_TRUE(csv.SaveToString(saved));
            EXPECT_EQ(std::string(saved.getUtf8()), loading && !ok ? "" : kTable);

            // The files: only the target of a successful save differs, holding what was saved.
            Tree want = treeBefore;
            if (ok && !loading)
                want[target] = std::string("=") + (op == kSaveLog ? xml.getUtf8() : kTable);
            EXPECT_EQ(snapshot(sandbox.root()), want);
        }
    }

    testfs::TempDir sandbox;
    fs::path work, cwd;
    std::string workUtf8;
};

// Expands {u*n} into n copies of u.
std::string expanded(std::string s) {
    for (size_t at; (at = s.find('{')) != std::string::npos;) {
        const size_t star = s.find('*', at), close = s.find('}', at);
        s.replace(at, close - at + 1,
                  csvtest::repeated(s.substr(at + 1, star - at - 1),
                                    std::stoul(s.substr(star + 1, close - star - 1))));
    }
    return s;
}

// tests/csv/data/paths.txt, every name through every call.
TEST_F(PathRobust, NamesFromTheTable) {
    for (const char* dir :
         {"\xD0\x9A\xD0\xB0\xD1\x82\xD0\xB0\xD0\xBB\xD0\xBE\xD0\xB3", "{d*200}", "{D*250}"})
        ASSERT_TRUE(fs::create_directory(testfs::openable(work / fs::u8path(expanded(dir)))));
    std::error_code ec;
    cwd = fs::current_path(ec);
    fs::current_path(work, ec);
    ASSERT_FALSE(ec);
    for (const auto& c : csvtest::caseFile("paths.txt")) {
        ASSERT_EQ(c.size(), 3u) << c[0];
        const std::string name = expanded(csvtest::unescape(c[1]));
#ifndef _WIN32
        if (c[0] == "win") continue;
#endif
        const std::string path = c[0] == "rel" ? name : workUtf8 + "/" + name;
        if (c[0] == "fail")
            run(name.substr(0, 24), path, "", static_cast<uint32_t>(std::stoul(c[2])));
        else
            run(name.substr(0, 40), path, "parent/" + expanded(csvtest::unescape(c[2])));
    }
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
            run(std::to_string(total) + (unit == "d" ? " ascii" : " foreign"), path, "");
        }
    }
}

} // namespace
