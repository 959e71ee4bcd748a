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

// An owned block is adopted as it is, a borrowed one copied.
TEST(StringBufferBlock, TakeData) {
    static const unsigned char borrowed[] = {'h', 'i', 0};
    DataBuffer db, view;
    db.append("hello", 6); // with its NUL
    const unsigned char* block = db.getData();
    view.borrowData(borrowed, sizeof borrowed);
    StringBuffer sb("old"), copy;
    sb.takeData(db);
    copy.takeData(view);
    EXPECT_TRUE(reinterpret_cast<const unsigned char*>(sb.getString()) == block && !db.getData());
    EXPECT_NE(reinterpret_cast<const unsigned char*>(copy.getString()), borrowed);
    sb.append(" world");
    EXPECT_EQ(text(sb) + "|" + text(copy), "hello world|hi");
}

TEST(StringBufferEditing, WholeTextTransforms) {
    const std::tuple<void (StringBuffer::*)(), const char*, const char*> cases[] = {
        {&StringBuffer::trim, " \t\r\n ", ""},
        {&StringBuffer::trim, "  a b  ", "a b"},
        {&StringBuffer::trim, "\nx y\t", "x y"},
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

TEST(StringBufferEditing, ReplaceAllAndEqualsIgnoreCase) {
    // Text, what to find, its replacement, the count replaced, the text afterwards.
    const std::tuple<const char*, const char*, const char*, int, const char*> cases[] = {
        {"aaaa", "aa", "a", 2, "aa"},      // occurrences never overlap
        {"aaa", "a", "aa", 3, "aaaaaa"},   // replaced text is not rescanned
        {"abc", "", "y", 0, "abc"},        // empty find
        {"a-b-c", "-", nullptr, 2, "abc"}, // null replacement removes
        {"xyxyx", "xyx", "Z", 1, "Zyx"},   // first match wins
        {"ab", "abc", "Z", 0, "ab"},       // find longer than the text
        {"aab", "ab", "Z", 1, "aZ"},       // a near miss just before a match
    };
    for (const auto& [in, find, repl, count, out] : cases) {
        StringBuffer sb(in);
        EXPECT_EQ(sb.replaceAll(find, repl), count) << in << " / " << find;
        EXPECT_EQ(text(sb), out) << in << " / " << find;
    }
    const std::tuple<const char*, const char*, bool> compared[] = {
        {"Utf-8", "uTF-8", true}, {"", nullptr, true},     {"x", nullptr, false},
        {"abc", "ab", false},     {"\xC9", "\xE9", false}, {"a[", "A{", false},
    };
    for (const auto& [text, arg, equal] : compared)
        EXPECT_EQ(StringBuffer(text).equalsIgnoreCase(arg), equal) << text;
}

TEST(StringBufferBuilding, ArgumentsMayPointIntoTheBufferAndNullsDoNothing) {
    StringBuffer sb("world");
    sb.prepend(sb.getString() + 3); // "ld"
    sb.setString(sb.getString() + 2);
    sb.appendN(sb.getString(), sb.getSize());
    sb.prepend(nullptr);
    sb.prepend("");
    sb.appendN(nullptr, 4);
    sb.appendCharN('x', 0);
    EXPECT_EQ(sb.append(nullptr), 10);
    EXPECT_EQ(text(sb), "worldworld");
    for (int64_t v : {int64_t{0}, int64_t{-1}, int64_t{1234567890123}, INT64_MAX, INT64_MIN}) {
        StringBuffer n("n=");
        StringBuffer::appendInt64(v, n);
        EXPECT_EQ(text(n), "n=" + std::to_string(v));
    }
}

TEST(StringBufferBlock, SetCapacityReleaseAndOverwrite) {
    // Text, capacity asked for, whether it is taken (else text and block stay).
    const std::tuple<const char*, int, bool> cases[] = {
        {"abc", 4, true}, {"abc", 100, true}, {"abc", 3, false}, {"", 1, true}};
    for (const auto& [start, capacity, moved] : cases) {
        StringBuffer sb(start);
        const int before = sb.getCapacity();
        EXPECT_EQ(sb.setCapacity(capacity), moved) << start << " " << capacity;
        EXPECT_EQ(sb.getCapacity(), moved ? capacity : before);
        sb.append("de"); // the buffer still grows as usual
        EXPECT_EQ(text(sb), std::string(start) + "de");
    }
    StringBuffer sb("payload");
    int capacity = 0;
    char* block = sb.releaseBlock(&capacity);
    EXPECT_EQ(std::string(block ? block : "(null)") + std::to_string(capacity), "payload8");
    qxFree(block);
    EXPECT_TRUE(text(sb).empty() && !sb.releaseBlock(&capacity) && capacity == 0);
    sb.append("again");
    EXPECT_EQ(text(sb), "again");

    // Every length up to the block's size, with a different byte at every position (short
    // texts are moved as overlapping pieces), then the lengths that do not fit.
    StringBuffer target(std::string(40, '.').c_str()); // capacity 41
    const char* const data = target.getString();
    std::string expected = text(target);
    for (int length = 0; length <= 42; ++length) {
        std::string t;
        for (int i = 0; i < length; ++i)
            t += static_cast<char>('A' + (i * 7 + length) % 58);
        const bool fits = length > 0 && length < 41;
        EXPECT_EQ(target.overwrite(t.data(), length), fits) << length;
        if (fits) expected = t;
        EXPECT_EQ(text(target), expected) << length;
        EXPECT_EQ(target.getString()[target.getSize()], '\0');
        EXPECT_EQ(target.getString(), data); // never a new block
    }
}

} // namespace
