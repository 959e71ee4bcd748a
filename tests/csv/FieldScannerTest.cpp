// The CSV dialect as read and written by StringBuffer's four field scanners.
#include "csv/CsvTestSupport.h"
#include "platform/Memory.h"
#include "text/ExtPtrArray.h"
#include "text/StringBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Fields = std::vector<std::string>;

using csvtest::make;
using csvtest::str;

std::string field(const StringBuffer& line, int n, char d, bool quotes = true, bool bs = true) {
    StringBuffer out("stale");
    line.getNthField(n, d, quotes, bs, out);
    return str(out);
}

Fields splitAll(const std::string& text, char sep) {
    ExtPtrArray pieces;
    make(text).split(pieces, sep, true, true);
    Fields out;
    for (int i = 0; i < pieces.getSize(); ++i)
        out.push_back(str(*static_cast<StringBuffer*>(pieces.elementAt(i))));
    pieces.removeAllObjects();
    return out;
}

// Each line reads as exactly these fields; the field after the last, and field -1, read empty.
TEST(FieldScanner, CountAndReadFields) {
    const struct {
        std::string text;
        char delim;
        Fields fields;
    } cases[] = {
        {"", ',', {}},
        {"a", ',', {"a"}},
        {"a,b,", ',', {"a", "b", ""}},
        {"\"a,b\",c", ',', {"a,b", "c"}},
        {"\"a,b", ',', {"a,b"}}, // quote never closed
        {"x\\,y", ',', {"x,y"}}, // escaped delimiter
        {"a,\"b,c\",d", ',', {"a", "b,c", "d"}},
        {"\"x\"\"y\"", ',', {"x\"y"}}, // doubled quote inside quotes
        {"\"\"", ',', {""}},
        {"a\"\"b", ',', {"ab"}}, // quotes outside a quoted part
        {"ab\"c,d\"e,f", ',', {"abc,de", "f"}},
        {"dir\\sub\\x.txt", ',', {"dirsubx.txt"}},
        {"\\\\", ',', {"\\"}},
        {"\\\"a,b", ',', {"\"a", "b"}}, // an escaped quote does not open quoting
        {"a\\", ',', {"a"}},            // a trailing backslash escapes nothing
        {"\"a\nb\",c", ',', {"a\nb", "c"}},
        {"a,b", ';', {"a,b"}},
        {"a;b", ';', {"a", "b"}},
        {"x\xA7y\xA7\"\xA7\"", '\xA7', {"x", "y", "\xA7"}}, // delimiter byte above 0x7F
        {std::string("a,b\0,c", 6), ',', {"a", "b"}},       // a NUL ends the text
        {"a\"b\"\"c\",d", ',', {"ab\"c", "d"}},
    };
    for (const auto& c : cases) {
        const StringBuffer line = make(c.text);
        const int n = static_cast<int>(c.fields.size());
        EXPECT_EQ(line.countFields(c.delim, true, true), n) << "count of " << c.text;
        for (int i = 0; i < n; ++i)
            EXPECT_EQ(field(line, i, c.delim), c.fields[i]) << c.text << " #" << i;
        for (int i : {n, n + 5, -1})
            EXPECT_EQ(field(line, i, c.delim), "") << c.text << " #" << i;
    }
}

TEST(FieldScanner, QuoteAndBackslashHandlingCanBeSwitchedOff) {
    const struct {
        const char* text;
        bool quotes, backslash;
        int count;
        int n;
        const char* nth;
    } cases[] = {
        {"\"a,b\",c", false, true, 3, 0, "\"a"},
        {"x\\,y", true, false, 2, 1, "y"},
        {"\"a\\\"b\",z", true, false, 1, 0, "a\\b,z"},
        {"\"a\\\"b\",z", true, true, 2, 0, "a\"b"},
    };
    for (const auto& c : cases) {
        StringBuffer line(c.text);
        EXPECT_EQ(line.countFields(',', c.quotes, c.backslash), c.count) << c.text;
        EXPECT_EQ(field(line, c.n, ',', c.quotes, c.backslash), c.nth) << c.text;
    }
}

TEST(FieldScanner, Split) {
    const std::string longLine(700, 'x'); // several local chunks
    const struct {
        std::string text;
        char sep;
        Fields pieces;
    } cases[] = {
        {"", '\n', {}},
        {"a\nb\n", '\n', {"a", "b", ""}},
        {"\"x\ny\",z\nw", '\n', {"\"x\ny\",z", "w"}},
        {"\"a,b\",c", ',', {"\"a,b\"", "c"}},
        {"a\\\nb\nc", '\n', {"a\\\nb", "c"}},
        {std::string("a\nb\0\nc", 6), '\n', {"a", "b"}},
        {longLine + "\n" + longLine + "y", '\n', {longLine, longLine + "y"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(splitAll(c.text, c.sep), c.pieces) << c.text;
    ExtPtrArray pieces; // pieces are shrunk to their length
    make("abc\n" + std::string(300, 'z')).split(pieces, '\n', true, true);
    ASSERT_EQ(pieces.getSize(), 2);
    EXPECT_EQ(static_cast<StringBuffer*>(pieces.elementAt(0))->getCapacity(), 4);
    EXPECT_EQ(static_cast<StringBuffer*>(pieces.elementAt(1))->getCapacity(), 301);
    pieces.removeAllObjects();
}

TEST(FieldScanner, SetNthField) {
    const std::string longTail = "," + std::string(450, 't'); // kept on the heap, not the stack
    const struct {
        std::string text;
        int n;
        std::string value;
        char delim;
        std::string expected;
    } cases[] = {
        {"a,\"b,c\",d", 1, "z", ',', "a,z,d"},
        {"a,b", 3, "z", ',', "a,b,,z"},
        {"a,b,c,d,e", 3, "v", ',', "a,b,c,v,e"},
        {"", 0, "v", ',', "v"},
        {"", 2, "v", ',', ",,v"}, // an empty line is padded up to the column
        {"a", -1, "v", ',', "a"},
        {"a,b", 0, "", ',', ",b"},
        {"x\\,y,z", 1, "q", ',', "x\\,y,q"},
        {"a;b", 1, "c,d", ';', "a;c,d"},
        {std::string("a,b\0junk", 8), 1, "c", ',', "a,c"}, // bytes after a NUL are dropped
        {"a" + longTail + ",end", 1, "m", ',', "a,m,end"},
    };
    for (const auto& c : cases) {
        StringBuffer line = make(c.text);
        line.setNthField(c.n, c.delim, true, true, make(c.value));
        EXPECT_EQ(str(line), c.expected) << c.text << " col " << c.n;
    }
    StringBuffer line("a,b"); // its own text as the value
    line.setNthField(2, ',', true, true, line);
    EXPECT_EQ(str(line), "a,b,a,b");
}

} // namespace
