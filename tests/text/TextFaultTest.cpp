// Strings, buffers and arrays when memory cannot be had: what each operation leaves behind, and
// that the object goes on working once memory is back. The document-object sweeps reach most of
// these paths only through whole calls; here each one is made to fail on its own.
#ifdef QX_FAULT_INJECTION
#include "platform/FaultInjection.h"
#include "platform/Memory.h"
#include "text/DataBuffer.h"
#include "text/ExtIntArray.h"
#include "text/ExtPtrArray.h"
#include "text/StringBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

std::string textOf(const StringBuffer& sb) {
    return std::string(sb.getString(), static_cast<size_t>(sb.getSize()));
}

// Runs f with every allocation failing.
template <class F> void withoutMemory(F f) {
    FaultInjection::failAllAllocations = true;
    f();
    FaultInjection::reset();
}

TEST(TextFaults, StringBufferLeavesItsTextWhenItCannotGrow) {
    struct Case {
        const char* name;
        std::function<void(StringBuffer&)> op;
        std::string done; // the text once memory is back
        bool mayEmpty;    // clear-then-set operations may leave the empty text instead
        std::string start = "abc";
        long failing = -1; // -1: every allocation fails; n: only allocation n
    };
    const StringBuffer other("0123456789");
    const Case cases[] = {
        {"append", [](StringBuffer& s) { s.append("xyz"); }, "abcxyz", false},
        {"appendN", [](StringBuffer& s) { s.appendN("xy\0z", 4); }, std::string("abcxy\0z", 7),
         false},
        {"appendChar", [](StringBuffer& s) { s.appendChar('x'); }, "abcx", false},
        {"appendCharN", [](StringBuffer& s) { s.appendCharN('x', 3); }, "abcxxx", false},
        {"appendSb", [&](StringBuffer& s) { s.appendSb(other); }, "abc0123456789", false},
        {"append itself", [](StringBuffer& s) { s.appendN(s.getString(), s.getSize()); }, "abcabc",
         false},
        {"prepend", [](StringBuffer& s) { s.prepend(">"); }, ">abc", false},
        {"replaceAll", [](StringBuffer& s) { s.replaceAll("b", "BB"); }, "aBBc", false},
        {"replaceAll shrinking", [](StringBuffer& s) { s.replaceAll("ab", ""); }, "c", false},
        {"setString", [](StringBuffer& s) { s.setString("longer text"); }, "longer text", true},
        {"setSb", [&](StringBuffer& s) { s.setSb(other); }, "0123456789", true},
        {"expectNumBytes", [](StringBuffer& s) { s.expectNumBytes(10); }, "abc", false},
        // CRs dropped and LFs doubled in one step: never the one without the other.
        {"toCrlf", [](StringBuffer& s) { s.toCrlf(); }, "a\r\nbc\r\nd", false, "a\r\nb\rc\nd"},
        {"toCrlf, second allocation", [](StringBuffer& s) { s.toCrlf(); }, "a\r\nbc\r\nd", false,
         "a\r\nb\rc\nd", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StringBuffer sb(c.start.c_str()); // a block of exactly its size: every growth allocates
        ASSERT_EQ(sb.getCapacity(), sb.getSize() + 1);
        FaultInjection::failAllAllocations = c.failing < 0;
        FaultInjection::failAllocationAfter = c.failing;
        c.op(sb);
        FaultInjection::reset();
        const std::string left = textOf(sb);
        EXPECT_TRUE(left == c.start || (c.mayEmpty && left.empty()) ||
                    (c.failing >= 0 && left == c.done))
            << left;
        EXPECT_EQ(std::strlen(sb.getString()), std::strlen(left.c_str()));
        sb.setString(c.start.c_str());
        c.op(sb);
        EXPECT_EQ(textOf(sb), c.done);
    }
    StringBuffer sb("abc");
    withoutMemory([&] { EXPECT_FALSE(sb.expectNumBytes(10)); });
}

// Constructors fall back to smaller blocks, then to the shared empty string, which no operation
// may write to; such a buffer takes text once memory is back.
TEST(TextFaults, StringBufferWithoutABlock) {
    struct Case {
        const char* name;
        long failing; // 1: the first allocation fails, 2: all of them
        std::function<StringBuffer*()> make;
        int capacity;
    };
    const StringBuffer source("abc");
    const Case cases[] = {
        {"default, small block", 1, [] { return new StringBuffer(); }, 4},
        {"default, none", 2, [] { return new StringBuffer(); }, 1},
        {"from text", 1, [] { return new StringBuffer("text"); }, 1},
        {"from null", 1, [] { return new StringBuffer(static_cast<const char*>(nullptr)); }, 1},
        {"copy", 2, [&] { return new StringBuffer(source); }, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FaultInjection::failAllAllocations = c.failing > 1;
        FaultInjection::failAllocationAfter = c.failing > 1 ? -1 : 0;
        StringBuffer* sb = c.make();
        FaultInjection::reset();
        EXPECT_EQ(sb->getCapacity(), c.capacity);
        ASSERT_NE(sb->getString(), nullptr);
        EXPECT_STREQ(sb->getString(), "");
        // None of these may store a byte into a block the buffer does not own.
        sb->clear();
        sb->trim();
        sb->shorten(1);
        sb->setLength(0);
        sb->removeFirstN(1);
        sb->replaceChar(0, 'x');
        sb->toLowercase();
        sb->minimizeMemory();
        EXPECT_STREQ(sb->getString(), "");
        sb->append("again");
        EXPECT_EQ(textOf(*sb), "again");
        delete sb;
    }
}

TEST(TextFaults, DataBufferDropsItsContentsWhenItCannotGrow) {
    const unsigned char borrowedBytes[4] = {1, 2, 3, 4};
    struct Case {
        const char* name;
        bool borrowed;
        std::function<void(DataBuffer&)> op;
    };
    const Case cases[] = {
        {"append", false, [](DataBuffer& d) { d.append("xyz", 3); }},
        {"appendByte", false, [](DataBuffer& d) { d.appendByte('x'); }},
        {"appendStrW", false, [](DataBuffer& d) { d.appendStrW(nullptr); }},
        {"append from itself", false, [](DataBuffer& d) { d.append(d.getData(), d.getSize()); }},
        {"ensureBuffer", false, [](DataBuffer& d) { EXPECT_FALSE(d.ensureBuffer(100000)); }},
        {"append to borrowed", true, [](DataBuffer& d) { d.append("xyz", 3); }},
        {"ensureBuffer borrowed", true, [](DataBuffer& d) { EXPECT_FALSE(d.ensureBuffer(8)); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DataBuffer db;
        if (c.borrowed) {
            db.borrowData(borrowedBytes, sizeof borrowedBytes);
        } else {
            db.append("abcd", 4);
            db.setDataSize(db.getCapacity()); // full: the next byte needs a new block
        }
        withoutMemory([&] { c.op(db); });
        // Dropped, never half-kept: an owned block is freed (LeakSanitizer would see it), a
        // borrowed one forgotten and left as it was.
        EXPECT_EQ(db.getData(), nullptr);
        EXPECT_EQ(db.getSize(), 0u);
        EXPECT_EQ(db.getCapacity(), 0u);
        EXPECT_FALSE(db.isBorrowed());
        EXPECT_EQ(borrowedBytes[0] + borrowedBytes[3], 5);
        db.append("ok", 2);
        ASSERT_EQ(db.getSize(), 2u);
        EXPECT_EQ(std::memcmp(db.getData(), "ok", 2), 0);
    }
}

struct Item : QuenlixObject {};

// An append that cannot allocate leaves the array as it was: at the first block, at a growth, and
// not at all when there is room. Once memory is back the array grows again.
TEST(TextFaults, ArraysStayUnchangedWhenAnAppendFails) {
    // The pointer array starts without slots and doubles from 5 (5, 10, 20, 40, 80); the integer
    // array starts with room for 80 values.
    const struct {
        int filled;
        bool ptrFits, intFits;
    } cases[] = {{0, false, true},  {3, true, true},  {5, false, true},
                 {10, false, true}, {79, true, true}, {80, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.filled);
        std::vector<Item> items(static_cast<size_t>(c.filled) + 2);
        ExtPtrArray ptrs;
        ExtIntArray ints;
        for (int i = 0; i < c.filled; ++i) {
            ptrs.appendPtr(&items[static_cast<size_t>(i)]);
            ints.append(i);
        }
        bool ptrOk = false, intOk = false;
        withoutMemory([&] {
            ptrOk = ptrs.appendPtr(&items[static_cast<size_t>(c.filled)]);
            intOk = ints.append(-1);
        });
        EXPECT_EQ(ptrOk, c.ptrFits);
        EXPECT_EQ(intOk, c.intFits);
        EXPECT_EQ(ptrs.getSize(), c.filled + (ptrOk ? 1 : 0));
        EXPECT_EQ(ints.getSize(), c.filled + (intOk ? 1 : 0));
        for (int i = 0; i < c.filled; ++i) {
            EXPECT_EQ(ptrs.elementAt(i), &items[static_cast<size_t>(i)]);
            EXPECT_EQ(ints.elementAt(i), i);
        }
        EXPECT_TRUE(ptrs.appendPtr(&items.back()));
        EXPECT_EQ(ptrs.lastElement(), &items.back());
        EXPECT_TRUE(ints.append(42));
        EXPECT_EQ(ints.elementAt(ints.getSize() - 1), 42);
        ptrs.removeAllNoDelete();
    }
}

} // namespace
#endif
