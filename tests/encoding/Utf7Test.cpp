#include "encoding/Utf7.h"

#include "EncodingTestUtil.h"

#include <gtest/gtest.h>

using enctest::Bytes;
using enctest::onBuffers;
using enctest::show;
using enctest::text;
using enctest::utf16le;

namespace {

TEST(Utf7Encode, WritesTheFixedForm) {
    const struct {
        std::u16string text;
        const char* utf7;
    } cases[] = {
        {u"A+B", "A+-B"},
        {u"\u00e9a", "+AOk-a"},
        {u"!", "+ACE-"},          // optional direct characters are encoded
        {u"\u00e9+", "+AOkAKw-"}, // inside a run "+" is just another character
        {u"Hi Mom -\u263a-!", "Hi Mom -+Jjo--+ACE-"},
        {u"'(),-./:? \t\r\n", "'(),-./:? \t\r\n"},
        {u"\u00e9.", "+AOk-."}, // the closing '-' is written before every direct byte
        {u"\u00e9", "+AOk-"},   // and at the end
        {u"\ufeffa", "a"},      // a leading mark gives nothing
        {u"a\ufeff", "a+/v8-"}, // elsewhere U+FEFF is text
        {u"\U0001F600", "+2D3eAA-"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(show(onBuffers(utf16ToUtf7, utf16le(c.text))), show(text(c.utf7))) << c.utf7;
    EXPECT_EQ(show(onBuffers(utf16ToUtf7, enctest::hex("41 00 42"))), "41"); // odd byte ignored
}

TEST(Utf7Decode, ReadsAnyConformingForm) {
    const struct {
        std::string utf7;
        std::u16string text;
        bool ok;
    } cases[] = {
        {"+AOk-a", u"\u00e9a", true},
        {"+AOka", u"\u00e9", false}, // 'a' is base64: 8 bits left over, not zero
        {"+AOk.", u"\u00e9.", true}, // a non-base64 byte ends the run and is kept
        {"+AOk", u"\u00e9", true},   // the end of the input ends the run
        {"+", u"", false},           // a lone plus sign at the end
        {"+-", u"+", true},
        {"+--", u"+-", true},
        {"+.", u".", false}, // an empty run ended by another byte
        {"+ZeVnLIqe-", u"\u65e5\u672c\u8a9e", true},
        {"+2D3eAA-", u"\U0001F600", true},
        {"+AOk-\xe9", u"\u00e9\u00e9", false}, // an 8-bit byte is kept but fails
        {"~\\!", u"~\\!", true},
        {std::string("a\0b", 3), u"ab", true}, // NUL bytes are dropped
    };
    for (const auto& c : cases) {
        bool ok = !c.ok;
        EXPECT_EQ(show(onBuffers(utf7ToUtf16, text(c.utf7), &ok)), show(utf16le(c.text))) << c.utf7;
        EXPECT_EQ(ok, c.ok) << c.utf7;
    }
    DataBuffer in, out; // an open run is finished without touching the caller's buffer
    enctest::fill(in, text("x+AOk"));
    utf7ToUtf16(in, out);
    EXPECT_EQ(show(enctest::bytesOf(in)), show(text("x+AOk")));
}

TEST(Utf7CrossCheck, AgreesWithAnIndependentCodec) {
    // Each record: a random BMP text in UTF-16LE, the form this encoder must write (checked by
    // the generator to decode with Python's codec), and Python's own encoding of the text.
    std::vector<enctest::Record> records = enctest::readVectors("utf7_vectors.txt");
    ASSERT_GT(records.size(), 300u) << enctest::dataPath("utf7_vectors.txt");
    for (const enctest::Record& r : records) {
        ASSERT_EQ(r.fields.size(), 3u) << "line " << r.line;
        const Bytes& utf16 = r.fields[0];
        EXPECT_EQ(show(onBuffers(utf16ToUtf7, utf16)), show(r.fields[1])) << "line " << r.line;
        for (int form : {1, 2}) {
            bool ok = false;
            EXPECT_EQ(show(onBuffers(utf7ToUtf16, r.fields[form], &ok)), show(utf16))
                << "form " << form << ", line " << r.line;
            EXPECT_TRUE(ok) << "form " << form << ", line " << r.line;
        }
    }
}

} // namespace
