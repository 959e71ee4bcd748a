// Failures that the file system itself cannot be made to give (a full disk, a read that breaks
// off, a size that cannot be had), made by the platform layer's failure seam.
#ifdef QX_FAULT_INJECTION
#include "file/FileAccess.h"
#include "file/FileTestSupport.h"
#include "platform/FaultInjection.h"
#include "platform/FileApi.h"
#include "platform/TempDir.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace filetest;

namespace {

class FileFaults : public ::testing::Test {
protected:
    void SetUp() override {
        FileFaultInjection::reset();
        ASSERT_TRUE(dir.ok());
        ASSERT_TRUE(testfs::writeAll(dir.path("f.csv"), "abcdef"));
    }
    void TearDown() override { FileFaultInjection::reset(); }
    testfs::TempDir dir;
    const std::string path = dir.utf8Path("f.csv");
};

TEST_F(FileFaults, ReadFailuresLeaveTheBufferAsItWas) {
    const std::tuple<uint32_t, long, uint32_t, std::string> cases[] = {
        // read error, read limit, size error, log
        {30, -1, 0, "E:" + trimmedErrorText(30) + "|T:filename|E:Failed to read data from file"},
        {0, 3, 0, "T:filesize|T:bytes_received|T:filename|E:Failed to read the entire file"},
        {0, -1, 6,
         "E:" + trimmedErrorText(6) +
             "|T:filename|E:Failed to get file size when loading string from file"},
    };
    for (const auto& [readError, readLimit, sizeError, shape] : cases) {
        SCOPED_TRACE(shape);
        FileFaultInjection::readError = readError;
        FileFaultInjection::readLimit = readLimit;
        FileFaultInjection::sizeError = sizeError;
        StringBuffer sb("keep");
        RecordingLog log;
        EXPECT_FALSE(load(path, sb, &log));
        FileFaultInjection::reset();
        EXPECT_EQ(textOf(sb), "keep");
        EXPECT_EQ(log.shape, shape);
        EXPECT_EQ(log.value("filename"), path);
        EXPECT_EQ(log.value("filesize") + log.value("bytes_received"),
                  readLimit < 0 ? "<none><none>" : "63");
        EXPECT_TRUE(save(path, "abcdef", nullptr)) << "the handle was closed";
    }
}

TEST_F(FileFaults, ShortWriteIsReported) {
    const std::string full = "E:" + trimmedErrorText(112);
    const std::string ansi = "T:ansiFilename2|" + full + "|E:Failed to write complete file (1)";
    // Under a Unicode name the ANSI name is tried too; it holds "?" for the characters the code
    // page lacks, so its open is refused rather than reaching the file "x".
    const std::string refused = "E:Failed to open file (2)|T:ansiFilename|T:osErrorInfo|"
                                "T:Filename|T:ansiFilename|E:Failed to write complete file (7)";
    const std::pair<std::string, std::string> cases[] = {
        {path, ansi},
        {dir.utf8Path(std::string("x") + kOutsideAnsi),
         full + "|E:Failed to write complete file (3)|" + refused}};
    for (const auto& [name, shape] : cases) {
        if (name != path && ansiIsUtf8()) continue;
        FileFaultInjection::writeLimit = 2;
        RecordingLog log;
        EXPECT_FALSE(save(name, "0123456789", &log));
        FileFaultInjection::reset();
        EXPECT_EQ(log.shape, shape);
        EXPECT_EQ(name == path ? qpDecode(log.value("ansiFilename2")) : path, path);
        EXPECT_TRUE(save(name, "again", nullptr)) << "the handle was closed";
        EXPECT_FALSE(std::filesystem::exists(dir.path("x")));
    }
}

// Open refusals: only a sharing violation is retried (three times); a refused save of a read-only
// file clears the attribute and opens once more, also where this user may write read-only files.
TEST_F(FileFaults, OpenRefusals) {
    const std::string open = "E:Failed to open file (2)|T:ansiFilename|T:osErrorInfo";
    const std::string loadLog = open + "|T:WindowsError";
    const std::tuple<uint32_t, long, bool, bool, long, std::string> cases[] = {
        // error, failing opens (-1: all), saving, file read-only, opens made, log
        {32, -1, false, false, 4, loadLog},
        {5, -1, false, false, 1, loadLog},
        {2, -1, false, false, 1, loadLog},
        {33, -1, false, false, 1, loadLog}, // a locked region is no sharing violation
        {5, 1, true, true, 2, open},
        {5, 1, true, false, 1,
         open + "|T:Filename|T:ansiFilename|E:Failed to write complete file (7)"},
    };
    for (const auto& [error, count, saving, readOnly, opens, shape] : cases) {
        SCOPED_TRACE(std::to_string(error) + " " + std::to_string(readOnly));
        ASSERT_TRUE(testfs::setReadOnly(path, false) && testfs::writeAll(path, "abcdef") &&
                    testfs::setReadOnly(path, readOnly));
        FileFaultInjection::reset();
        FileFaultInjection::openError = error;
        FileFaultInjection::openErrorCount = count;
        RecordingLog log;
        StringBuffer sb;
        EXPECT_EQ(saving ? save(path, "new", &log) : load(path, sb, &log), readOnly);
        EXPECT_EQ(FileFaultInjection::openCalls.load(), opens);
        EXPECT_EQ(log.shape, shape);
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%x", error);
        EXPECT_EQ(log.value("WindowsError"), saving ? "<none>" : hex);
        EXPECT_EQ(log.value("osErrorInfo"), trimmedErrorText(error));
        EXPECT_EQ(testfs::contentsOf(path), readOnly ? "new" : "abcdef");
        EXPECT_NE(std::filesystem::status(path).permissions() & std::filesystem::perms::owner_write,
                  std::filesystem::perms::none)
            << "the read-only attribute went";
    }
}

} // namespace
#endif
