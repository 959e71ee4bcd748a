// Loading whole files into a StringBuffer and saving buffers to files, checked against files
// written and read with the standard library.
#include "file/FileTestSupport.h"
#include "file/RecordingLog.h"
#include "platform/FileApi.h"
#include "platform/TempDir.h"

#include <gtest/gtest.h>

#include <string>

using filetest::RecordingLog;
using filetest::trimmedErrorText;
using testfs::TempDir;
namespace fs = std::filesystem;

namespace {

std::string bytes(const char* s, size_t n) {
    return std::string(s, n);
}

class FileLoad : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.ok()); }
    TempDir dir;
};

TEST_F(FileLoad, AppendsTheWholeFileAndDropsOnlyAUtf8Mark) {
    struct Case {
        const char* what;
        std::string file;
        std::string before;
        std::string expected;
    };
    const std::string bom = "\xEF\xBB\xBF";
    const Case cases[] = {
        {"empty file", "", "", ""},
        {"empty file appends nothing", "", "pre", "pre"},
        {"nothing but the mark is kept", bom, "", bom},
        {"mark then one byte", bom + "a", "", "a"},
        {"only the first mark goes", bom + bom + "a", "", bom + "a"},
        {"half a mark stays",
         "\xEF\xBB"
         "a",
         "",
         "\xEF\xBB"
         "a"},
        {"UTF-16 mark stays raw",
         bytes("\xFF\xFE"
               "a\0",
               4),
         "",
         bytes("\xFF\xFE"
               "a\0",
               4)},
        {"CSV text", "a,b\r\n1,2\r\n", "", "a,b\r\n1,2\r\n"},
        {"NUL bytes inside", bytes("x\0y\0", 4), "", bytes("x\0y\0", 4)},
        {"appends to what is there", "xyz", "pre", "prexyz"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::path p = dir.path("in.csv");
        ASSERT_TRUE(testfs::writeAll(p, c.file));
        StringBuffer sb;
        sb.appendN(c.before.data(), static_cast<int>(c.before.size()));
        RecordingLog log;
        EXPECT_TRUE(filetest::load(testfs::utf8(p), sb, &log));
        EXPECT_EQ(std::string(sb.getString(), sb.getSize()), c.expected);
        EXPECT_EQ(sb.getString()[sb.getSize()], 0) << "text stays terminated";
        EXPECT_TRUE(log.records.empty());
    }
}

TEST_F(FileLoad, LargeFileArrivesWhole) {
    std::string big;
    for (int i = 0; big.size() < 3 * 1000 * 1000; ++i)
        big += "row " + std::to_string(i) + ",x\r\n";
    fs::path p = dir.path("big.csv");
    ASSERT_TRUE(testfs::writeAll(p, big));
    std::string got;
    EXPECT_TRUE(filetest::loadString(testfs::utf8(p), got, nullptr));
    EXPECT_TRUE(got == big) << "sizes " << got.size() << " and " << big.size();
}

TEST_F(FileLoad, OpenFailuresLogTheWindowsError) {
    ASSERT_TRUE(fs::create_directory(dir.path("sub")));
    struct Case {
        const char* name;
        uint32_t code;
        const char* hex;
    };
    const Case cases[] = {
        {"missing.csv", 2, "0x2"},
        {"nodir/missing.csv", 3, "0x3"},
        {"sub", 5, "0x5"}, // a directory is no file
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.utf8Path(c.name);
        StringBuffer sb("keep");
        RecordingLog log;
        EXPECT_FALSE(filetest::load(path, sb, &log));
        EXPECT_STREQ(sb.getString(), "keep");
        const std::vector<std::string> shape = {"E:Failed to open file (2)", "T:ansiFilename",
                                                "T:osErrorInfo", "T:WindowsError"};
        EXPECT_EQ(log.shape(), shape);
        EXPECT_EQ(log.value("WindowsError"), c.hex);
        EXPECT_EQ(filetest::qpDecode(log.value("ansiFilename")), testfs::withBackslashes(path));
        EXPECT_EQ(log.value("osErrorInfo"), trimmedErrorText(c.code));
        EXPECT_NE(log.value("osErrorInfo"), "");

        StringBuffer quiet("keep");
        EXPECT_FALSE(filetest::load(path, quiet, nullptr)) << "the same without a log";
        EXPECT_STREQ(quiet.getString(), "keep");
    }
}

TEST_F(FileLoad, MissingFileWithUnicodeNameLogsTheLongPath) {
    if (filetest::ansiIsUtf8()) {
        GTEST_SKIP() << "every name is ANSI text in a UTF-8 code page";
    }
    const std::string path = dir.utf8Path(std::string(filetest::kOutsideAnsi) + ".csv");
    RecordingLog log;
    StringBuffer sb;
    EXPECT_FALSE(filetest::load(path, sb, &log));
    const std::vector<std::string> shape = {"E:Failed to open file (3)", "T:utf8Filename",
                                            "T:osErrorInfo", "T:WindowsError"};
    EXPECT_EQ(log.shape(), shape);
    EXPECT_EQ(log.value("utf8Filename"), "\\\\?\\" + testfs::withBackslashes(path));
    EXPECT_EQ(log.value("WindowsError"), "0x2");
}

TEST_F(FileLoad, EmptyPathIsRefusedWithItsOwnMessage) {
    RecordingLog log;
    StringBuffer sb("keep");
    XString empty;
    EXPECT_FALSE(sb.loadFromFile(empty, &log));
    EXPECT_EQ(log.shape(), std::vector<std::string>{"E:Cannot open file, filename is empty."});
    EXPECT_STREQ(sb.getString(), "keep");
}

class FileSave : public FileLoad {};

TEST_F(FileSave, WritesEveryByteOfTheBuffer) {
    struct Case {
        const char* what;
        std::string old; // "<none>": no file before
        std::string text;
    };
    const Case cases[] = {
        {"new empty file", "<none>", ""},
        {"empty buffer truncates", "old contents", ""},
        {"CSV text", "<none>", "a,b\r\n1,2\r\n"},
        {"NUL bytes inside", "<none>", bytes("x\0y", 3)},
        {"shorter than before", "a much longer old text", "short"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::path p = dir.path("out.csv");
        fs::remove(p);
        if (c.old != "<none>") {
            ASSERT_TRUE(testfs::writeAll(p, c.old));
        }
        StringBuffer sb;
        sb.appendN(c.text.data(), static_cast<int>(c.text.size()));
        RecordingLog log;
        EXPECT_TRUE(sb.saveToFile(testfs::utf8(p).c_str(), &log));
        EXPECT_TRUE(testfs::exists(p));
        EXPECT_EQ(testfs::contentsOf(p), c.text);
        EXPECT_TRUE(log.records.empty());
    }
}

} // namespace
