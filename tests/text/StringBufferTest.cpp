#include "text/StringBuffer.h"
#include "platform/Memory.h"
#include "text/DataBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

std::string text(const StringBuffer& sb) {
    return std::string(sb.getString(), sb.getSize());
}

TEST(StringBufferGrowth, TakeDataAdoptsOwnedBlocksAndCopiesBorrowedOnes) {
    DataBuffer db;
    db.append("hello", 6); // with its NUL
    const unsigned char* block = db.getData();
    StringBuffer sb("old");
    sb.takeData(db);
    EXPECT_EQ(text(sb), "hello");
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
        {"Utf-8", "uTF-8", true}, {"", nullptr, true},     {"x", nullptr, false},
        {"abc", "ab", false},     {"\xC9", "\xE9", false}, {"a[", "A{", false},
    };
    for (const auto& [text, arg, equal] : cases)
        EXPECT_EQ(StringBuffer(text).equalsIgnoreCase(arg), equal)
            << text << " vs " << (arg ? arg : "(null)");
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

TEST(StringBufferNumbers, AppendInt64) {
    for (int64_t v : {int64_t{0}, int64_t{-1}, int64_t{1234567890123}, INT64_MAX, INT64_MIN}) {
        StringBuffer sb("n=");
        StringBuffer::appendInt64(v, sb);
        EXPECT_EQ(text(sb), "n=" + std::to_string(v));
    }
}

TEST(StringBufferBlock, SetCapacityReleaseAndOverwrite) {
    const struct {
        const char* text;
        int capacity;
        bool moved; // false: refused, text and block stay
    } cases[] = {{"abc", 4, true}, {"abc", 100, true}, {"abc", 3, false}, {"", 1, true}};
    for (const auto& c : cases) {
        StringBuffer sb(c.text);
        const int before = sb.getCapacity();
        EXPECT_EQ(sb.setCapacity(c.capacity), c.moved) << c.text << " " << c.capacity;
        EXPECT_EQ(text(sb), c.text);
        EXPECT_EQ(sb.getCapacity(), c.moved ? c.capacity : before);
        sb.append("de"); // the buffer still grows as usual
        EXPECT_EQ(text(sb), std::string(c.text) + "de");
    }

    StringBuffer sb("payload");
    int capacity = 0;
    char* block = sb.releaseBlock(&capacity);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::string(block), "payload");
    EXPECT_EQ(capacity, 8);
    qxFree(block);
    EXPECT_EQ(text(sb), "");
    EXPECT_EQ(sb.releaseBlock(&capacity), nullptr); // nothing left to hand over
    EXPECT_EQ(capacity, 0);
    sb.append("again");
    EXPECT_EQ(text(sb), "again");

    // Every length up to the block's size, with a different byte at every position (short
    // texts are moved as overlapping pieces), then the lengths that do not fit.
    StringBuffer target(std::string(40, '.').c_str()); // capacity 41
    const char* const data = target.getString();
    std::string expected = text(target);
    for (int length = 1; length <= 42; ++length) {
        std::string t;
        for (int i = 0; i < length; ++i)
            t += static_cast<char>('A' + (i * 7 + length) % 58);
        const bool fits = length < 41;
        EXPECT_EQ(target.overwrite(t.data(), length), fits) << length;
        if (fits) expected = t;
        EXPECT_EQ(text(target), expected) << length;
        EXPECT_EQ(target.getString()[target.getSize()], '\0');
        EXPECT_EQ(target.getString(), data); // never a new block
    }
    EXPECT_FALSE(target.overwrite("x", 0));
}

} // namespace

#ifdef QX_FAULT_INJECTION
#include "platform/FaultInjection.h"

TEST(StringBufferBlockFaults, SetCapacityWithoutMemoryKeepsTheText) {
    StringBuffer sb("abc");
    FaultInjection::failAllocationAfter = 0;
    EXPECT_FALSE(sb.setCapacity(50));
    FaultInjection::reset();
    EXPECT_EQ(text(sb), "abc");
}
#endif
