// The file functions of the platform seam. The PlatformFileApi cases hold for the real system
// (the Windows build, run under Wine) and for the Linux stand-in alike, so the stand-in is
// checked against the behaviour it imitates; PlatformFileStandIn covers what only the stand-in
// has to decide (path syntax on a Linux file system, the ANSI names, the open-file table).
#include "platform/FileApi.h"
#include "platform/Platform.h"
#include "platform/TempDir.h"
#include "text/StringBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace platform;
using testfs::TempDir;
namespace fs = std::filesystem;

namespace {

const uint32_t kRead = GENERIC_READ;
const uint32_t kWrite = GENERIC_WRITE;
const uint32_t kShareRW = FILE_SHARE_READ | FILE_SHARE_WRITE;

std::u16string wide(const fs::path& p) {
    return p.u16string();
}
const uint16_t* units(const std::u16string& s) {
    return reinterpret_cast<const uint16_t*>(s.c_str());
}

FileHandle openA(const fs::path& p, uint32_t access, uint32_t share, uint32_t creation) {
    return createFileA(testfs::utf8(p).c_str(), access, share, creation, FILE_ATTRIBUTE_NORMAL);
}

std::string fullA(const std::string& path) {
    std::vector<char> buffer(4096);
    uint32_t n =
        getFullPathNameA(path.c_str(), static_cast<uint32_t>(buffer.size()), buffer.data());
    return n == 0 ? "<failed " + std::to_string(getLastError()) + ">"
                  : std::string(buffer.data(), n);
}

std::string fullW(const std::string& utf8Path) {
    std::u16string in = wide(fs::u8path(utf8Path));
    std::vector<uint16_t> buffer(4096);
    uint32_t n = getFullPathNameW(units(in), static_cast<uint32_t>(buffer.size()), buffer.data());
    if (n == 0) return "<failed " + std::to_string(getLastError()) + ">";
    return fs::path(std::u16string(buffer.begin(), buffer.begin() + n)).u8string();
}

class PlatformFileApi : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.ok()); }
    TempDir dir;
};

TEST_F(PlatformFileApi, WriteThenReadBackWithSizeAndEnd) {
    const std::string bytes("a\0b\xFF\r\n", 6);
    fs::path p = dir.path("data.bin");

    FileHandle w = openA(p, kWrite, 0, CREATE_ALWAYS);
    ASSERT_NE(w, INVALID_HANDLE_VALUE);
    uint32_t written = 0;
    EXPECT_TRUE(writeFile(w, bytes.data(), static_cast<uint32_t>(bytes.size()), &written));
    EXPECT_EQ(written, bytes.size());
    EXPECT_TRUE(closeHandle(w));
    EXPECT_EQ(testfs::contentsOf(p), bytes);

    FileHandle r = openA(p, kRead, kShareRW, OPEN_EXISTING);
    ASSERT_NE(r, INVALID_HANDLE_VALUE);
    uint32_t high = 99;
    EXPECT_EQ(getFileSize(r, &high), bytes.size());
    EXPECT_EQ(high, 0u);
    char buffer[16] = {};
    uint32_t got = 0;
    EXPECT_TRUE(readFile(r, buffer, sizeof buffer, &got)); // asks for more than there is
    EXPECT_EQ(std::string(buffer, got), bytes);
    EXPECT_TRUE(readFile(r, buffer, sizeof buffer, &got));
    EXPECT_EQ(got, 0u) << "at the end of the file a read succeeds with nothing";
    EXPECT_TRUE(closeHandle(r));
}

TEST_F(PlatformFileApi, CreateAlwaysReplacesAndReportsExistingFile) {
    fs::path p = dir.path("replace.txt");
    ASSERT_TRUE(testfs::writeAll(p, "old and long contents"));
    FileHandle h = openA(p, kWrite, 0, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(getLastError(), 183u) << "an existing file was replaced";
    uint32_t written = 0;
    EXPECT_TRUE(writeFile(h, "new", 3, &written));
    EXPECT_TRUE(closeHandle(h));
    EXPECT_EQ(testfs::contentsOf(p), "new");
}

TEST_F(PlatformFileApi, OpenFailuresGiveWindowsErrorCodes) {
    ASSERT_TRUE(testfs::writeAll(dir.path("exists.txt"), "x"));
    ASSERT_TRUE(testfs::writeAll(dir.path("ro.txt"), "x"));
    ASSERT_TRUE(testfs::setReadOnly(dir.path("ro.txt"), true));
    ASSERT_TRUE(fs::create_directory(dir.path("sub")));

    struct Case {
        const char* name;
        uint32_t access;
        uint32_t creation;
        uint32_t error;
    };
    const Case cases[] = {
        {"missing.txt", kRead, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {"missing.txt", kWrite, TRUNCATE_EXISTING, ERROR_FILE_NOT_FOUND},
        {"nodir/x.txt", kRead, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"nodir/x.txt", kWrite, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {"sub", kRead, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {"sub", kWrite, CREATE_ALWAYS, ERROR_ACCESS_DENIED},
        {"exists.txt", kWrite, CREATE_NEW, 80},
        {"ro.txt", kWrite, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {"ro.txt", kWrite, CREATE_ALWAYS, ERROR_ACCESS_DENIED},
    };
    const bool readOnlyRefused = testfs::readOnlyIsEnforced(dir.root());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (std::string(c.name) == "ro.txt" && !readOnlyRefused) continue;
        setLastError(0);
        FileHandle h = openA(dir.path(c.name), c.access, 0, c.creation);
        EXPECT_EQ(h, INVALID_HANDLE_VALUE);
        EXPECT_EQ(getLastError(), c.error);
        EXPECT_EQ(lastErrorCode(), c.error);
        if (h != INVALID_HANDLE_VALUE) closeHandle(h);
    }
    EXPECT_EQ(testfs::contentsOf(dir.path("ro.txt")), "x") << "a read-only file stays as it was";
    EXPECT_FALSE(testfs::exists(dir.path("missing.txt")));
}

TEST_F(PlatformFileApi, HandleOnlyDoesWhatItWasOpenedFor) {
    fs::path p = dir.path("f.txt");
    ASSERT_TRUE(testfs::writeAll(p, "abc"));
    char buffer[4];
    uint32_t n = 7;

    FileHandle r = openA(p, kRead, kShareRW, OPEN_EXISTING);
    ASSERT_NE(r, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(writeFile(r, "zz", 2, &n));
    EXPECT_EQ(getLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(n, 0u);
    closeHandle(r);

    FileHandle w = openA(p, kWrite, 0, OPEN_EXISTING);
    ASSERT_NE(w, INVALID_HANDLE_VALUE);
    n = 7;
    EXPECT_FALSE(readFile(w, buffer, sizeof buffer, &n));
    EXPECT_EQ(getLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(n, 0u);
    closeHandle(w);
    EXPECT_EQ(testfs::contentsOf(p), "abc");
}

// Whether a second handle can be had while a first one is open, by access and sharing.
TEST_F(PlatformFileApi, SharingModesBetweenHandles) {
    struct Case {
        uint32_t access1, share1, access2, share2;
        bool secondOpens;
    };
    const Case cases[] = {
        {kRead, kShareRW, kRead, kShareRW, true},               // two readers as the loader opens
        {kRead, kShareRW, kWrite, 0, false},                    // the writer shares nothing
        {kWrite, 0, kRead, kShareRW, false},                    // nobody reads while it writes
        {kWrite, 0, kWrite, 0, false},                          //
        {kRead, FILE_SHARE_READ, kRead, FILE_SHARE_READ, true}, //
        {kRead, FILE_SHARE_READ, kWrite, kShareRW, false},      // first does not let others write
        {kWrite, FILE_SHARE_WRITE, kWrite, FILE_SHARE_WRITE, true}, //
        {kWrite, FILE_SHARE_READ, kRead, kShareRW, true},           //
        {kWrite, FILE_SHARE_READ, kRead, FILE_SHARE_READ, false},   // second must share writing
        {kRead, kShareRW, kWrite, FILE_SHARE_READ, true},           //
        {kRead | kWrite, kShareRW, kRead, FILE_SHARE_READ, false},  //
    };
    fs::path p = dir.path("shared.txt");
    ASSERT_TRUE(testfs::writeAll(p, "x"));
    int line = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE("case " + std::to_string(++line));
        FileHandle first = openA(p, c.access1, c.share1, OPEN_EXISTING);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        FileHandle second = openA(p, c.access2, c.share2, OPEN_EXISTING);
        uint32_t error = getLastError();
        EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.secondOpens);
        if (second != INVALID_HANDLE_VALUE) {
            closeHandle(second);
        } else {
            EXPECT_EQ(error, ERROR_SHARING_VIOLATION);
        }
        EXPECT_TRUE(closeHandle(first));
        // Once the first handle is gone the second open always succeeds.
        second = openA(p, c.access2, c.share2, OPEN_EXISTING);
        EXPECT_NE(second, INVALID_HANDLE_VALUE);
        if (second != INVALID_HANDLE_VALUE) closeHandle(second);
    }
}

TEST_F(PlatformFileApi, ReadOnlyAttributeAndDirectories) {
    fs::path f = dir.path("f.txt");
    ASSERT_TRUE(testfs::writeAll(f, "x"));
    const std::string fa = testfs::utf8(f);
    const std::u16string fw = wide(f);

    uint32_t a = getFileAttributesA(fa.c_str());
    ASSERT_NE(a, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(a & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY), 0u);

    EXPECT_TRUE(setFileAttributesA(fa.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_NE(getFileAttributesW(units(fw)) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(fs::status(f).permissions() & fs::perms::owner_write, fs::perms::none);
    if (testfs::readOnlyIsEnforced(dir.root())) {
        EXPECT_EQ(openA(f, kWrite, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
        EXPECT_EQ(getLastError(), ERROR_ACCESS_DENIED);
    }

    EXPECT_TRUE(setFileAttributesW(units(fw), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(getFileAttributesA(fa.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_NE(fs::status(f).permissions() & fs::perms::owner_write, fs::perms::none);

    EXPECT_NE(getFileAttributesA(testfs::utf8(dir.root()).c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);

    struct Missing {
        const char* name;
        uint32_t error;
    };
    for (const Missing& m :
         {Missing{"none.txt", ERROR_FILE_NOT_FOUND}, Missing{"none/x.txt", ERROR_PATH_NOT_FOUND}}) {
        SCOPED_TRACE(m.name);
        EXPECT_EQ(getFileAttributesA(dir.utf8Path(m.name).c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(getLastError(), m.error);
        EXPECT_FALSE(setFileAttributesA(dir.utf8Path(m.name).c_str(), FILE_ATTRIBUTE_NORMAL));
        EXPECT_EQ(getLastError(), m.error);
    }
}

TEST_F(PlatformFileApi, WideNamesReachTheFileSystemUnchanged) {
    const char* names[] = {
        "plain.csv",
        "caf\xC3\xA9.csv",                          // Latin-1 range
        "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.csv", // CJK
        "\xCE\xB1\xCE\xB2 \xD0\xB4.csv",            // Greek, Cyrillic, a space
        "smile \xF0\x9F\x98\x80.csv",               // outside the BMP: a surrogate pair
    };
    for (const char* name : names) {
        SCOPED_TRACE(name);
        fs::path p = dir.path(name);
        std::u16string w = wide(p);
        FileHandle h = createFileW(units(w), kWrite, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << getLastError();
        uint32_t n = 0;
        EXPECT_TRUE(writeFile(h, name, 5, &n));
        closeHandle(h);
        EXPECT_EQ(testfs::contentsOf(p), std::string(name, 5));
        EXPECT_NE(getFileAttributesW(units(w)), INVALID_FILE_ATTRIBUTES);
    }
}

TEST_F(PlatformFileApi, FullPathNameResolvesDotsAndSeparators) {
    const std::string root = testfs::withBackslashes(testfs::utf8(dir.root()));
    const std::string cwd = testfs::withBackslashes(testfs::utf8(fs::current_path()));
    const std::string slashed = testfs::withSlashes(root);
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {root + "\\b.txt", root + "\\b.txt"},
        {slashed + "/b.txt", root + "\\b.txt"},
        {root + "\\a\\..\\b.txt", root + "\\b.txt"},
        {slashed + "/./a/./../b.txt", root + "\\b.txt"},
        {root + "\\a\\b\\..\\..\\c\\d.txt", root + "\\c\\d.txt"},
        {"rel.txt", cwd + "\\rel.txt"},
        {"sub/./rel.txt", cwd + "\\sub\\rel.txt"},
        {"\\\\host\\share\\a\\..\\f.csv", "\\\\host\\share\\f.csv"},
        {"Z:\\x\\y\\..\\f.csv", "Z:\\x\\f.csv"},
        {"\\\\?\\Z:\\x\\f.csv", "\\\\?\\Z:\\x\\f.csv"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(fullA(c.in), c.out);
        EXPECT_EQ(fullW(c.in), c.out);
    }
}

TEST_F(PlatformFileApi, FullPathNameReportsTheSizeItNeeds) {
    const std::string in = testfs::utf8(dir.path("name.txt"));
    const std::string full = fullA(in);
    const uint32_t len = static_cast<uint32_t>(full.size());
    std::vector<char> narrow(len + 8, '#');
    std::u16string win = wide(fs::u8path(in));
    std::vector<uint16_t> wideBuf(len + 8, u'#');

    for (uint32_t size : {0u, 1u, len - 1, len}) {
        SCOPED_TRACE(size);
        EXPECT_EQ(getFullPathNameA(in.c_str(), size, narrow.data()), len + 1);
        EXPECT_EQ(narrow[0], '#') << "a buffer that is too small is left alone";
        EXPECT_EQ(getFullPathNameW(units(win), size, wideBuf.data()), len + 1);
        EXPECT_EQ(wideBuf[0], u'#');
    }
    EXPECT_EQ(getFullPathNameA(in.c_str(), len + 1, narrow.data()), len);
    EXPECT_EQ(std::string(narrow.data()), full);
    EXPECT_EQ(getFullPathNameW(units(win), len + 1, wideBuf.data()), len);
    EXPECT_EQ(wideBuf[len], 0);
}

TEST_F(PlatformFileApi, LastErrorBelongsToTheThreadAndFeedsErrorTexts) {
    setLastError(1234);
    EXPECT_EQ(getLastError(), 1234u);
    EXPECT_EQ(lastErrorCode(), 1234u);

    EXPECT_EQ(openA(dir.path("none.txt"), kRead, kShareRW, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    StringBuffer missingFile;
    missingFile.append("pre ");
    missingFile.appendLastWindowsError();
    StringBuffer expected;
    expected.append("pre ");
    expected.append(errorMessageText(ERROR_FILE_NOT_FOUND).c_str());
    expected.trim();
    EXPECT_STREQ(missingFile.getString(), expected.getString());
    EXPECT_GT(missingFile.getSize(), 4);

    setLastError(ERROR_ACCESS_DENIED);
    StringBuffer denied;
    denied.appendLastWindowsError();
    EXPECT_STRNE(denied.getString(), missingFile.getString() + 4);
}

#ifndef _WIN32

// ---- the Linux stand-in's own decisions -------------------------------------------------------

class PlatformFileStandIn : public PlatformFileApi {
protected:
    void TearDown() override { setAnsiCodePageOverride(0); }
};

TEST_F(PlatformFileStandIn, WindowsPathSyntaxOnTheLinuxFileSystem) {
    ASSERT_TRUE(testfs::writeAll(dir.path("f.txt"), "hello"));
    const std::string native = dir.utf8Path("f.txt"); // "/tmp/.../f.txt"
    const std::string back = testfs::withBackslashes(native);
    struct Case {
        std::string path;
        uint32_t error; // 0: opens the file
    };
    const Case cases[] = {
        {native, 0},
        {back, 0},
        {"Z:" + back, 0},
        {"z:" + native, 0},
        {"\\\\?\\" + back, 0}, // "\\?\\tmp\...": rooted after the prefix
        {"\\\\?\\Z:" + back, 0},
        {"C:" + back, ERROR_PATH_NOT_FOUND},
        {"\\\\?\\UNC\\host\\share\\f.txt", 53},
        {"\\\\host\\share\\f.txt", 53},
        {"", ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        FileHandle h = createFileA(c.path.c_str(), kRead, kShareRW, OPEN_EXISTING, 0);
        if (c.error == 0) {
            ASSERT_NE(h, INVALID_HANDLE_VALUE) << getLastError();
            char buffer[8];
            uint32_t n = 0;
            EXPECT_TRUE(readFile(h, buffer, sizeof buffer, &n));
            EXPECT_EQ(std::string(buffer, n), "hello");
            EXPECT_TRUE(closeHandle(h));
        } else {
            EXPECT_EQ(h, INVALID_HANDLE_VALUE);
            EXPECT_EQ(getLastError(), c.error);
        }
    }
}

TEST_F(PlatformFileStandIn, FullPathKeepsTheStyleItWasGiven) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"/a/b/../c", "\\a\\c"},
        {"\\a\\.\\b", "\\a\\b"},
        {"z:/a//b", "Z:\\a\\b"},
        {"Z:\\", "Z:\\"},
        {"\\..\\..\\a", "\\a"},
        {"C:\\x\\..\\y", "C:\\y"}, // no such drive, but the name is still well formed
        {"\\\\?\\Z:\\a\\..\\b", "\\\\?\\Z:\\a\\..\\b"},
        {"\\\\?\\UNC\\h\\s\\f", "\\\\?\\UNC\\h\\s\\f"},
        {"\\\\h\\s\\..\\..\\f", "\\\\h\\s\\f"}, // ".." stops at the share
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(fullA(c.in), c.out);
        EXPECT_EQ(fullW(c.in), c.out);
    }
    EXPECT_EQ(fullA(""), "<failed 123>");
}

TEST_F(PlatformFileStandIn, LongPathsNeedThePrefix) {
    // Each name stays below the file system's 255-byte limit; together they pass 260.
    fs::path sub = dir.path(std::string(200, 'd'));
    ASSERT_TRUE(fs::create_directory(sub));
    fs::path file = sub / (std::string(80, 'f') + ".csv");
    ASSERT_TRUE(testfs::writeAll(file, "long"));
    const std::string back = testfs::withBackslashes(testfs::utf8(file));
    ASSERT_GE(back.size(), 260u);

    EXPECT_EQ(createFileA(back.c_str(), kRead, kShareRW, OPEN_EXISTING, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(getLastError(), 206u);
    EXPECT_EQ(getFileAttributesA(back.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(getLastError(), 206u);

    std::u16string prefixed = wide(fs::u8path("\\\\?\\" + back));
    FileHandle h = createFileW(units(prefixed), kRead, kShareRW, OPEN_EXISTING, 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << getLastError();
    EXPECT_EQ(getFileSize(h, nullptr), 4u);
    closeHandle(h);
    EXPECT_NE(getFileAttributesW(units(prefixed)), INVALID_FILE_ATTRIBUTES);
}

TEST_F(PlatformFileStandIn, NarrowNamesAreInTheAnsiCodePage) {
    struct Case {
        int codePage;
        const char* narrow;
        const char* utf8; // null: the name cannot be used
    };
    const Case cases[] = {
        {1252, "caf\xE9.txt", "caf\xC3\xA9.txt"},
        {1252, "\x80uro \x9F.txt", "\xE2\x82\xACuro \xC5\xB8.txt"},
        {28591, "caf\xE9.txt", "caf\xC3\xA9.txt"},
        {28591, "\x80.txt", "\xC2\x80.txt"},
        {65001, "caf\xC3\xA9.txt", "caf\xC3\xA9.txt"},
        {932, "plain.txt", "plain.txt"},
        {932, "caf\xE9.txt", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.codePage) + " " + c.narrow);
        setAnsiCodePageOverride(c.codePage);
        std::string path = testfs::utf8(dir.root()) + "/" + c.narrow;
        FileHandle h = createFileA(path.c_str(), kWrite, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
        if (!c.utf8) {
            EXPECT_EQ(h, INVALID_HANDLE_VALUE);
            EXPECT_EQ(getLastError(), 123u);
            continue;
        }
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << getLastError();
        closeHandle(h);
        EXPECT_TRUE(testfs::exists(dir.path(c.utf8)));
        // The absolute name comes back in the same code page.
        EXPECT_EQ(fullA(path), testfs::withBackslashes(path));
        fs::remove(dir.path(c.utf8));
    }
}

TEST_F(PlatformFileStandIn, HandlesOutsideTheTableAreRefused) {
    ASSERT_TRUE(testfs::writeAll(dir.path("f.txt"), "x"));
    FileHandle h = openA(dir.path("f.txt"), kRead, kShareRW, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(closeHandle(h));
    char c;
    uint32_t n = 0;
    EXPECT_FALSE(closeHandle(h));
    EXPECT_EQ(getLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(readFile(h, &c, 1, &n));
    EXPECT_EQ(getLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(getFileSize(INVALID_HANDLE_VALUE, nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(getLastError(), ERROR_INVALID_HANDLE);
}

#endif // !_WIN32

} // namespace
