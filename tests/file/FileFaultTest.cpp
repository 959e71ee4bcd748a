// Failures that the file system itself cannot be made to give (a full disk, a read that breaks
// off, a size that cannot be had, an open refused a given number of times), made by the platform
// layer's failure seam.
#ifdef QX_FAULT_INJECTION
#include "file/FileAccess.h"
#include "file/FileTestSupport.h"
#include "platform/FaultInjection.h"
#include "platform/FileApi.h"
#include "platform/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace filetest;
using F = FileFaultInjection;

namespace {

struct Case {
    void (*arm)();
    std::string call; // load or save f.csv, save it read-only, or save a name outside the code page
    bool ok;
    long opens;    // calls of the system's open
    uint32_t code; // the error the log reports for the open
    std::string file, shape;
};

// One failure per case: the result, the opens made, f.csv, the buffer and the log entries with
// their values; afterwards the handle must have been closed (the file can be saved again). Only a
// sharing violation is retried (three times); a refused save of a read-only file clears the
// attribute and opens once more, also where this user may write read-only files. Under a name
// outside the code page the ANSI name is tried too; it holds "?" for the characters the code page
// lacks, so its open is refused rather than reaching the file "x".
TEST(FileFaults, EachFailureIsReportedAndCleanedUp) {
    testfs::TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string path = dir.utf8Path("f.csv");
    ASSERT_TRUE(testfs::writeAll(path, "abcdef"));
    const std::string openA = "E:Failed to open file (2)|T:ansiFilename|T:osErrorInfo";
    const std::string saveA =
        openA + "|T:Filename|T:ansiFilename|E:Failed to write complete file (7)";
    const std::string full = "E:" + trimmedErrorText(112);
    const Case cases[] = {
        {[] { F::readError = 30; }, "load", false, 1, 0, "abcdef",
         "E:" + trimmedErrorText(30) + "|T:filename|E:Failed to read data from file"},
        {[] { F::readLimit = 3; }, "load", false, 1, 0, "abcdef",
         "T:filesize|T:bytes_received|T:filename|E:Failed to read the entire file"},
        {[] { F::sizeError = 6; }, "load", false, 1, 0, "abcdef",
         "E:" + trimmedErrorText(6) +
             "|T:filename|E:Failed to get file size when loading string from file"},
        {[] { F::writeLimit = 2; }, "save outside", false, 1, 123, "abcdef",
         full + "|E:Failed to write complete file (3)|" + saveA},
        {[] { F::openError = 32, F::openErrorCount = 2; }, "load", true, 3, 0, "abcdef", ""},
        {[] { F::openError = 5; }, "load", false, 1, 5, "abcdef", openA + "|T:WindowsError"},
        {[] { F::openError = 2; }, "load", false, 1, 2, "abcdef", openA + "|T:WindowsError"},
        // a locked region is no sharing violation
        {[] { F::openError = 33; }, "load", false, 1, 33, "abcdef", openA + "|T:WindowsError"},
        {[] { F::openError = 5, F::openErrorCount = 1; }, "save read-only", true, 2, 5, "new",
         openA},
        {[] { F::openError = 5, F::openErrorCount = 1; }, "save", false, 1, 5, "abcdef", saveA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shape);
        const bool saving = c.call != "load", outside = c.call == "save outside";
        if (outside && ansiIsUtf8()) continue;
        const std::string name = outside ? dir.utf8Path(std::string("x") + kOutsideAnsi) : path;
        const std::string logged = outside ? dir.utf8Path("x??????") : path; // after the ANSI try
        ASSERT_TRUE(testfs::setReadOnly(path, false) && testfs::writeAll(path, "abcdef") &&
                    testfs::setReadOnly(path, c.call == "save read-only"));
        F::reset();
        c.arm();
        StringBuffer sb("keep");
        RecordingLog log;
        EXPECT_EQ(saving ? save(name, "new", &log) : load(name, sb, &log), c.ok);
        EXPECT_EQ(F::openCalls.load(), c.opens);
        F::reset();
        EXPECT_EQ(log.shape, c.shape);
        for (const auto& [n, v] : log.items) {
            std::string want = logged; // the caller's name, except where the opens log theirs
            if (n == "osErrorInfo" || n == "WindowsError")
                want = n == "WindowsError" ? hex(c.code) : trimmedErrorText(c.code);
            else if (n == "filesize" || n == "bytes_received")
                want = n == "filesize" ? "6" : "3";
            if (n != "ansiFilename" && n != "utf8Filename") {
                EXPECT_EQ(v, want) << n;
            }
        }
        EXPECT_EQ(textOf(sb), c.ok && !saving ? "keepabcdef" : "keep");
        EXPECT_EQ(testfs::contentsOf(path), c.file);
        EXPECT_NE(std::filesystem::status(path).permissions() & std::filesystem::perms::owner_write,
                  std::filesystem::perms::none)
            << "the read-only attribute went";
        EXPECT_TRUE(save(name, "again", nullptr)) << "the handle was closed";
        EXPECT_FALSE(std::filesystem::exists(dir.path("x")));
    }
}

} // namespace
#endif
