#include "text/StringBuffer.h"
#include "text/DataBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

std::string text(const StringBuffer& sb) {
    return std::string(sb.getString(), sb.getSize());
}

TEST(StringBufferGrowth, CapacityAndStep) {
    StringBuffer sb;
    EXPECT_STREQ(sb.getString(), "");
    // Filled byte by byte, each growth adds about half the capacity.
    const int expected[] = {202, 404, 606, 909, 1363, 2044};
    int seen = 0;
    for (int i = 0; i < 2000; ++i, sb.appendChar('x')) {
        if (sb.getCapacity() != expected[seen]) ++seen;
        ASSERT_TRUE(seen < 6 && sb.getCapacity() == expected[seen]) << "after " << i << " bytes";
    }
    const std::string chunk(4096, 'q');
    while (sb.getSize() <= 1000000)
        sb.append(chunk.c_str());
    EXPECT_EQ(sb.getGrowthStep(), 500000);
    for (int i = 0; i < 200; ++i)
        sb.append(chunk.c_str());
    EXPECT_EQ(sb.getGrowthStep(), 500000);
}

TEST(StringBufferGrowth, TakeDataAdoptsOwnedBlocksAndCopiesBorrowedOnes) {
    DataBuffer db;
    db.append("hello", 6); // with its NUL
    const unsigned char* block = db.getData();
    StringBuffer sb("old");
    sb.takeData(db);
    EXPECT_EQ(text(sb), "hello");
    EXPECT_EQ(sb.getGrowthStep(), 1024);
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(sb.getString()), block);
    EXPECT_EQ(db.getData(), nullptr);
    sb.append(" world");
    EXPECT_EQ(text(sb), "hello world");

    static const unsigned char borrowed[] = {'h', 'i', 0};
    DataBuffer view;
    view.borrowData(borrowed, sizeof borrowed);
    StringBuffer copy;
    copy.takeData(view);
    EXPECT_EQ(text(copy), "hi");
    EXPECT_NE(reinterpret_cast<const unsigned char*>(copy.getString()), borrowed);
}

TEST(StringBufferEditing, WholeTextTransforms) {
    const std::tuple<void (StringBuffer::*)(), const char*, const char*> cases[] = {
        {&StringBuffer::trim, " \t\r\n ", ""},
        {&StringBuffer::trim, "  a b  ", "a b"},
        {&StringBuffer::trim, "\nx y\t", "x y"},
        {&StringBuffer::trim, "x", "x"},
        {&StringBuffer::toCrlf, "a\r\nb\rc\n", "a\r\nbc\r\n"},
        {&StringBuffer::toLf, "a\r\nb\rc\r\n", "a\nb\rc\n"},
        {&StringBuffer::encodeXmlSpecial, "<a href=\"x\">&</a> 'q'",
         "&lt;a href=&quot;x&quot;&gt;&amp;&lt;/a&gt; 'q'"},
        {&StringBuffer::toLowercase, "AZ@[\xC0\xD7\xDF\xE0\xBF", "az@[\xE0\xF7\xFF\xE0\xBF"},
    };
    for (const auto& [op, in, out] : cases) {
        StringBuffer sb(in);
        (sb.*op)();
        EXPECT_EQ(text(sb), out) << "input '" << in << "'";
    }
}

TEST(StringBufferEditing, ReplaceAll) {
    // Text, what to find, its replacement, the count replaced, the text afterwards.
    const std::tuple<const char*, const char*, const char*, int, const char*> cases[] = {
        {"aaaa", "aa", "a", 2, "aa"},      // occurrences never overlap
        {"aaa", "a", "aa", 3, "aaaaaa"},   // replaced text is not rescanned
        {"abc", "x", "y", 0, "abc"},       // absent
        {"abc", "", "y", 0, "abc"},        // empty find
        {"a-b-c", "-", nullptr, 2, "abc"}, // null replacement removes
        {"xyxyx", "xyx", "Z", 1, "Zyx"},   // first match wins
        {"ab", "abc", "Z", 0, "ab"},       // find longer than the text
    };
    for (const auto& [in, find, repl, count, out] : cases) {
        StringBuffer sb(in);
        EXPECT_EQ(sb.replaceAll(find, repl), count) << in << " / " << find;
        EXPECT_EQ(text(sb), out) << in << " / " << find;
    }
}

TEST(StringBufferCompare, EqualsIgnoreCase) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"ansi", "ANSI", true},   {"", nullptr, true},  {"x", nullptr, false},
        {"abc", "abd", false},    {"abc", "ab", false}, {"\xC9", "\xE9", false},
        {"Utf-8", "uTF-8", true}, {"a[", "A{", false},
    };
    for (const auto& [text, arg, equal] : cases)
        EXPECT_EQ(StringBuffer(text).equalsIgnoreCase(arg), equal)
            << text << " vs " << (arg ? arg : "(null)");
}

TEST(StringBufferCompare, CharQueries) {
    StringBuffer sb;
    sb.appendN("a\xA7"
               "b\0\xA7",
               5);
    EXPECT_TRUE(sb.containsChar('\xA7'));
    EXPECT_FALSE(StringBuffer("abc").containsChar('\xA7'));
    EXPECT_EQ(sb.countChar('\xA7'), 2); // counts over the whole length, past the NUL
    EXPECT_EQ(sb.charAt(1), '\xA7');
    EXPECT_EQ(sb.charAt(-1), 0);
    EXPECT_EQ(sb.charAt(5), 0);
    EXPECT_FALSE(sb.is7bit(0));
    EXPECT_TRUE(sb.is7bit(1));
    EXPECT_TRUE(StringBuffer("").is7bit(0));
}

TEST(StringBufferBuilding, ArgumentsMayPointIntoTheBufferAndNullsDoNothing) {
    StringBuffer sb("world");
    sb.prepend(sb.getString() + 3); // "ld"
    EXPECT_EQ(text(sb), "ldworld");
    sb.setString(sb.getString() + 2);
    EXPECT_EQ(text(sb), "world");
    sb.appendN(sb.getString(), sb.getSize());
    EXPECT_EQ(text(sb), "worldworld");
    sb.prepend(nullptr);
    sb.prepend("");
    sb.appendN(nullptr, 4);
    sb.appendCharN('x', 0);
    EXPECT_EQ(sb.append(nullptr), 10);
    EXPECT_EQ(text(sb), "worldworld");
}

TEST(StringBufferNumbers, AppendInt64AndIntToString) {
    for (int64_t v : {int64_t{0}, int64_t{-1}, int64_t{1234567890123}, INT64_MAX, INT64_MIN}) {
        StringBuffer sb("n=");
        StringBuffer::appendInt64(v, sb);
        EXPECT_EQ(text(sb), "n=" + std::to_string(v));
    }
    EXPECT_STREQ(StringBuffer::intToString(-42), "-42");
}

} // namespace
