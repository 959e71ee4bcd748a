// The file functions of the platform seam. The cases hold for the real system (the Windows build,
// run under Wine) and for the Linux stand-in alike, so the stand-in is checked against the
// behaviour it imitates; rows and tests under "#ifndef _WIN32" cover what only the stand-in
// decides (path syntax on a Linux file system, the ANSI names).
#include "platform/FileApi.h"
#include "platform/Platform.h"
#include "platform/TempDir.h"
#include "text/StringBuffer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

using namespace platform;
namespace fs = std::filesystem;

namespace {

const uint32_t kRead = GENERIC_READ, kWrite = GENERIC_WRITE;
const uint32_t kShareRW = FILE_SHARE_READ | FILE_SHARE_WRITE;

const uint16_t* units(const std::u16string& s) {
    return reinterpret_cast<const uint16_t*>(s.c_str());
}

FileHandle openA(const fs::path& p, uint32_t access, uint32_t share, uint32_t creation) {
    return createFileA(testfs::utf8(p).c_str(), access, share, creation, FILE_ATTRIBUTE_NORMAL);
}

// The absolute path through the narrow and the wide function, as UTF-8 (the narrow one as given).
std::string fullA(const std::string& path) {
    std::vector<char> buffer(4096);
    uint32_t n = getFullPathNameA(path.c_str(), 4096, buffer.data());
    return n ? std::string(buffer.data(), n) : "<failed " + std::to_string(getLastError()) + ">";
}
std::string fullW(const std::string& utf8Path) {
    std::vector<uint16_t> buffer(4096);
    uint32_t n = getFullPathNameW(units(fs::u8path(utf8Path).u16string()), 4096, buffer.data());
    if (n == 0) return "<failed " + std::to_string(getLastError()) + ">";
    return fs::path(std::u16string(buffer.begin(), buffer.begin() + n)).u8string();
}

class PlatformFileApi : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.ok()); }
    void TearDown() override { setAnsiCodePageOverride(0); }
    testfs::TempDir dir;
};

TEST_F(PlatformFileApi, WriteReplaceAndReadBack) {
    const std::string bytes("a\0b\xFF\r\n", 6);
    const fs::path p = dir.path("data.bin");
    ASSERT_TRUE(testfs::writeAll(p, "old and longer contents"));
    FileHandle w = openA(p, kWrite, 0, CREATE_ALWAYS);
    EXPECT_EQ(getLastError(), 183u) << "an existing file was replaced";
    uint32_t n = 0, high = 99;
    EXPECT_TRUE(writeFile(w, bytes.data(), 6, &n) && n == 6 && closeHandle(w));
    FileHandle r = openA(p, kRead, kShareRW, OPEN_EXISTING);
    EXPECT_EQ(getFileSize(r, &high), 6u);
    EXPECT_EQ(high, 0u);
    char buffer[16] = {};
    EXPECT_TRUE(readFile(r, buffer, sizeof buffer, &n)); // asks for more than there is
    EXPECT_EQ(std::string(buffer, n), bytes);
    EXPECT_TRUE(readFile(r, buffer, sizeof buffer, &n) && n == 0) << "at the end: nothing";
    EXPECT_FALSE(writeFile(r, "zz", 2, &n)) << "a reading handle does not write";
    EXPECT_EQ(getLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(closeHandle(r));
    EXPECT_EQ(testfs::contentsOf(p), bytes);
    const std::string narrow = testfs::utf8(p);
    EXPECT_TRUE(setFileAttributesA(narrow.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_NE(getFileAttributesA(narrow.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(fs::status(p).permissions() & fs::perms::owner_write, fs::perms::none);
    EXPECT_TRUE(setFileAttributesA(narrow.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_NE(fs::status(p).permissions() & fs::perms::owner_write, fs::perms::none);
    // The last error feeds the error texts.
    StringBuffer missing("pre "), expected("pre ");
    setLastError(ERROR_FILE_NOT_FOUND);
    missing.appendLastWindowsError();
    expected.append(errorMessageText(ERROR_FILE_NOT_FOUND).c_str());
    expected.trim();
    EXPECT_STREQ(missing.getString(), expected.getString());
}

// Opens by name: the error codes, and the path syntax the stand-in accepts on a Linux file system.
TEST_F(PlatformFileApi, OpenByNameGivesWindowsErrorCodes) {
    ASSERT_TRUE(testfs::writeAll(dir.path("f.txt"), "x") &&
                testfs::writeAll(dir.path("ro.txt"), "x"));
    ASSERT_TRUE(testfs::setReadOnly(dir.path("ro.txt"), true));
    ASSERT_TRUE(fs::create_directory(dir.path("sub")));
    // Each name stays below the file system's 255-byte limit; together they pass 260.
    ASSERT_TRUE(fs::create_directory(testfs::openable(dir.path(std::string(200, 'd')))));
    ASSERT_TRUE(testfs::writeAll(dir.path(std::string(200, 'd') + "/" + std::string(80, 'f')), ""));
    auto at = [&](const char* name) { return testfs::withBackslashes(dir.utf8Path(name)); };
    const std::string native = dir.utf8Path("f.txt"), back = at("f.txt");
    const std::string longName = at((std::string(200, 'd') + "/" + std::string(80, 'f')).c_str());
    const std::tuple<std::string, uint32_t, uint32_t, uint32_t> cases[] = {
        // path, access, creation, error (0: opens)
        {at("missing.txt"), kRead, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {at("missing.txt"), kWrite, TRUNCATE_EXISTING, ERROR_FILE_NOT_FOUND},
        {at("nodir/x.txt"), kRead, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {at("nodir/x.txt"), kWrite, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {at("sub"), kRead, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {at("sub"), kWrite, CREATE_ALWAYS, ERROR_ACCESS_DENIED},
        {back, kWrite, CREATE_NEW, 80},
        {at("ro.txt"), kWrite, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {at("ro.txt"), kWrite, CREATE_ALWAYS, ERROR_ACCESS_DENIED},
        {testfs::withSlashes(back), kRead, OPEN_EXISTING, 0},
        {"\\\\?\\" + back, kRead, OPEN_EXISTING, 0},
        {"\\\\?\\" + longName, kRead, OPEN_EXISTING, 0},
#ifndef _WIN32
        {"Z:" + back, kRead, OPEN_EXISTING, 0},
        {"z:" + native, kRead, OPEN_EXISTING, 0},
        {"\\\\?\\Z:" + back, kRead, OPEN_EXISTING, 0},
        {"C:" + back, kRead, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"\\\\?\\UNC\\host\\share\\f.txt", kRead, OPEN_EXISTING, 53},
        {"\\\\host\\share\\f.txt", kRead, OPEN_EXISTING, 53},
        {"", kRead, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {longName, kRead, OPEN_EXISTING, 206}, // 260 characters or more need the prefix
#endif
    };
    const bool readOnlyRefused = testfs::readOnlyIsEnforced(dir.root());
    for (const auto& [path, access, creation, error] : cases) {
        SCOPED_TRACE(path);
        if (path == at("ro.txt") && !readOnlyRefused) continue;
        setLastError(99);
        FileHandle h = path.size() < 260 ? createFileA(path.c_str(), access, kShareRW, creation, 0)
                                         : createFileW(units(fs::u8path(path).u16string()), access,
                                                       kShareRW, creation, 0);
        EXPECT_EQ(h == INVALID_HANDLE_VALUE ? getLastError() : 0u, error);
        EXPECT_EQ(lastErrorCode(), getLastError());
        if (h != INVALID_HANDLE_VALUE) closeHandle(h);
    }
    EXPECT_EQ(testfs::contentsOf(dir.path("ro.txt")), "x") << "a read-only file stays as it was";
    EXPECT_EQ(testfs::contentsOf(dir.path("missing.txt")), "<cannot read>");
}

// Whether a second handle can be had while a first one is open, by access and sharing.
TEST_F(PlatformFileApi, SharingModesBetweenHandles) {
    const std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, bool> cases[] = {
        {kRead, kShareRW, kRead, kShareRW, true}, // two readers as the loader opens
        {kRead, kShareRW, kWrite, 0, false},      // the writer shares nothing
        {kWrite, 0, kRead, kShareRW, false},
        {kRead, FILE_SHARE_READ, kWrite, kShareRW, false},
        {kWrite, FILE_SHARE_WRITE, kWrite, FILE_SHARE_WRITE, true},
        {kWrite, FILE_SHARE_READ, kRead, kShareRW, true},
        {kWrite, FILE_SHARE_READ, kRead, FILE_SHARE_READ, false}, // second must share writing
        {kRead, kShareRW, kWrite, FILE_SHARE_READ, true},
        {kRead | kWrite, kShareRW, kRead, FILE_SHARE_READ, false},
    };
    const fs::path p = dir.path("shared.txt");
    ASSERT_TRUE(testfs::writeAll(p, "x"));
    int line = 0;
    for (const auto& [access1, share1, access2, share2, secondOpens] : cases) {
        SCOPED_TRACE("case " + std::to_string(++line));
        FileHandle first = openA(p, access1, share1, OPEN_EXISTING);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        FileHandle second = openA(p, access2, share2, OPEN_EXISTING);
        const uint32_t error = second == INVALID_HANDLE_VALUE ? getLastError() : 0;
        EXPECT_EQ(error, secondOpens ? 0u : ERROR_SHARING_VIOLATION);
        if (second != INVALID_HANDLE_VALUE) closeHandle(second);
        EXPECT_TRUE(closeHandle(first));
        second = openA(p, access2, share2, OPEN_EXISTING);
        EXPECT_NE(second, INVALID_HANDLE_VALUE) << "once the first handle is gone";
        if (second != INVALID_HANDLE_VALUE) closeHandle(second);
    }
}

// Names reach the file system unchanged: wide ones as UTF-16, narrow ones in the ANSI code page
// (0 for a wide name; a null UTF-8 form for a name that the code page cannot carry).
TEST_F(PlatformFileApi, NamesReachTheFileSystemUnchanged) {
    const std::tuple<int, const char*, const char*> cases[] = {
        {0, "caf\xC3\xA9", "caf\xC3\xA9"},
        {0, "\xE6\x97\xA5\xE6\x9C\xAC", "\xE6\x97\xA5\xE6\x9C\xAC"},
        {0, "\xCE\xB1\xCE\xB2 \xD0\xB4", "\xCE\xB1\xCE\xB2 \xD0\xB4"},
        {0, "smile \xF0\x9F\x98\x80", "smile \xF0\x9F\x98\x80"}, // a surrogate pair
#ifndef _WIN32
        {1252, "caf\xE9", "caf\xC3\xA9"},
        {1252, "\x80uro \x9F", "\xE2\x82\xACuro \xC5\xB8"},
        {28591, "\x80", "\xC2\x80"},
        {65001, "caf\xC3\xA9", "caf\xC3\xA9"},
        {932, "caf\xE9", nullptr},
#endif
    };
    for (const auto& [codePage, name, utf8] : cases) {
        SCOPED_TRACE(std::to_string(codePage) + " " + name);
        setAnsiCodePageOverride(codePage);
        const std::string narrow = testfs::utf8(dir.root()) + "/" + name;
        const std::u16string wide = codePage ? u"" : dir.path(name).u16string();
        FileHandle h = codePage ? createFileA(narrow.c_str(), kWrite, 0, CREATE_ALWAYS, 0)
                                : createFileW(units(wide), kWrite, 0, CREATE_ALWAYS, 0);
        EXPECT_EQ(h == INVALID_HANDLE_VALUE ? getLastError() : 0u, utf8 ? 0u : 123u);
        if (h == INVALID_HANDLE_VALUE) continue;
        uint32_t n = 0;
        EXPECT_TRUE(writeFile(h, "abc", 3, &n) && closeHandle(h));
        EXPECT_EQ(testfs::contentsOf(dir.path(utf8)), "abc");
        EXPECT_NE(codePage ? getFileAttributesA(narrow.c_str()) : getFileAttributesW(units(wide)),
                  INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(!codePage || fullA(narrow) == testfs::withBackslashes(narrow));
        fs::remove(dir.path(utf8));
    }
}

TEST_F(PlatformFileApi, FullPathNameResolvesDotsAndSeparators) {
    const std::string root = testfs::withBackslashes(testfs::utf8(dir.root()));
    const std::string cwd = testfs::withBackslashes(testfs::utf8(fs::current_path()));
    const std::string slashed = testfs::withSlashes(root);
    const std::pair<std::string, std::string> cases[] = {
        {slashed + "/b.txt", root + "\\b.txt"},
        {slashed + "/./a/./../b.txt", root + "\\b.txt"},
        {root + "\\a\\b\\..\\..\\c\\d.txt", root + "\\c\\d.txt"},
        {"sub/./rel.txt", cwd + "\\sub\\rel.txt"},
        {"\\\\host\\share\\a\\..\\f.csv", "\\\\host\\share\\f.csv"},
        {"Z:\\x\\y\\..\\f.csv", "Z:\\x\\f.csv"},
        {"\\\\?\\Z:\\x\\f.csv", "\\\\?\\Z:\\x\\f.csv"},
#ifndef _WIN32 // the stand-in keeps the style it was given
        {"/a/b/../c", "\\a\\c"},
        {"z:/a//b", "Z:\\a\\b"},
        {"C:\\x\\..\\y", "C:\\y"},              // no such drive, but the name is still well formed
        {"\\\\h\\s\\..\\..\\f", "\\\\h\\s\\f"}, // ".." stops at the share
        {"", "<failed 123>"},
#endif
    };
    for (const auto& [in, out] : cases) {
        SCOPED_TRACE(in);
        EXPECT_EQ(fullA(in), out);
        EXPECT_EQ(fullW(in), out);
    }
}

#ifdef __linux__
// The user name is the effective user's, also when the session was opened by another user (the
// login uid, which getlogin reports, as after su or sudo). The expected name comes from /proc and
// /etc/passwd; changing the login uid needs root and is skipped where it is refused.
TEST(PlatformUser, NameOfTheEffectiveUser) {
    std::ifstream status("/proc/self/status"), passwd("/etc/passwd");
    std::string line, euid, name, saved;
    while (std::getline(status, line))
        if (line.rfind("Uid:", 0) == 0) std::istringstream(line.substr(4)) >> euid >> euid;
    while (name.empty() && std::getline(passwd, line)) {
        const size_t a = line.find(':'), b = line.find(':', a + 1), c = line.find(':', b + 1);
        if (c != std::string::npos && line.substr(b + 1, c - b - 1) == euid)
            name = line.substr(0, a);
    }
    ASSERT_FALSE(name.empty()) << "uid " << euid;
    const char* kLoginUid = "/proc/self/loginuid";
    std::getline(std::ifstream(kLoginUid), saved);
    auto setLoginUid = [&](const std::string& uid) {
        std::ofstream(kLoginUid) << uid << std::flush;
        std::string now;
        return std::getline(std::ifstream(kLoginUid), now) && now == uid;
    };
    for (const std::string& login : {saved, std::string(euid == "0" ? "65534" : "0"), saved}) {
        if (!setLoginUid(login)) continue;
        EXPECT_EQ(userName(), name) << "login uid " << login;
    }
}
#endif

} // namespace
