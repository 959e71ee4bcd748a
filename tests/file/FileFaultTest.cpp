// Failures that a test cannot provoke through the file system itself (a disk that fills up, a
// read that breaks off, a size that cannot be had), made by the platform layer's failure seam.
// Built only when QX_FAULT_INJECTION is on.
#ifdef QX_FAULT_INJECTION
#include "file/FileAccess.h"
#include "file/FileTestSupport.h"
#include "file/RecordingLog.h"
#include "platform/FaultInjection.h"
#include "platform/FileApi.h"
#include "platform/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using filetest::RecordingLog;
using filetest::trimmedErrorText;
using testfs::TempDir;

namespace {

using Shape = std::vector<std::string>;

class FileFaults : public ::testing::Test {
protected:
    void SetUp() override {
        FileFaultInjection::reset();
        ASSERT_TRUE(dir.ok());
        path = dir.utf8Path("f.csv");
        ASSERT_TRUE(testfs::writeAll(dir.path("f.csv"), "abcdef"));
    }
    void TearDown() override { FileFaultInjection::reset(); }
    TempDir dir;
    std::string path;
};

TEST_F(FileFaults, ReadFailuresLeaveTheBufferAsItWas) {
    const std::string diskError = "E:" + trimmedErrorText(30);
    struct Case {
        const char* what;
        uint32_t readError;
        long readLimit;
        uint32_t sizeError;
        Shape shape;
    };
    const Case cases[] = {
        {"read fails", 30, -1, 0, {diskError, "T:filename", "E:Failed to read data from file"}},
        {"read stops short",
         0,
         3,
         0,
         {"T:filesize", "T:bytes_received", "T:filename", "E:Failed to read the entire file"}},
        {"size unknown",
         0,
         -1,
         6,
         {"E:" + trimmedErrorText(6), "T:filename",
          "E:Failed to get file size when loading string from file"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FileFaultInjection::readError = c.readError;
        FileFaultInjection::readLimit = c.readLimit;
        FileFaultInjection::sizeError = c.sizeError;
        StringBuffer sb("keep");
        RecordingLog log;
        EXPECT_FALSE(filetest::load(path, sb, &log));
        FileFaultInjection::reset();
        EXPECT_EQ(std::string(sb.getString()), "keep");
        EXPECT_EQ(sb.getSize(), 4);
        EXPECT_EQ(log.shape(), c.shape);
        EXPECT_EQ(log.value("filename"), path);
        if (c.readLimit >= 0) {
            EXPECT_EQ(log.value("filesize"), "6");
            EXPECT_EQ(log.value("bytes_received"), "3");
        }
        // The handle was closed: the file can be replaced at once.
        EXPECT_TRUE(filetest::save(path, "abcdef", nullptr));
    }
}

TEST_F(FileFaults, ShortWriteIsReported) {
    FileFaultInjection::writeLimit = 2;
    RecordingLog log;
    EXPECT_FALSE(filetest::save(path, "0123456789", &log));
    FileFaultInjection::reset();
    const Shape shape = {"T:ansiFilename2", "E:" + trimmedErrorText(112),
                         "E:Failed to write complete file (1)"};
    EXPECT_EQ(log.shape(), shape);
    EXPECT_EQ(filetest::qpDecode(log.value("ansiFilename2")), path);
    EXPECT_TRUE(filetest::save(path, "again", nullptr)) << "the handle was closed";
}

TEST_F(FileFaults, ShortWriteUnderAUnicodeNameTriesTheAnsiNameToo) {
    if (filetest::ansiIsUtf8()) {
        GTEST_SKIP() << "every name is ANSI text in a UTF-8 code page";
    }
    FileFaultInjection::writeLimit = 2;
    RecordingLog log;
    EXPECT_FALSE(
        filetest::save(dir.utf8Path(std::string("x") + filetest::kOutsideAnsi), "0123", &log));
    FileFaultInjection::reset();
    const std::string full = "E:" + trimmedErrorText(112);
    const Shape shape = {full, "E:Failed to write complete file (3)", "T:ansiFilename2", full,
                         "E:Failed to write complete file (1)"};
    EXPECT_EQ(log.shape(), shape);
}

TEST_F(FileFaults, OnlySharingViolationsAreRetried) {
    struct Case {
        uint32_t error;
        long attempts;
    };
    const Case cases[] = {
        {platform::ERROR_SHARING_VIOLATION, 4},
        {platform::ERROR_ACCESS_DENIED, 1},
        {platform::ERROR_FILE_NOT_FOUND, 1},
        {33, 1}, // a locked region is no sharing violation
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        FileFaultInjection::reset();
        FileFaultInjection::openError = c.error;
        RecordingLog log;
        StringBuffer sb;
        EXPECT_FALSE(filetest::load(path, sb, &log));
        EXPECT_EQ(FileFaultInjection::openCalls.load(), c.attempts);
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%x", static_cast<unsigned>(c.error));
        EXPECT_EQ(log.value("WindowsError"), hex);
    }
}

// The read-only path also on systems that let this user write read-only files anyway: the
// first open is refused as Windows refuses it, the rest is the system's own.
TEST_F(FileFaults, ReadOnlyFileIsOverwrittenAfterARefusal) {
    ASSERT_TRUE(testfs::setReadOnly(dir.path("f.csv"), true));
    FileFaultInjection::openError = platform::ERROR_ACCESS_DENIED;
    FileFaultInjection::openErrorCount = 1;
    RecordingLog log;
    EXPECT_TRUE(filetest::save(path, "new", &log));
    EXPECT_EQ(FileFaultInjection::openCalls.load(), 2);
    EXPECT_EQ(testfs::contentsOf(dir.path("f.csv")), "new");
    XString x;
    x.setFromUtf8(path.c_str());
    uint32_t attributes = 0;
    ASSERT_TRUE(FileAccess::getFileAttributesX(x, attributes, nullptr));
    EXPECT_EQ(attributes & platform::FILE_ATTRIBUTE_READONLY, 0u);
    const Shape shape = {"E:Failed to open file (2)", "T:ansiFilename", "T:osErrorInfo"};
    EXPECT_EQ(log.shape(), shape);

    // A refusal of a file that is not read-only is not retried.
    FileFaultInjection::openCalls = 0;
    FileFaultInjection::openErrorCount = 1;
    EXPECT_FALSE(filetest::save(path, "newer", nullptr));
    EXPECT_EQ(FileFaultInjection::openCalls.load(), 1);
    EXPECT_EQ(testfs::contentsOf(dir.path("f.csv")), "new");
}

} // namespace
#endif
