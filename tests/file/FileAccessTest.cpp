// The whole-file layer: path rules, the choice of function family, read-only files, files in use,
// the log entries every failure leaves, and whole files into and out of a StringBuffer (checked
// against files written and read with the standard library).
#include "file/FileAccess.h"
#include "file/FileTestSupport.h"
#include "platform/FileApi.h"
#include "platform/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <tuple>

using namespace filetest;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
const uint32_t kShareAll = platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE;

long msSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// Holds a file open as another program would, until destroyed.
class FileHolder {
public:
    FileHolder(const fs::path& p, uint32_t access, uint32_t share)
        : handle_(platform::createFileA(testfs::utf8(p).c_str(), access, share,
                                        platform::OPEN_EXISTING, 0)) {}
    ~FileHolder() {
        if (holds()) platform::closeHandle(handle_);
    }
    bool holds() const { return handle_ != platform::INVALID_HANDLE_VALUE; }

private:
    platform::FileHandle handle_;
};

class FileAccessTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.ok()); }
    void TearDown() override { platform::setAnsiCodePageOverride(0); }
    bool readOnly(const std::string& path) {
        Path x(path);
        uint32_t attributes = 0;
        EXPECT_TRUE(FileAccess::getFileAttributesX(x, attributes, nullptr));
        return (attributes & platform::FILE_ATTRIBUTE_READONLY) != 0;
    }
    testfs::TempDir dir;
};

TEST_F(FileAccessTest, LongPathPrefixes) {
    const std::string cwd = testfs::withBackslashes(testfs::utf8(fs::current_path()));
    const std::pair<std::string, std::string> cases[] = {
        {"\\\\host\\share\\f.csv", "\\\\?\\UNC\\host\\share\\f.csv"},
        {"\\\\host\\share\\dir\\..\\f.csv", "\\\\?\\UNC\\host\\share\\f.csv"},
        {"\\\\?\\Z:\\x\\f.csv", "\\\\?\\Z:\\x\\f.csv"},
        {"Z:\\a\\.\\b\\..\\c.csv", "\\\\?\\Z:\\a\\c.csv"},
        {"rel.csv", "\\\\?\\" + cwd + "\\rel.csv"},
    };
    for (const auto& [in, out] : cases) {
        SCOPED_TRACE(in);
        Path path(in);
        XString longPath;
        FileAccess::toLongPath(path, longPath);
        EXPECT_EQ(std::string(longPath.getUtf8()), out);
    }
}

// A read-only file is overwritten, through the ANSI functions and through the Unicode ones (names
// of 260 characters or more, names outside the ANSI code page); the attribute goes with it. Only
// the first attempt, made before the attribute went, fails and is logged.
TEST_F(FileAccessTest, ReadOnlyFilesAreOverwrittenOnEveryRoute) {
    const std::string sub(200, 'd'), outside(kOutsideAnsi);
    ASSERT_TRUE(fs::create_directory(testfs::openable(dir.path(sub))));
    if (!testfs::readOnlyIsEnforced(dir.root())) return; // Wine run by a privileged user
    // The ANSI limit counts the current drive for a path without one: the last name that goes
    // through the ANSI functions and the first that does not.
    const std::string inSub = dir.utf8Path(sub + "/");
    const size_t last = FileAccess::kMaxAnsiPath - (inSub[1] == ':' ? 1 : 3) - inSub.size() - 4;
    const std::string names[] = {"plain.csv", sub + "/" + std::string(last, 'f') + ".csv",
                                 sub + "/" + std::string(last + 1, 'f') + ".csv", outside + ".csv"};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const bool wide = name != names[0] && name != names[1];
        if (name == names[3] && ansiIsUtf8()) continue;
        const std::string path = dir.utf8Path(name);
        RecordingLog log;
        ASSERT_TRUE(testfs::writeAll(dir.path(name), "old") &&
                    testfs::setReadOnly(dir.path(name), true));
        ASSERT_TRUE(readOnly(path));
        EXPECT_TRUE(save(path, "new", &log));
        EXPECT_EQ(testfs::contentsOf(dir.path(name)), "new");
        EXPECT_FALSE(readOnly(path));
        EXPECT_EQ(log.shape, wide ? "E:Failed to open file (3)|T:utf8Filename|T:osErrorInfo"
                                  : "E:Failed to open file (2)|T:ansiFilename|T:osErrorInfo");
        EXPECT_EQ(log.value("osErrorInfo"), trimmedErrorText(platform::ERROR_ACCESS_DENIED));
    }
}

TEST_F(FileAccessTest, AnsiFunctionsTakeNamesBelowTheLimit) {
    XString below, at;
    below.setFromUtf8(std::string(FileAccess::kMaxAnsiPath - 1, 'a').c_str());
    at.setFromUtf8(std::string(FileAccess::kMaxAnsiPath, 'a').c_str());
    EXPECT_TRUE(FileAccess::useAnsiApi(below));
    EXPECT_FALSE(FileAccess::useAnsiApi(at));
}

TEST_F(FileAccessTest, MissingOrEmptyNamesCreateNothing) {
    const unsigned char data[] = {'x'};
    const uint16_t emptyWide[] = {0};
    RecordingLog log, quiet;
    StringBuffer sb("keep");
    Path missing(dir.utf8Path("no.csv")), empty("");
    uint32_t attributes = 0;
    EXPECT_FALSE(FileAccess::writeWholeFile("", data, 1, &log));
    EXPECT_FALSE(FileAccess::writeWholeFile(nullptr, data, 1, &log));
    EXPECT_FALSE(load("", sb, &log));
    EXPECT_EQ(FileAccess::createForWrite(empty, &log), platform::INVALID_HANDLE_VALUE);
    EXPECT_FALSE(FileAccess::getFileAttributesX(empty, attributes, &log));
    EXPECT_EQ(log.shape, "E:zero-length filename|E:NULL filename|E:Cannot open file, filename is "
                         "empty.|E:GetAttributes: filename is empty");
    EXPECT_EQ(textOf(sb), "keep");
    EXPECT_FALSE(FileAccess::writeFileAnsi("", data, 1, &quiet));
    EXPECT_FALSE(FileAccess::writeFileAnsi(nullptr, data, 1, &quiet));
    EXPECT_FALSE(FileAccess::writeFileWide(nullptr, data, 1, &quiet));
    EXPECT_FALSE(StringBuffer("text").saveToFile("", nullptr));
    EXPECT_FALSE(FileAccess::getFileAttributesX(missing, attributes, &quiet));
    EXPECT_EQ(attributes, platform::INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(FileAccess::setFileAttributesX(missing, platform::FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(quiet.shape.empty());
    EXPECT_FALSE(FileAccess::writeFileWide(emptyWide, data, 1, &quiet));
    EXPECT_EQ(quiet.shape, "T:utf8Filename|E:Failed to write complete file (6)");
    EXPECT_TRUE(dir.isEmpty());
}

// Every failed load or save: the result, the buffer left alone, the log entries in order and
// their values. "busy.csv" has a reader that never lets go, so that a save, which shares nothing,
// is refused. (Each way of failing to open, and how often each is tried: the fault tests.)
TEST_F(FileAccessTest, FailuresLogInOrder) {
    ASSERT_TRUE(fs::create_directory(dir.path("sub")));
    ASSERT_TRUE(testfs::writeAll(dir.path("busy.csv"), "old"));
    FileHolder reader(dir.path("busy.csv"), platform::GENERIC_READ, kShareAll);
    ASSERT_TRUE(reader.holds());
    const std::string openA = "E:Failed to open file (2)|T:ansiFilename|T:osErrorInfo|";
    const std::string openW = "E:Failed to open file (3)|T:utf8Filename|T:osErrorInfo|";
    const std::string saveA =
        openA + "T:Filename|T:ansiFilename|E:Failed to write complete file (7)";
    const std::string saveW =
        openW + "T:Filename|T:utf8Filename|E:Failed to write complete file (6)";
    const std::string outside(kOutsideAnsi);
    const std::tuple<bool, std::string, uint32_t, std::string> cases[] = {
        {false, "missing=.csv", 2, openA + "T:WindowsError"}, // "=" is encoded
        {false, outside + ".csv", 2, openW + "T:WindowsError"},
        {true, "sub", 5, saveA},
        {true, "busy.csv", 32, saveA},
        // The lossy ANSI form of the name names a missing directory too, and is tried as well.
        {true, outside + "-dir/" + outside + "f.csv", 3, saveW + "|" + saveA},
    };
    for (const auto& [saving, name, code, shape] : cases) {
        SCOPED_TRACE(name);
        const bool wide = name.find(outside) != std::string::npos;
        if (wide && ansiIsUtf8()) continue;
        const std::string path = testfs::withSlashes(dir.utf8Path(name));
        const std::string back = testfs::withBackslashes(path);
        RecordingLog log;
        StringBuffer sb("keep");
        const Clock::time_point start = Clock::now();
        EXPECT_FALSE(saving ? save(path, "new", &log) : load(path, sb, &log));
        const long ms = msSince(start);
        EXPECT_TRUE(code == 32 ? ms >= 150 : ms < 150) << ms << " ms: three pauses of 50 ms";
        EXPECT_EQ(textOf(sb), "keep");
        EXPECT_EQ(log.shape, shape);
        EXPECT_EQ(log.value("WindowsError"), saving ? "<none>" : hex(code));
        EXPECT_EQ(log.value("osErrorInfo"), trimmedErrorText(code));
        EXPECT_EQ(log.value("Filename"), saving ? path : "<none>");
        // The open logs the name it was given, the write the caller's name.
        ASSERT_GE(log.items.size(), 1u);
        const std::string& first = log.items[0].second; // utf8Filename plain, ansiFilename QP
        EXPECT_EQ(first, wide ? "\\\\?\\" + back : qp(back));
        EXPECT_EQ(saving ? log.items[3].second : qp(path), qp(path));
    }
    EXPECT_EQ(testfs::contentsOf(dir.path("busy.csv")), "old");
    EXPECT_TRUE(fs::is_empty(dir.path("sub")));
}

// Buffers saved whole (over older, longer files too) and loaded back whole, each checked against
// the standard library's view of the file. A load appends and drops only a UTF-8 mark that begins
// the file.
TEST_F(FileAccessTest, SaveWritesEveryByteAndLoadAppendsTheWholeFile) {
    const std::string bom = "\xEF\xBB\xBF", nuls("x\0y\0", 4), utf16("\xFF\xFE\x61\0", 4);
    const std::tuple<std::string, std::string, std::string> cases[] = {
        // file, buffer before the load, buffer after it
        {"", "", ""}, // no file before: an empty one is made
        {"", "pre", "pre"},
        {bom, "", bom}, // nothing but the mark: kept
        {bom + bom + "a", "", bom + "a"},
        {"\xEF\xBB\x61", "", "\xEF\xBB\x61"},
        {utf16, "", utf16},
        {nuls, "", nuls},
        {"xyz", "pre", "prexyz"},
        {bom + "a", "pre", "pre" + bom + "a"}, // the buffer does not begin with the mark
    };
    const std::string path = dir.utf8Path("f.csv");
    for (const auto& [file, before, after] : cases) {
        SCOPED_TRACE(before + "|" + file.substr(0, 20));
        StringBuffer out, sb;
        out.appendN(file.data(), static_cast<int>(file.size()));
        sb.appendN(before.data(), static_cast<int>(before.size()));
        RecordingLog log;
        EXPECT_TRUE(out.saveToFile(path.c_str(), &log));
        EXPECT_TRUE(testfs::contentsOf(path) == file);
        EXPECT_TRUE(load(path, sb, &log));
        EXPECT_TRUE(textOf(sb) == after) << textOf(sb).substr(0, 20);
        EXPECT_EQ(sb.getString()[sb.getSize()], 0) << "text stays terminated";
        EXPECT_EQ(log.shape, "");
    }
    EXPECT_TRUE(FileAccess::writeWholeFile(path.c_str(), nullptr, 3, nullptr));
    EXPECT_EQ(testfs::contentsOf(path), "") << "no data: an empty file";
    // After a failed load the last error's text is that of the code the failed open left.
    StringBuffer none, got;
    EXPECT_FALSE(load(dir.utf8Path("none/f.csv"), none, nullptr));
    const uint32_t code = platform::lastErrorCode();
    got.appendLastWindowsError();
    EXPECT_EQ(textOf(got), trimmedErrorText(code));
    EXPECT_NE(code, 0u);
}

} // namespace
