#include "text/StringBuffer.h"
#include "platform/TempDir.h"
#include "text/DataBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

namespace {

using testfs::unescape;

std::string text(const StringBuffer& sb) {
    return std::string(sb.getString(), sb.getSize());
}

// An owned block is adopted as it is (ASan sees a block freed twice), a borrowed one copied.
TEST(StringBufferBlock, TakeData) {
    static const unsigned char borrowed[] = {'h', 'i', 0};
    DataBuffer db, view;
    db.append("hello", 6); // with its NUL
    view.borrowData(borrowed, sizeof borrowed);
    StringBuffer sb("old"), copy;
    sb.takeData(db);
    copy.takeData(view);
    EXPECT_TRUE(!db.getData() && copy.getString() != reinterpret_cast<const char*>(borrowed));
    sb.append(" world");
    EXPECT_EQ(text(sb) + "|" + text(copy), "hello world|hi");
}

// Appends grow by their fixed steps; makeRoom, for text of a size nobody can tell, by half the
// block: megabytes written a few bytes at a time then move a few dozen times, not once per step.
TEST(DataBufferGrowth, AppendsStepAndMakeRoomGrowsByHalf) {
    struct Case {
        const char* what;
        unsigned first, capacity;
    } const cases[] = {{"append", 1, 20000},
                       {"appendByte", 1, 10000},
                       {"append", 30000, 30000},
                       {"makeRoom", 1, 20000},
                       {"makeRoom", 30000, 30000}};
    const std::string big(30000, 'x');
    for (const Case& c : cases) {
        DataBuffer db;
        if (std::string(c.what) == "appendByte")
            db.appendByte('x');
        else if (std::string(c.what) == "append")
            db.append(big.data(), c.first);
        else
            EXPECT_TRUE(db.makeRoom(c.first));
        EXPECT_EQ(db.getCapacity(), c.capacity) << c.what << " " << c.first;
    }
    DataBuffer db;
    int moves = 0;
    for (unsigned i = 0; i < (4u << 20) / 7; ++i) {
        const unsigned had = db.getCapacity();
        ASSERT_TRUE(db.makeRoom(7));
        db.append("abcdefg", 7);
        moves += db.getCapacity() != had;
    }
    EXPECT_LT(moves, 30);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(db.getData()) + 7 * 1000, 7), "abcdefg");
}

TEST(StringBufferEditing, EditsFromTheTable) {
    const std::pair<const char*, void (StringBuffer::*)()> transforms[] = {
        {"trim", &StringBuffer::trim},
        {"toCrlf", &StringBuffer::toCrlf},
        {"toLf", &StringBuffer::toLf},
        {"encodeXmlSpecial", &StringBuffer::encodeXmlSpecial},
        {"toLowercase", &StringBuffer::toLowercase}};
    for (const auto& c : testfs::caseRows("text/data/stringbuffer-edits.txt")) {
        ASSERT_EQ(c.size(), c[0] == "replaceAll" ? 6u : c[0] == "equalsIgnoreCase" ? 4u : 3u);
        const std::string in = unescape(c[1]), other = unescape(c[2]);
        SCOPED_TRACE(c[0] + " '" + in + "'");
        StringBuffer sb(in.c_str());
        if (c[0] == "equalsIgnoreCase") {
            EXPECT_EQ(sb.equalsIgnoreCase(c[2] == "-" ? nullptr : other.c_str()), c[3] == "1");
            continue;
        }
        if (c[0] == "replaceAll") {
            const std::string find = unescape(c[3]), repl = unescape(c[4]);
            EXPECT_EQ(sb.replaceAll(find.c_str(), c[4] == "-" ? nullptr : repl.c_str()),
                      std::stoi(c[5]));
        }
        for (const auto& [name, op] : transforms)
            if (c[0] == name) (sb.*op)();
        EXPECT_EQ(text(sb), other);
    }
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

TEST(StringBufferBlock, SetCapacityAndOverwrite) {
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
