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
const uint32_t kShareR = FILE_SHARE_READ, kShareW = FILE_SHARE_WRITE, kShareRW = kShareR | kShareW;
const std::string kLong = std::string(200, 'd') + "\\" + std::string(80, 'f');

const uint16_t* units(const std::u16string& s) {
    return reinterpret_cast<const uint16_t*>(s.c_str());
}

// "r", "w", "rw" or "-" as access or sharing flags.
uint32_t flags(const std::string& s, uint32_t r, uint32_t w) {
    return (s.find('r') != s.npos ? r : 0) | (s.find('w') != s.npos ? w : 0);
}

FileHandle openA(const fs::path& p, uint32_t access, uint32_t share) {
    return createFileA(testfs::utf8(p).c_str(), access, share, OPEN_EXISTING, 0);
}

// The absolute path through the narrow and the wide function, as UTF-8 (the narrow one as given).
std::string fullA(const std::string& path) {
    std::vector<char> buffer(4096);
    uint32_t n = getFullPathNameA(path.c_str(), 4096, buffer.data());
    return n ? std::string(buffer.data(), n) : "<failed " + std::to_string(getLastError()) + ">";
}
std::string fullW(const std::string& utf8Path) {
    std::vector<uint16_t> b(4096);
    uint32_t n = getFullPathNameW(units(fs::u8path(utf8Path).u16string()), 4096, b.data());
    return n ? fs::path(std::u16string(b.begin(), b.begin() + n)).u8string()
             : "<failed " + std::to_string(getLastError()) + ">";
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
        for (auto row : testfs::caseRows("platform/data/file-api.txt")) {
#ifndef _WIN32
            if (row[0] == name + "-posix") row[0] = name;
#endif
            if (row[0] != name) continue;
            row.erase(row.begin());
            for (std::string& f : row) {
                f = testfs::unescape(f);
                for (const auto& [key, value] : names)
                    for (size_t at; (at = f.find(key)) != f.npos;)
                        f.replace(at, key.size(), value);
            }
            rows.push_back(row);
        }
        EXPECT_FALSE(rows.empty()) << name;
        return rows;
    }
    testfs::TempDir dir;
};

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

// Whether a second handle can be had while a first one is open, by access and sharing; and once
// the first is closed.
TEST_F(PlatformFileApi, SharingModesBetweenHandles) {
    const fs::path p = dir.path("shared.txt");
    ASSERT_TRUE(testfs::writeAll(p, "x"));
    for (const auto& c : table("share")) {
        ASSERT_EQ(c.size(), 5u);
        SCOPED_TRACE(c[0] + " " + c[1] + ", then " + c[2] + " " + c[3]);
        FileHandle first = openA(p, flags(c[0], kRead, kWrite), flags(c[1], kShareR, kShareW));
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        for (bool firstOpen : {true, false}) {
            FileHandle second = openA(p, flags(c[2], kRead, kWrite), flags(c[3], kShareR, kShareW));
            EXPECT_EQ(second == INVALID_HANDLE_VALUE ? getLastError() : 0u,
                      firstOpen && c[4] == "0" ? ERROR_SHARING_VIOLATION : 0u);
            if (second != INVALID_HANDLE_VALUE) closeHandle(second);
            EXPECT_TRUE(!firstOpen || closeHandle(first));
        }
    }
}

#ifndef _WIN32
// Narrow names are text in the ANSI code page and reach the file system as UTF-8 (wide names of
// every script go through the file layer in tests/csv/ClsCsvPathTest).
TEST_F(PlatformFileApi, NarrowNamesInTheAnsiCodePage) {
    for (const auto& c : table("name")) {
        ASSERT_EQ(c.size(), 3u);
        SCOPED_TRACE(c[0] + " " + c[1]);
        setAnsiCodePageOverride(std::stoi(c[0]));
        const std::string narrow = testfs::utf8(dir.root()) + "/" + c[1];
        FileHandle h = createFileA(narrow.c_str(), kWrite, 0, CREATE_ALWAYS, 0);
        EXPECT_EQ(h == INVALID_HANDLE_VALUE ? getLastError() : 0u, c[2] == "-" ? 123u : 0u);
        if (h == INVALID_HANDLE_VALUE) continue;
        EXPECT_TRUE(closeHandle(h));
        EXPECT_EQ(testfs::contentsOf(dir.path(c[2])), "");
        EXPECT_NE(getFileAttributesA(narrow.c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(fullA(narrow), testfs::withBackslashes(narrow));
        fs::remove(dir.path(c[2]));
    }
}
#endif

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
    while (name.empty() && std::getline(passwd, line))
        if (line.find(":" + euid + ":") == line.find(':', line.find(':') + 1))
            name = line.substr(0, line.find(':'));
    ASSERT_FALSE(name.empty()) << "uid " << euid;
    const char* kLoginUid = "/proc/self/loginuid";
    std::getline(std::ifstream(kLoginUid), saved);
    for (const std::string& login : {saved, std::string(euid == "0" ? "65534" : "0"), saved}) {
        std::ofstream(kLoginUid) << login << std::flush;
        if (std::getline(std::ifstream(kLoginUid), line) && line == login)
            EXPECT_EQ(userName(), name) << "login uid " << login;
    }
}
#endif

} // namespace
