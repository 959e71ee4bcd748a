// The file functions of the platform seam. The cases (platform/data/file-api.txt) hold for the
// real system (the Windows build, run under Wine) and for the Linux stand-in alike, so the
// stand-in is checked against the behaviour it imitates; the "-posix" tables cover what only the
// stand-in decides.
#include "platform/FileApi.h"
#include "platform/Platform.h"
#include "platform/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace platform;
namespace fs = std::filesystem;

namespace {

using Rows = std::vector<std::vector<std::string>>;
const uint32_t kRead = GENERIC_READ, kWrite = GENERIC_WRITE;
const uint32_t kShareRW = FILE_SHARE_READ | FILE_SHARE_WRITE;
const std::string kLong = std::string(200, 'd') + "\\" + std::string(80, 'f');

const uint16_t* units(const std::u16string& s) {
    return reinterpret_cast<const uint16_t*>(s.c_str());
}

// "r", "w", "rw" or "-" as access or sharing flags.
uint32_t flags(const std::string& s, uint32_t r, uint32_t w) {
    return (s.find('r') != s.npos ? r : 0) | (s.find('w') != s.npos ? w : 0);
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

    // One table of the case file, its fields unescaped and the placeholders filled in.
    Rows table(const std::string& name) const {
        const std::string b = testfs::withBackslashes(testfs::utf8(dir.root()));
        const std::pair<std::string, std::string> names[] = {
            {"{b}", b},
            {"{s}", testfs::withSlashes(b)},
            {"{cwd}", testfs::withBackslashes(testfs::utf8(fs::current_path()))},
            {"{long}", kLong}};
        Rows rows;
        for (const auto& row : testfs::caseRows("platform/data/file-api.txt")) {
            bool wanted = row[0] == name;
#ifndef _WIN32
            wanted = wanted || row[0] == name + "-posix";
#endif
            if (!wanted) continue;
            rows.emplace_back();
            for (size_t i = 1; i < row.size(); ++i) {
                std::string f = testfs::unescape(row[i]);
                for (const auto& [key, value] : names)
                    for (size_t at; (at = f.find(key)) != f.npos;)
                        f.replace(at, key.size(), value);
                rows.back().push_back(f);
            }
        }
        EXPECT_FALSE(rows.empty()) << name;
        return rows;
    }
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
}

// Opens by name: the error codes, and the path syntax the stand-in accepts on a Linux file system.
TEST_F(PlatformFileApi, OpenByNameGivesWindowsErrorCodes) {
    ASSERT_TRUE(testfs::writeAll(dir.path("f.txt"), "x") &&
                testfs::writeAll(dir.path("ro.txt"), "x"));
    ASSERT_TRUE(testfs::setReadOnly(dir.path("ro.txt"), true));
    ASSERT_TRUE(fs::create_directory(dir.path("sub")));
    ASSERT_TRUE(fs::create_directory(testfs::openable(dir.path(std::string(200, 'd')))));
    ASSERT_TRUE(testfs::writeAll(dir.path(testfs::withSlashes(kLong)), ""));
    const bool readOnlyRefused = testfs::readOnlyIsEnforced(dir.root());
    for (const auto& c : table("open")) {
        ASSERT_EQ(c.size(), 4u);
        SCOPED_TRACE(c[0]);
        if (c[0].find("ro.txt") != c[0].npos && !readOnlyRefused) continue;
        const uint32_t creation = std::stoul(c[2]);
        const uint32_t access = flags(c[1], kRead, kWrite);
        setLastError(99);
        FileHandle h = c[0].size() < 260 ? createFileA(c[0].c_str(), access, kShareRW, creation, 0)
                                         : createFileW(units(fs::u8path(c[0]).u16string()), access,
                                                       kShareRW, creation, 0);
        EXPECT_EQ(h == INVALID_HANDLE_VALUE ? getLastError() : 0u, std::stoul(c[3]));
        EXPECT_EQ(lastErrorCode(), getLastError());
        if (h != INVALID_HANDLE_VALUE) closeHandle(h);
    }
    EXPECT_EQ(testfs::contentsOf(dir.path("ro.txt")), "x") << "a read-only file stays as it was";
    EXPECT_EQ(testfs::contentsOf(dir.path("missing.txt")), "<cannot read>");
}

// Whether a second handle can be had while a first one is open, by access and sharing.
TEST_F(PlatformFileApi, SharingModesBetweenHandles) {
    const fs::path p = dir.path("shared.txt");
    ASSERT_TRUE(testfs::writeAll(p, "x"));
    for (const auto& c : table("share")) {
        ASSERT_EQ(c.size(), 5u);
        SCOPED_TRACE(c[0] + " " + c[1] + ", then " + c[2] + " " + c[3]);
        const uint32_t access2 = flags(c[2], kRead, kWrite);
        const uint32_t share2 = flags(c[3], FILE_SHARE_READ, FILE_SHARE_WRITE);
        FileHandle first = openA(p, flags(c[0], kRead, kWrite),
                                 flags(c[1], FILE_SHARE_READ, FILE_SHARE_WRITE), OPEN_EXISTING);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        FileHandle second = openA(p, access2, share2, OPEN_EXISTING);
        const uint32_t error = second == INVALID_HANDLE_VALUE ? getLastError() : 0;
        EXPECT_EQ(error, c[4] == "1" ? 0u : ERROR_SHARING_VIOLATION);
        if (second != INVALID_HANDLE_VALUE) closeHandle(second);
        EXPECT_TRUE(closeHandle(first));
        second = openA(p, access2, share2, OPEN_EXISTING);
        EXPECT_NE(second, INVALID_HANDLE_VALUE) << "once the first handle is gone";
        if (second != INVALID_HANDLE_VALUE) closeHandle(second);
    }
}

// Names reach the file system unchanged: wide ones as UTF-16, narrow ones in the ANSI code page.
TEST_F(PlatformFileApi, NamesReachTheFileSystemUnchanged) {
    for (const auto& c : table("name")) {
        ASSERT_EQ(c.size(), 3u);
        SCOPED_TRACE(c[0] + " " + c[1]);
        const int codePage = std::stoi(c[0]);
        const std::string &name = c[1], &utf8 = c[2];
        setAnsiCodePageOverride(codePage);
        const std::string narrow = testfs::utf8(dir.root()) + "/" + name;
        const std::u16string wide = codePage ? u"" : dir.path(name).u16string();
        FileHandle h = codePage ? createFileA(narrow.c_str(), kWrite, 0, CREATE_ALWAYS, 0)
                                : createFileW(units(wide), kWrite, 0, CREATE_ALWAYS, 0);
        EXPECT_EQ(h == INVALID_HANDLE_VALUE ? getLastError() : 0u, utf8 == "-" ? 123u : 0u);
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
    for (const auto& c : table("full")) {
        ASSERT_EQ(c.size(), 2u);
        EXPECT_EQ(fullA(c[0]), c[1]) << c[0];
        EXPECT_EQ(fullW(c[0]), c[1]) << c[0];
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
    for (const std::string& login : {saved, std::string(euid == "0" ? "65534" : "0"), saved}) {
        std::ofstream(kLoginUid) << login << std::flush;
        std::string now;
        if (std::getline(std::ifstream(kLoginUid), now) && now == login)
            EXPECT_EQ(userName(), name) << "login uid " << login;
    }
}
#endif

} // namespace
