// Loading whole files into a StringBuffer and saving buffers, checked against files written and
// read with the standard library. Failures and their log entries: FileAccessTest, FileFaultTest.
#include "file/FileTestSupport.h"
#include "platform/TempDir.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace filetest;

namespace {

class StringBufferFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.ok()); }
    testfs::TempDir dir;
    const std::string path = dir.utf8Path("f.csv");
};

TEST_F(StringBufferFile, LoadAppendsTheWholeFileAndDropsOnlyALeadingUtf8Mark) {
    const std::string bom = "\xEF\xBB\xBF", nuls("x\0y\0", 4), utf16("\xFF\xFE\x61\0", 4);
    std::string big; // several megabytes arrive whole
    for (int i = 0; big.size() < 3 * 1000 * 1000; ++i)
        big += "row " + std::to_string(i) + ",x\r\n";
    const std::tuple<std::string, std::string, std::string> cases[] = {
        // before, file, expected
        {"", "", ""},
        {"pre", "", "pre"},
        {"", bom, bom}, // nothing but the mark: kept
        {"", bom + "a", "a"},
        {"", bom + bom + "a", bom + "a"},
        {"", "\xEF\xBB\x61", "\xEF\xBB\x61"},
        {"", utf16, utf16},
        {"", nuls, nuls},
        {"pre", "xyz", "prexyz"},
        {"pre", bom + "a", "pre" + bom + "a"}, // the buffer does not begin with the mark
        {"", big, big},
    };
    for (const auto& [before, file, expected] : cases) {
        SCOPED_TRACE(before + "|" + file.substr(0, 20));
        ASSERT_TRUE(testfs::writeAll(path, file));
        StringBuffer sb;
        sb.appendN(before.data(), static_cast<int>(before.size()));
        RecordingLog log;
        EXPECT_TRUE(load(path, sb, &log));
        EXPECT_TRUE(textOf(sb) == expected) << textOf(sb).substr(0, 20);
        EXPECT_EQ(sb.getString()[sb.getSize()], 0) << "text stays terminated";
        EXPECT_EQ(log.shape, "");
    }
    RecordingLog log;
    StringBuffer sb("keep");
    EXPECT_FALSE(load("", sb, &log));
    EXPECT_EQ(log.shape, "E:Cannot open file, filename is empty.");
    EXPECT_EQ(textOf(sb), "keep");
}

TEST_F(StringBufferFile, SaveWritesEveryByteOfTheBuffer) {
    const std::pair<const char*, std::string> cases[] = {
        // old contents (null: no file before), buffer
        {nullptr, ""},
        {"old contents", ""},
        {nullptr, "a,b\r\n1,2\r\n"},
        {nullptr, std::string("x\0y", 3)},
        {"a much longer old text", "short"},
    };
    for (const auto& [old, text] : cases) {
        SCOPED_TRACE(text);
        std::filesystem::remove(path);
        ASSERT_TRUE(!old || testfs::writeAll(path, old));
        StringBuffer sb;
        sb.appendN(text.data(), static_cast<int>(text.size()));
        RecordingLog log;
        EXPECT_TRUE(sb.saveToFile(path.c_str(), &log));
        EXPECT_EQ(testfs::contentsOf(path), text);
        EXPECT_EQ(log.shape, "");
    }
    EXPECT_TRUE(FileAccess::writeWholeFile(path.c_str(), nullptr, 3, nullptr));
    EXPECT_EQ(testfs::contentsOf(path), "") << "no data: an empty file";
}

} // namespace
