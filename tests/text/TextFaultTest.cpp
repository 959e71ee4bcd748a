// Strings, buffers and arrays when memory cannot be had: what each operation leaves behind, and
// that the object goes on working once memory is back.
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

// Runs f with allocation n failing, or every allocation when n is negative.
template <class F> void failing(long n, F f) {
    FaultInjection::failAllAllocations = n < 0;
    FaultInjection::failAllocationAfter = n;
    f();
    FaultInjection::reset();
}

TEST(TextFaults, StringBufferLeavesItsTextWhenItCannotGrow) {
    struct Case {
        std::function<void(StringBuffer&)> op;
        std::string done;      // the text once memory is back
        bool mayEmpty = false; // clear-then-set operations may leave the empty text instead
        std::string start = "abc";
        long failing = -1;
    };
    const Case cases[] = {
        {[](StringBuffer& s) { s.appendN("xy\0z", 4); }, std::string("abcxy\0z", 7)},
        {[](StringBuffer& s) { s.appendCharN('x', 3); }, "abcxxx"},
        {[](StringBuffer& s) { s.appendN(s.getString(), s.getSize()); }, "abcabc"},
        {[](StringBuffer& s) { s.prepend(">"); }, ">abc"},
        {[](StringBuffer& s) { s.replaceAll("b", "BB"); }, "aBBc"},
        {[](StringBuffer& s) { s.replaceAll("ab", ""); }, "c"},
        {[](StringBuffer& s) { s.setString("longer text"); }, "longer text", true},
        {[](StringBuffer& s) { EXPECT_EQ(s.setCapacity(50), !FaultInjection::failAllAllocations); },
         "abc"},
        {[](StringBuffer& s) { s.expectNumBytes(10); }, "abc"},
        // Spare room is given up before the room asked for.
        {[](StringBuffer& s) {
             EXPECT_TRUE(s.expectNumBytes(10, 1 << 20) && s.getCapacity() > 13);
         },
         "abc", false, "abc", 0},
        // CRs dropped and LFs doubled in one step: never the one without the other.
        {[](StringBuffer& s) { s.toCrlf(); }, "a\r\nbc\r\nd", false, "a\r\nb\rc\nd"},
        {[](StringBuffer& s) { s.toCrlf(); }, "a\r\nbc\r\nd", false, "a\r\nb\rc\nd", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.done);
        StringBuffer sb(c.start.c_str()); // a block of exactly its size: every growth allocates
        ASSERT_EQ(sb.getCapacity(), sb.getSize() + 1);
        failing(c.failing, [&] { c.op(sb); });
        const std::string left = textOf(sb);
        EXPECT_TRUE(left == c.start || (c.mayEmpty && left.empty()) ||
                    (c.failing >= 0 && left == c.done))
            << left;
        EXPECT_EQ(std::strlen(sb.getString()), std::strlen(left.c_str()));
        sb.setString(c.start.c_str());
        c.op(sb);
        EXPECT_EQ(textOf(sb), c.done);
    }
}

// Constructors fall back to smaller blocks, then to the shared empty string, which no operation
// may write to; such a buffer takes text once memory is back.
TEST(TextFaults, StringBufferWithoutABlock) {
    const StringBuffer source("abc");
    const std::tuple<long, std::function<StringBuffer*()>, int> cases[] = {
        // failing allocation, constructor, capacity
        {0, [] { return new StringBuffer(); }, 4},
        {-1, [] { return new StringBuffer(); }, 1},
        {0, [] { return new StringBuffer("text"); }, 1},
        {0, [] { return new StringBuffer(static_cast<const char*>(nullptr)); }, 1},
        {-1, [&] { return new StringBuffer(source); }, 1},
    };
    for (const auto& [fail, make, capacity] : cases) {
        StringBuffer* sb = nullptr;
        failing(fail, [&] { sb = make(); });
        EXPECT_EQ(sb->getCapacity(), capacity);
        EXPECT_STREQ(sb->getString(), "");
        sb->trim(); // none of these may store a byte into a block the buffer does not own
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

// Dropped, never half-kept: an owned block is freed (LeakSanitizer would see it), a borrowed one
// forgotten and left as it was.
TEST(TextFaults, DataBufferDropsItsContentsWhenItCannotGrow) {
    const unsigned char borrowed[4] = {1, 2, 3, 4};
    const std::pair<bool, std::function<void(DataBuffer&)>> cases[] = {
        {false, [](DataBuffer& d) { d.append("xyz", 3); }},
        {false, [](DataBuffer& d) { d.appendByte('x'); }},
        {false, [](DataBuffer& d) { d.appendStrW(nullptr); }},
        {false, [](DataBuffer& d) { d.append(d.getData(), d.getSize()); }},
        {false, [](DataBuffer& d) { EXPECT_FALSE(d.ensureBuffer(100000)); }},
        {true, [](DataBuffer& d) { d.append("xyz", 3); }},
        {true, [](DataBuffer& d) { EXPECT_FALSE(d.ensureBuffer(8)); }},
    };
    for (const auto& [borrow, op] : cases) {
        DataBuffer db;
        if (borrow) {
            db.borrowData(borrowed, sizeof borrowed);
        } else {
            db.append("abcd", 4);
            db.setDataSize(db.getCapacity()); // full: the next byte needs a new block
        }
        failing(-1, [&, &op = op] { op(db); });
        EXPECT_TRUE(!db.getData() && !db.getSize() && !db.getCapacity() && !db.isBorrowed());
        EXPECT_EQ(borrowed[0] + borrowed[3], 5);
        db.append("ok", 2);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(db.getData()), db.getSize()), "ok");
    }
}

int deaths = 0;
struct Item : QuenlixObject {
    ~Item() override { ++deaths; }
};

// An append that cannot allocate leaves the array as it was: at the first block, at a growth, and
// not at all when there is room. The pointer array doubles from 5 slots; the integer array starts
// with room for 80 values. Removal refuses indexes outside the array and moves the rest down;
// setAt pads with zeros; removeAllObjects deletes.
TEST(TextFaults, ArraysStayUnchangedWhenAnAppendFails) {
    const std::tuple<int, bool, bool> cases[] = {
        // values held, pointer append fits, integer append fits
        {0, false, true},  {3, true, true},  {5, false, true},
        {10, false, true}, {79, true, true}, {80, false, false}};
    for (const auto& [filled, ptrFits, intFits] : cases) {
        SCOPED_TRACE(filled);
        std::vector<Item> items(static_cast<size_t>(filled) + 2);
        ExtPtrArray ptrs;
        ExtIntArray ints;
        for (int i = 0; i < filled; ++i)
            ASSERT_TRUE(ptrs.appendPtr(&items[i]) && ints.append(i));
        bool ptrOk = false, intOk = false;
        failing(-1, [&] { ptrOk = ptrs.appendPtr(&items[filled]), intOk = ints.append(filled); });
        EXPECT_TRUE(ptrOk == ptrFits && intOk == intFits);
        EXPECT_TRUE(ptrs.appendPtr(&items.back()) && ints.append(-1)); // memory is back
        ASSERT_TRUE(ptrs.getSize() == filled + ptrOk + 1 && ints.getSize() == filled + intOk + 1);
        for (int i = 0; i < filled + ptrOk; ++i)
            EXPECT_EQ(ptrs.elementAt(i), &items[i]) << i;
        for (int i = 0; i < filled + intOk; ++i)
            EXPECT_EQ(ints.elementAt(i), i) << i;
        EXPECT_TRUE(ptrs.lastElement() == &items.back() && ints.elementAt(filled + intOk) == -1);
        const int n = ptrs.getSize();
        EXPECT_TRUE(!ptrs.removeAt(-1) && !ptrs.removeAt(n) && ptrs.pop() == &items.back());
        if (n > 2)
            EXPECT_TRUE(ptrs.removeAt(0) == &items[0] && ptrs.elementAt(0) == &items[1] &&
                        ptrs.lastElement() == &items[n - 2] && ptrs.getSize() == n - 2);
        ptrs.removeAllNoDelete();
    }
    // n copies at once grow the array as n appends do, and without memory keep what fitted.
    for (const auto& [before, n, failAfter] : {std::tuple<int, int, int>{0, 80, -1},
                                               {0, 81, -1},
                                               {79, 300, -1},
                                               {5, 100000, -1},
                                               {70, 30, 0},
                                               {0, 1000, 1}}) {
        ExtIntArray one, many;
        for (int i = 0; i < before; ++i)
            ASSERT_TRUE(one.append(i) && many.append(i));
        bool oneOk = true, manyOk = false;
        if (failAfter < 0) {
            for (int i = 0; i < n; ++i)
                oneOk = one.append(-3) && oneOk;
            manyOk = many.appendRepeated(-3, n);
        } else {
            failing(failAfter, [&] { manyOk = many.appendRepeated(-3, n); });
            oneOk = false;
        }
        SCOPED_TRACE(testing::Message() << before << " + " << n);
        EXPECT_EQ(manyOk, oneOk);
        if (failAfter < 0)
            ASSERT_TRUE(many.getSize() == one.getSize() && many.getCapacity() == one.getCapacity());
        else
            EXPECT_TRUE(many.getSize() < before + n && many.getSize() == many.getCapacity());
        for (int i = 0; i < many.getSize(); ++i)
            ASSERT_EQ(many.elementAt(i), i < before ? i : -3) << i;
    }
    ExtIntArray ints;
    ints.setAt(5, 7);
    ints.setAt(-1, 9);
    ASSERT_EQ(ints.getSize(), 6);
    for (int i = -1; i < 7; ++i)
        EXPECT_EQ(ints.elementAt(i), i == 5 ? 7 : 0) << i;
    ExtPtrArray owner; // removeAllObjects deletes what it holds, skipping empty slots
    owner.appendPtr(qxNew<Item>());
    owner.appendPtr(nullptr);
    const int before = deaths;
    owner.removeAllObjects();
    EXPECT_TRUE(deaths == before + 1 && owner.getSize() == 0 && !owner.pop());
}

} // namespace
#endif
