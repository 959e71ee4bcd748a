// Moving a StringBuffer's block around (exact capacity, handing the block over, overwriting in
// place) and the UTF-8 block an XString keeps while it is set again and again.
#include "platform/Memory.h"
#include "text/StringBuffer.h"
#include "text/XString.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

std::string str(const StringBuffer& sb) {
    return std::string(sb.getString(), sb.getSize());
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
        EXPECT_EQ(str(sb), c.text);
        EXPECT_EQ(sb.getCapacity(), c.moved ? c.capacity : before);
        sb.append("de"); // the buffer still grows as usual
        EXPECT_EQ(str(sb), std::string(c.text) + "de");
    }

    StringBuffer sb("payload");
    int capacity = 0;
    char* block = sb.releaseBlock(&capacity);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::string(block), "payload");
    EXPECT_EQ(capacity, 8);
    qxFree(block);
    EXPECT_EQ(str(sb), "");
    EXPECT_EQ(sb.releaseBlock(&capacity), nullptr); // nothing left to hand over
    EXPECT_EQ(capacity, 0);
    sb.append("again");
    EXPECT_EQ(str(sb), "again");

    // Every length up to the block's size, with a different byte at every position (short
    // texts are moved as overlapping pieces), then the lengths that do not fit.
    StringBuffer target(std::string(40, '.').c_str()); // capacity 41
    const char* const data = target.getString();
    std::string expected = str(target);
    for (int length = 1; length <= 42; ++length) {
        std::string text;
        for (int i = 0; i < length; ++i)
            text += static_cast<char>('A' + (i * 7 + length) % 58);
        const bool fits = length < 41;
        EXPECT_EQ(target.overwrite(text.data(), length), fits) << length;
        if (fits) expected = text;
        EXPECT_EQ(str(target), expected) << length;
        EXPECT_EQ(target.getString()[target.getSize()], '\0');
        EXPECT_EQ(target.getString(), data); // never a new block
    }
    EXPECT_FALSE(target.overwrite("x", 0));
}

// Cells of varied lengths read into one XString: the block is kept while it fits closely, so a
// table read cell by cell does not allocate per cell, and it never stays much larger than the
// text. Each value reads back exactly, in every form.
TEST(XStringBlock, SettingAgainKeepsAFittingBlock) {
    XString s;
    const std::string texts[] = {"abcde",
                                 "ab",
                                 "abcdefghij",
                                 "a",
                                 "",
                                 "x",
                                 "caf\xC3\xA9 au lait, s'il vous pla\xC3\xAEt",
                                 std::string(70, 'L'),
                                 "q"};
    const char* block = nullptr;
    int blockCapacity = 0;
    for (const std::string& t : texts) {
        const int n = static_cast<int>(t.size());
        s.setFromUtf8N(t.c_str(), n);
        const StringBuffer& utf8 = s.getUtf8Sb();
        EXPECT_EQ(str(utf8), t);
        EXPECT_TRUE(s.isUtf8Current());
        EXPECT_EQ(s.isUnicodeCurrent() && s.isAnsiCurrent(), n == 0); // empty: all forms
        EXPECT_LE(utf8.getCapacity(), std::max(n + 1 + 64, 1)) << t;
        if (n > 0 && block && n < blockCapacity && blockCapacity - n - 1 <= 64) {
            EXPECT_EQ(utf8.getString(), block) << t; // kept
        }
        block = utf8.getString();
        blockCapacity = utf8.getCapacity();
        XString copy;
        copy.setFromUnicode(s.getUnicode()); // through UTF-16 and back
        EXPECT_EQ(std::string(copy.getUtf8()), t);
    }
    // A text taken from the string's own UTF-8 form.
    s.setFromUtf8("hello world");
    s.setFromUtf8(s.getUtf8() + 6);
    EXPECT_EQ(std::string(s.getUtf8()), "world");
}

} // namespace

#ifdef QX_FAULT_INJECTION
#include "platform/FaultInjection.h"

// Without memory for a closely fitting block the text still goes in through the usual growth;
// without any memory the form is empty, as after a failed append.
TEST(XStringBlockFaults, FallsBackToGrowingThenToEmpty) {
    const std::string text(300, 'k');
    for (int failing : {0, 1}) {
        XString s;
        s.setFromUtf8("short");
        FaultInjection::failAllocationAfter = 0;
        if (failing) FaultInjection::failAllAllocations = true;
        s.setFromUtf8N(text.data(), static_cast<int>(text.size()));
        FaultInjection::reset();
        EXPECT_EQ(std::string(s.getUtf8()), failing ? "" : text);
    }
    StringBuffer sb("abc");
    FaultInjection::failAllocationAfter = 0;
    EXPECT_FALSE(sb.setCapacity(50));
    FaultInjection::reset();
    EXPECT_EQ(str(sb), "abc");
}
#endif
