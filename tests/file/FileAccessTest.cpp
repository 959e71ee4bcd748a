// The whole-file layer: path rules, the choice of function family, overwriting read-only files,
// retries on files in use, and the log entries every failure leaves.
#include "file/FileAccess.h"
#include "file/FileTestSupport.h"
#include "file/RecordingLog.h"
#include "platform/FileApi.h"
#include "platform/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using filetest::RecordingLog;
using testfs::TempDir;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
using Shape = std::vector<std::string>;

long elapsedMs(Clock::time_point since) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

std::string longPathOf(XString& path) {
    XString out;
    FileAccess::toLongPath(path, out);
    return out.getUtf8();
}

// Holds a file open the way another program would, and lets go of it after a delay (or when
// the holder is destroyed).
class FileHolder {
  public:
    FileHolder(const fs::path& p, uint32_t access, uint32_t share) {
        handle_ = platform::createFileA(testfs::utf8(p).c_str(), access, share,
                                        platform::OPEN_EXISTING, platform::FILE_ATTRIBUTE_NORMAL);
    }
    ~FileHolder() {
        if (releaser_.joinable()) releaser_.join();
        if (handle_ != platform::INVALID_HANDLE_VALUE) platform::closeHandle(handle_);
    }
    bool holds() const { return handle_ != platform::INVALID_HANDLE_VALUE; }
    void releaseAfter(int ms) {
        releaser_ = std::thread([this, ms] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            platform::closeHandle(handle_);
            handle_ = platform::INVALID_HANDLE_VALUE;
        });
    }

  private:
    platform::FileHandle handle_;
    std::thread releaser_;
};

class FileAccessTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.ok()); }
    void TearDown() override { platform::setAnsiCodePageOverride(0); }
    TempDir dir;
};

// ---- paths ------------------------------------------------------------------------------------

using FileAccessPaths = FileAccessTest;

TEST_F(FileAccessPaths, LongPathPrefixes) {
    const std::string cwd = testfs::withBackslashes(testfs::utf8(fs::current_path()));
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"\\\\host\\share\\f.csv", "\\\\?\\UNC\\host\\share\\f.csv"},
        {"\\\\host\\share\\dir\\..\\f.csv", "\\\\?\\UNC\\host\\share\\f.csv"},
        {"\\\\?\\Z:\\x\\f.csv", "\\\\?\\Z:\\x\\f.csv"},
        {"\\\\?\\UNC\\host\\share\\f.csv", "\\\\?\\UNC\\host\\share\\f.csv"},
        {"Z:\\a\\b.csv", "\\\\?\\Z:\\a\\b.csv"},
        {"Z:\\a\\.\\b\\..\\c.csv", "\\\\?\\Z:\\a\\c.csv"},
        {"rel.csv", "\\\\?\\" + cwd + "\\rel.csv"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        XString fromUtf8;
        fromUtf8.setFromUtf8(c.in.c_str());
        EXPECT_EQ(longPathOf(fromUtf8), c.out);
        XString fromUnicode;
        fromUnicode.setFromUnicode(fromUtf8.getUnicode());
        EXPECT_EQ(longPathOf(fromUnicode), c.out);
    }
}

TEST_F(FileAccessPaths, AnsiFunctionsOnlyForShortRepresentablePaths) {
    const std::string georgian = "\xE1\x83\xA5"; // one UTF-16 unit in three bytes
    const std::string eAcute = "\xC3\xA9";       // one UTF-16 unit in two bytes
    struct Case {
        int codePage;
        std::string path;
        bool ansi;
    };
    const Case cases[] = {
        {1252, "short.csv", true},
        {1252, std::string(259, 'a'), true},
        {1252, std::string(260, 'a'), false},
        {1252, "caf" + eAcute + ".csv", true},
        {1252, "x" + georgian + ".csv", false},
        {1252, std::string(filetest::kOutsideAnsi), false},
        {65001, "x" + georgian + ".csv", true},
        {65001, std::string(258, 'a') + eAcute, true},    // 259 units, though 260 bytes
        {65001, std::string(259, 'a') + georgian, false}, // 260 units
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.codePage) + " " + c.path);
        platform::setAnsiCodePageOverride(c.codePage);
        XString path;
        path.setFromUtf8(c.path.c_str());
        path.replaceChar('/', '\\');
        EXPECT_EQ(FileAccess::useAnsiApi(path), c.ansi);
    }
}

TEST_F(FileAccessPaths, ForwardSlashesAndBackslashesNameTheSameFile) {
    const std::string native = dir.utf8Path("same.csv");
    const std::string forms[] = {native, testfs::withBackslashes(native),
                                 testfs::withSlashes(native)};
    int n = 0;
    for (const std::string& writeForm : forms) {
        for (const std::string& readForm : forms) {
            SCOPED_TRACE(writeForm + " then " + readForm);
            const std::string text = "text " + std::to_string(++n);
            ASSERT_TRUE(filetest::save(writeForm, text, nullptr));
            EXPECT_EQ(testfs::contentsOf(dir.path("same.csv")), text);
            std::string back;
            EXPECT_TRUE(filetest::loadString(readForm, back, nullptr));
            EXPECT_EQ(back, text);
        }
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.root()), fs::directory_iterator()), 1);
}

TEST_F(FileAccessPaths, LongAndUnicodeNamesGoThroughTheUnicodeFunctions) {
    fs::path longDir = dir.path(std::string(200, 'd'));
    ASSERT_TRUE(fs::create_directory(testfs::openable(longDir)));
    const std::string longName = std::string(200, 'd') + "/" + std::string(80, 'f') + ".csv";
    struct Case {
        const char* what;
        std::string name;
        bool needsNonUtf8Ansi;
    };
    const Case cases[] = {
        {"outside the ANSI code page", std::string(filetest::kOutsideAnsi) + ".csv", true},
        {"260 characters or more", longName, false},
        {"both", std::string(200, 'd') + "/" + filetest::kOutsideAnsi + std::string(80, 'f'), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsNonUtf8Ansi && filetest::ansiIsUtf8()) continue;
        const std::string path = dir.utf8Path(c.name);
        XString x;
        x.setFromUtf8(path.c_str());
        x.replaceChar('/', '\\');
        EXPECT_FALSE(FileAccess::useAnsiApi(x));

        const std::string text = std::string("contents of ") + c.what;
        RecordingLog log;
        ASSERT_TRUE(filetest::save(path, text, &log));
        EXPECT_TRUE(log.records.empty());
        // Under its real name, not a lossy ANSI rendering of it.
        EXPECT_EQ(testfs::contentsOf(dir.path(c.name)), text);
        std::string back;
        EXPECT_TRUE(filetest::loadString(path, back, &log));
        EXPECT_EQ(back, text);

        XString asGiven;
        asGiven.setFromUtf8(path.c_str());
        uint32_t attributes = 0;
        EXPECT_TRUE(FileAccess::getFileAttributesX(asGiven, attributes, &log));
        EXPECT_EQ(attributes & platform::FILE_ATTRIBUTE_DIRECTORY, 0u);
        EXPECT_TRUE(log.records.empty());
    }
}

// ---- attributes and open modes ---------------------------------------------------------------

TEST_F(FileAccessPaths, AttributesThroughEitherSeparator) {
    ASSERT_TRUE(testfs::writeAll(dir.path("f.csv"), "x"));
    XString path;
    path.setFromUtf8(testfs::withSlashes(dir.utf8Path("f.csv")).c_str());
    uint32_t attributes = 0;
    ASSERT_TRUE(FileAccess::getFileAttributesX(path, attributes, nullptr));
    EXPECT_EQ(attributes & platform::FILE_ATTRIBUTE_READONLY, 0u);

    EXPECT_TRUE(FileAccess::setFileAttributesX(path, platform::FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(fs::status(dir.path("f.csv")).permissions() & fs::perms::owner_write,
              fs::perms::none);
    ASSERT_TRUE(FileAccess::getFileAttributesX(path, attributes, nullptr));
    EXPECT_NE(attributes & platform::FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_TRUE(FileAccess::setFileAttributesX(path, platform::FILE_ATTRIBUTE_NORMAL));

    XString missing;
    missing.setFromUtf8(dir.utf8Path("none.csv").c_str());
    RecordingLog log;
    EXPECT_FALSE(FileAccess::getFileAttributesX(missing, attributes, &log));
    EXPECT_EQ(attributes, platform::INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(FileAccess::setFileAttributesX(missing, platform::FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(log.records.empty());

    XString empty;
    attributes = 0;
    EXPECT_FALSE(FileAccess::getFileAttributesX(empty, attributes, &log));
    EXPECT_EQ(attributes, platform::INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(log.shape(), Shape{"E:GetAttributes: filename is empty"});
}

TEST_F(FileAccessPaths, ReadersShareAndWritersDoNot) {
    const fs::path p = dir.path("f.csv");
    ASSERT_TRUE(testfs::writeAll(p, "x"));
    XString path;
    path.setFromUtf8(testfs::utf8(p).c_str());
    struct Case {
        bool forWriting;
        uint32_t otherAccess;
        bool otherOpens;
    };
    const Case cases[] = {
        {false, platform::GENERIC_READ, true},
        {false, platform::GENERIC_WRITE, true},
        {true, platform::GENERIC_READ, false},
        {true, platform::GENERIC_WRITE, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.forWriting) + " " + std::to_string(c.otherAccess));
        platform::FileHandle mine = c.forWriting ? FileAccess::createForWrite(path, nullptr)
                                                 : FileAccess::openForRead(path, nullptr);
        ASSERT_NE(mine, platform::INVALID_HANDLE_VALUE);
        FileHolder other(p, c.otherAccess, platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE);
        EXPECT_EQ(other.holds(), c.otherOpens);
        platform::closeHandle(mine);
    }
    RecordingLog log;
    XString empty;
    EXPECT_EQ(FileAccess::createForWrite(empty, &log), platform::INVALID_HANDLE_VALUE);
    EXPECT_EQ(FileAccess::openForRead(empty, nullptr), platform::INVALID_HANDLE_VALUE);
    EXPECT_TRUE(log.records.empty()) << "an empty name for writing is refused silently";
}

// ---- saving -----------------------------------------------------------------------------------

using FileAccessSave = FileAccessTest;

TEST_F(FileAccessSave, OverwritesReadOnlyFiles) {
    if (!testfs::readOnlyIsEnforced(dir.root())) {
        GTEST_SKIP() << "this user may write read-only files (Wine run as a privileged user)";
    }
    std::vector<std::string> names = {"ro.csv", std::string(200, 'd') + "/" + std::string(80, 'r')};
    ASSERT_TRUE(fs::create_directory(testfs::openable(dir.path(std::string(200, 'd')))));
    if (!filetest::ansiIsUtf8()) names.push_back(std::string(filetest::kOutsideAnsi) + ".csv");
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const fs::path p = dir.path(name);
        ASSERT_TRUE(testfs::writeAll(p, "old"));
        ASSERT_TRUE(testfs::setReadOnly(p, true));
        XString x;
        x.setFromUtf8(testfs::utf8(p).c_str());
        uint32_t attributes = 0;
        ASSERT_TRUE(FileAccess::getFileAttributesX(x, attributes, nullptr));
        ASSERT_NE(attributes & platform::FILE_ATTRIBUTE_READONLY, 0u) << "really read-only";

        RecordingLog log;
        EXPECT_TRUE(filetest::save(testfs::utf8(p), "new", &log));
        EXPECT_EQ(testfs::contentsOf(p), "new");
        ASSERT_TRUE(FileAccess::getFileAttributesX(x, attributes, nullptr));
        EXPECT_EQ(attributes & platform::FILE_ATTRIBUTE_READONLY, 0u);
        // The first attempt failed and was logged; the second, after the attribute went, did not.
        Shape firstAttempt = log.shape();
        ASSERT_EQ(firstAttempt.size(), 3u);
        EXPECT_EQ(firstAttempt[0].compare(0, 23, "E:Failed to open file ("), 0);
        EXPECT_EQ(firstAttempt[2], "T:osErrorInfo");
        EXPECT_EQ(log.value("osErrorInfo"),
                  filetest::trimmedErrorText(platform::ERROR_ACCESS_DENIED));
    }
}

TEST_F(FileAccessSave, CountZeroCreatesAnEmptyFile) {
    const unsigned char data[] = {'a', 'b', 'c'};
    struct Case {
        const char* what;
        const unsigned char* data;
        unsigned count;
        bool existedBefore;
    };
    const Case cases[] = {
        {"new file, count 0", data, 0, false},
        {"existing file, count 0", data, 0, true},
        {"no data at all", nullptr, 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path p = dir.path("empty.csv");
        fs::remove(p);
        if (c.existedBefore) {
            ASSERT_TRUE(testfs::writeAll(p, "old"));
        }
        RecordingLog log;
        EXPECT_TRUE(FileAccess::writeWholeFile(testfs::utf8(p).c_str(), c.data, c.count, &log));
        EXPECT_TRUE(testfs::exists(p));
        EXPECT_EQ(fs::file_size(p), 0u);
        EXPECT_TRUE(log.records.empty());
    }
}

TEST_F(FileAccessSave, MissingOrEmptyNamesCreateNothing) {
    const unsigned char data[] = {'x'};
    RecordingLog log;
    EXPECT_FALSE(FileAccess::writeWholeFile("", data, 1, &log));
    EXPECT_FALSE(FileAccess::writeWholeFile(nullptr, data, 1, &log));
    EXPECT_FALSE(FileAccess::writeWholeFile("", data, 1, nullptr));
    EXPECT_EQ(log.shape(), (Shape{"E:zero-length filename", "E:NULL filename"}));

    RecordingLog quiet;
    const uint16_t emptyWide[] = {0};
    EXPECT_FALSE(FileAccess::writeFileAnsi("", data, 1, &quiet));
    EXPECT_FALSE(FileAccess::writeFileAnsi(nullptr, data, 1, &quiet));
    EXPECT_FALSE(FileAccess::writeFileWide(nullptr, data, 1, &quiet));
    EXPECT_TRUE(quiet.records.empty());
    EXPECT_FALSE(FileAccess::writeFileWide(emptyWide, data, 1, &quiet));
    EXPECT_EQ(quiet.shape(), (Shape{"T:utf8Filename", "E:Failed to write complete file (6)"}));

    StringBuffer sb("text");
    EXPECT_FALSE(sb.saveToFile("", nullptr));
    EXPECT_TRUE(dir.isEmpty());
}

// Every failed save records the failed open, the name, and the write failure, in this order.
TEST_F(FileAccessSave, FailuresLogInOrder) {
    ASSERT_TRUE(fs::create_directory(dir.path("sub")));
    ASSERT_TRUE(testfs::writeAll(dir.path("busy.csv"), "old"));
    struct Case {
        const char* name;
        uint32_t code;
        bool holdForReading;
    };
    const Case cases[] = {
        {"sub", platform::ERROR_ACCESS_DENIED, false},          // a directory
        {"nodir/f.csv", platform::ERROR_PATH_NOT_FOUND, false}, // no such directory
        {"busy.csv", platform::ERROR_SHARING_VIOLATION, true},  // somebody reads it
    };
    const Shape shape = {"E:Failed to open file (2)",
                         "T:ansiFilename",
                         "T:osErrorInfo",
                         "T:Filename",
                         "T:ansiFilename",
                         "E:Failed to write complete file (7)"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = testfs::withSlashes(dir.utf8Path(c.name));
        std::unique_ptr<FileHolder> reader;
        if (c.holdForReading) {
            reader.reset(new FileHolder(dir.path("busy.csv"), platform::GENERIC_READ,
                                        platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE));
            ASSERT_TRUE(reader->holds());
        }
        RecordingLog log;
        Clock::time_point start = Clock::now();
        EXPECT_FALSE(filetest::save(path, "new", &log));
        long ms = elapsedMs(start);
        EXPECT_EQ(log.shape(), shape);
        EXPECT_EQ(log.value("osErrorInfo"), filetest::trimmedErrorText(c.code));
        EXPECT_EQ(log.value("Filename"), path);
        ASSERT_EQ(log.records.size(), shape.size());
        EXPECT_EQ(filetest::qpDecode(log.records[1].value), testfs::withBackslashes(path));
        EXPECT_EQ(filetest::qpDecode(log.records[4].value), path);
        if (c.code == platform::ERROR_SHARING_VIOLATION) {
            EXPECT_GE(ms, 150) << "three pauses of 50 ms";
        }
    }
    EXPECT_EQ(testfs::contentsOf(dir.path("busy.csv")), "old");
}

TEST_F(FileAccessSave, UnicodeNameFailureAlsoTriesTheAnsiName) {
    if (filetest::ansiIsUtf8()) {
        GTEST_SKIP() << "every name is ANSI text in a UTF-8 code page";
    }
    // The lossy ANSI form of the name keeps "-dir/f.csv", so it names a missing directory too.
    const std::string path = dir.utf8Path(std::string(filetest::kOutsideAnsi) + "-dir/" +
                                          filetest::kOutsideAnsi + "f.csv");
    RecordingLog log;
    EXPECT_FALSE(filetest::save(path, "x", &log));
    const Shape shape = {"E:Failed to open file (3)",
                         "T:utf8Filename",
                         "T:osErrorInfo",
                         "T:Filename",
                         "T:utf8Filename",
                         "E:Failed to write complete file (6)",
                         "E:Failed to open file (2)",
                         "T:ansiFilename",
                         "T:osErrorInfo",
                         "T:Filename",
                         "T:ansiFilename",
                         "E:Failed to write complete file (7)"};
    EXPECT_EQ(log.shape(), shape);
    ASSERT_EQ(log.records.size(), shape.size());
    EXPECT_EQ(log.records[1].value, "\\\\?\\" + testfs::withBackslashes(path));
    EXPECT_EQ(log.records[3].value, path);
    EXPECT_EQ(filetest::qpDecode(log.records[4].value), path);
    EXPECT_TRUE(dir.isEmpty());
}

// ---- files in use -----------------------------------------------------------------------------

using FileSharing = FileAccessTest;

TEST_F(FileSharing, FileReleasedWithinTheRetriesIsLoaded) {
    const fs::path p = dir.path("held.csv");
    ASSERT_TRUE(testfs::writeAll(p, "held,text"));
    FileHolder writer(p, platform::GENERIC_WRITE, 0);
    ASSERT_TRUE(writer.holds());
    writer.releaseAfter(75);
    RecordingLog log;
    std::string text;
    Clock::time_point start = Clock::now();
    EXPECT_TRUE(filetest::loadString(testfs::utf8(p), text, &log));
    EXPECT_GE(elapsedMs(start), 50) << "the first attempt must have met the holder";
    EXPECT_EQ(text, "held,text");
    EXPECT_TRUE(log.records.empty());
}

TEST_F(FileSharing, FileNeverReleasedFailsAfterThreeRetries) {
    const fs::path p = dir.path("held.csv");
    ASSERT_TRUE(testfs::writeAll(p, "held,text"));
    FileHolder writer(p, platform::GENERIC_WRITE, 0);
    ASSERT_TRUE(writer.holds());
    RecordingLog log;
    StringBuffer sb("keep");
    Clock::time_point start = Clock::now();
    EXPECT_FALSE(filetest::load(testfs::utf8(p), sb, &log));
    long ms = elapsedMs(start);
    EXPECT_GE(ms, 150);
    EXPECT_LT(ms, 5000);
    EXPECT_STREQ(sb.getString(), "keep");
    const Shape shape = {"E:Failed to open file (2)", "T:ansiFilename", "T:osErrorInfo",
                         "T:WindowsError"};
    EXPECT_EQ(log.shape(), shape);
    EXPECT_EQ(log.value("WindowsError"), "0x20");
    EXPECT_EQ(log.value("osErrorInfo"),
              filetest::trimmedErrorText(platform::ERROR_SHARING_VIOLATION));
}

TEST_F(FileSharing, SaveWaitsForAWriterToLetGo) {
    const fs::path p = dir.path("held.csv");
    ASSERT_TRUE(testfs::writeAll(p, "old"));
    FileHolder writer(p, platform::GENERIC_WRITE, 0);
    ASSERT_TRUE(writer.holds());
    writer.releaseAfter(75);
    RecordingLog log;
    EXPECT_TRUE(filetest::save(testfs::utf8(p), "new", &log));
    EXPECT_EQ(testfs::contentsOf(p), "new");
    EXPECT_TRUE(log.records.empty());
}

} // namespace
