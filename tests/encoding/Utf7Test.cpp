#include "encoding/Utf7.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

using enctest::Bytes;
using enctest::hex;
using enctest::show;
using enctest::utf16le;

namespace {

Bytes encode(const Bytes& utf16) {
    DataBuffer in, out;
    enctest::fill(in, utf16);
    EXPECT_TRUE(utf16ToUtf7(in, out));
    return enctest::bytesOf(out);
}

Bytes decode(const Bytes& utf7, bool* ok) {
    DataBuffer in, out;
    enctest::fill(in, utf7);
    *ok = utf7ToUtf16(in, out);
    return enctest::bytesOf(out);
}

// ---- encoding --------------------------------------------------------------------------------

struct EncodeCase {
    std::u16string text;
    const char* utf7;
};

const EncodeCase kEncodeCases[] = {
    {u"", ""},
    {u"A+B", "A+-B"},
    {u"\u00e9a", "+AOk-a"},
    {u"!", "+ACE-"}, // optional direct characters are encoded
    {u"~\\", "+AH4AXA-"},
    {u"++", "+-+-"},
    {u"\u00e9+", "+AOkAKw-"}, // inside a run "+" is just another character
    {u"+\u00e9", "+-+AOk-"},
    {u"Hi Mom -\u263a-!", "Hi Mom -+Jjo--+ACE-"},
    {u"\u65e5\u672c\u8a9e", "+ZeVnLIqe-"},
    {u"'(),-./:? \t\r\n", "'(),-./:? \t\r\n"},
    {u"\u00e9.", "+AOk-."}, // the closing '-' is written before every direct byte
    {u"\u00e9", "+AOk-"},   // and at the end
    {u"\ufeff", ""},        // a leading mark alone gives nothing
    {u"\ufeffa", "a"},
    {u"a\ufeff", "a+/v8-"}, // elsewhere U+FEFF is text
    {std::u16string(1, u'\0'), "+AAA-"},
    {u"\U0001F600", "+2D3eAA-"}, // a surrogate pair, unit by unit
};

TEST(Utf7Encode, WritesTheFixedForm) {
    for (const EncodeCase& c : kEncodeCases) {
        EXPECT_EQ(show(encode(utf16le(c.text))), show(enctest::text(c.utf7))) << c.utf7;
    }
}

TEST(Utf7Encode, IgnoresAnOddTrailingByte) {
    EXPECT_EQ(show(encode(hex("41 00 42"))), show(enctest::text("A")));
    EXPECT_EQ(show(encode(hex("41"))), show(Bytes{}));
}

// ---- decoding --------------------------------------------------------------------------------

struct DecodeCase {
    const char* utf7;
    std::u16string text;
    bool ok;
};

const DecodeCase kDecodeCases[] = {
    {"", u"", true},
    {"+AOk-a", u"\u00e9a", true},
    {"+AOka", u"\u00e9", false}, // 'a' is base64: 8 bits left over, not zero
    {"+AOk.", u"\u00e9.", true}, // a non-base64 byte ends the run and is kept
    {"+AOk", u"\u00e9", true},   // the end of the input ends the run
    {"+AOl-", u"\u00e9", false}, // leftover bits not zero
    {"+", u"", false},           // a lone plus sign at the end
    {"a+", u"a", false},
    {"+-", u"+", true},
    {"+--", u"+-", true},
    {"+-+-", u"++", true},
    {"++", u"", false},  // '+' is a base64 character: 6 stray bits
    {"+.", u".", false}, // an empty run ended by another byte
    {"+ZeVnLIqe-", u"\u65e5\u672c\u8a9e", true},
    {"Hi Mom -+Jjo--!", u"Hi Mom -\u263a-!", true},
    {"+2D3eAA-", u"\U0001F600", true},
    {"+AAA-", std::u16string(1, u'\0'), true},
    {"a\tb\r\n", u"a\tb\r\n", true},
    {"\xe9", u"\u00e9", false}, // an 8-bit byte is kept but makes the result false
    {"+AOk-\xe9", u"\u00e9\u00e9", false},
    {"~\\!", u"~\\!", true}, // direct bytes outside the encoder's set are accepted
};

TEST(Utf7Decode, ReadsAnyConformingForm) {
    for (const DecodeCase& c : kDecodeCases) {
        bool ok = false;
        Bytes out = decode(enctest::text(c.utf7), &ok);
        EXPECT_EQ(show(out), show(utf16le(c.text))) << c.utf7;
        EXPECT_EQ(ok, c.ok) << c.utf7;
    }
}

TEST(Utf7Decode, DropsNulBytesAndLeavesTheInputAlone) {
    bool ok = false;
    EXPECT_EQ(show(decode(hex("61 00 62"), &ok)), show(utf16le(u"ab")));
    EXPECT_TRUE(ok);

    DataBuffer in, out;
    enctest::fill(in, enctest::text("x+AOk"));
    utf7ToUtf16(in, out);
    EXPECT_EQ(show(enctest::bytesOf(in)), show(enctest::text("x+AOk")));
}

// ---- against Python's utf-7 codec ------------------------------------------------------------

TEST(Utf7CrossCheck, AgreesWithAnIndependentCodec) {
    // Each record: a random BMP text in UTF-16LE, the form this encoder must write (checked by
    // the generator to decode with Python's codec), and Python's own encoding of the text.
    std::vector<enctest::Record> records = enctest::readVectors("utf7_vectors.txt");
    ASSERT_GT(records.size(), 300u) << enctest::dataPath("utf7_vectors.txt");
    for (const enctest::Record& r : records) {
        ASSERT_EQ(r.tag, "U");
        ASSERT_EQ(r.fields.size(), 3u) << "line " << r.line;
        const Bytes& utf16 = r.fields[0];
        EXPECT_EQ(show(encode(utf16)), show(r.fields[1])) << "line " << r.line;
        bool ok = false;
        EXPECT_EQ(show(decode(r.fields[1], &ok)), show(utf16)) << "line " << r.line;
        EXPECT_TRUE(ok) << "line " << r.line;
        EXPECT_EQ(show(decode(r.fields[2], &ok)), show(utf16)) << "python form, line " << r.line;
        EXPECT_TRUE(ok) << "python form, line " << r.line;
    }
}

} // namespace
