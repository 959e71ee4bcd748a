#include "encoding/tables/ContentCoding.h"

#include "encoding/tables/TableTestUtil.h"
#include "platform/Memory.h"
#include "text/StringBuffer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using Str = std::string;

// ---- base64 ---------------------------------------------------------------------------------

struct Base64Case {
    const char* name;
    Str text;
    int length; // -1: the whole text
    Str bytes;  // expected bytes; empty means a null result
};

class ContentCodingBase64 : public ::testing::TestWithParam<Base64Case> {};

TEST_P(ContentCodingBase64, Decodes) {
    const Base64Case& c = GetParam();
    ContentCoding coder;
    int size = -1;
    int len = c.length < 0 ? static_cast<int>(c.text.size()) : c.length;
    unsigned char* out = coder.decodeBase64(c.text.data(), len, &size);
    if (c.bytes.empty()) {
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(size, 0);
    } else {
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(Str(reinterpret_cast<char*>(out), static_cast<size_t>(size)), c.bytes);
    }
    qxFree(out);
}

const Base64Case kBase64Cases[] = {
    {"ThreeBytes", "QUJD", -1, "ABC"},
    {"PaddedTwo", "QUI=", -1, "AB"},
    {"PaddedOne", "QQ==", -1, "A"},
    {"UnpaddedPartialGroups", "QUJDRA", -1, "ABCD"},
    {"LoneCharacterGivesNoByte", "Q", -1, ""},
    {"WhiteSpaceSkipped", " QU\r\nJ\tD ", -1, "ABC"},
    {"ControlsAndHighCharactersSkipped", "Q\x01U{J~D\x7F", -1, "ABC"},
    {"StopsAtEquals", "QUJD=QUJD", -1, "ABC"},
    {"StopsAtNul", Str("QUJD\0QUJD", 9), -1, "ABC"},
    {"StopsAtLength", "QUJDQUJD", 4, "ABC"},
    {"ZeroLength", "QUJD", 0, ""},
    {"AllAlphabetCharacters", "+/8=", -1, "\xFB\xFF"},
    {"ZeroBytes", "AAAA", -1, Str("\0\0\0", 3)},
};

INSTANTIATE_TEST_SUITE_P(ContentCoding, ContentCodingBase64, ::testing::ValuesIn(kBase64Cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ContentCodingBase64Edge, NullArguments) {
    ContentCoding coder;
    int size = 7;
    EXPECT_EQ(coder.decodeBase64(nullptr, 4, &size), nullptr);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(coder.decodeBase64("QUJD", 4, nullptr), nullptr);
    size = 7;
    EXPECT_EQ(coder.decodeBase64("QUJD", -4, &size), nullptr);
    EXPECT_EQ(size, 0);
}

TEST(ContentCodingBase64Edge, RoundTripsRandomBytesThroughIndependentEncoder) {
    std::mt19937 rng(7);
    ContentCoding coder;
    for (size_t n = 1; n < 200; n += 7) {
        tabletest::Bytes raw(n);
        for (auto& b : raw)
            b = static_cast<unsigned char>(rng());
        std::string text = tabletest::base64(raw);
        // Line breaks every 76 characters, as mail and the table texts may carry them.
        for (size_t pos = 76; pos < text.size(); pos += 78)
            text.insert(pos, "\r\n");
        int size = 0;
        unsigned char* out = coder.decodeBase64(text.data(), static_cast<int>(text.size()), &size);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(tabletest::Bytes(out, out + size), raw) << "n=" << n;
        qxFree(out);
    }
}

// ---- quoted-printable ---------------------------------------------------------------------

struct QpCase {
    const char* name;
    Str in;
    Str out;
};

Str encodeQp(const Str& in, int maxLine = 72) {
    ContentCoding coder;
    coder.maxLineLength = maxLine;
    StringBuffer sb;
    coder.encodeQuotedPrintable(reinterpret_cast<const unsigned char*>(in.data()),
                                static_cast<int>(in.size()), sb);
    return Str(sb.getString(), static_cast<size_t>(sb.getSize()));
}

class ContentCodingQp : public ::testing::TestWithParam<QpCase> {};

TEST_P(ContentCodingQp, Encodes) {
    EXPECT_EQ(encodeQp(GetParam().in), GetParam().out);
}

const Str k72(72, 'a');
const Str k71(71, 'a');

const QpCase kQpCases[] = {
    {"FullStopAtLineStart", ".a", "=2Ea"},
    {"FullStopInsideLine", "a.", "a."},
    {"TwoFullStops", "..", "=2E."},
    {"FullStopAfterCrLf", "a\r\n.b", "a\r\n=2Eb"},
    {"FromAtLineStart", "From x", "=46rom x"},
    {"FromWithoutBlank", "Fromx", "Fromx"},
    {"FromAtEnd", "From", "From"},
    {"FromWithTrailingBlank", "From ", "=46rom=20"},
    {"FromInsideLine", "a From x", "a From x"},
    {"TrailingBlank", "a ", "a=20"},
    {"TrailingTab", "a\t", "a=09"},
    {"InnerBlankAndTab", "a b\tc", "a b\tc"},
    {"BlankBeforeCrLf", "a \r\nb", "a=20\r\nb"},
    {"BlankBeforeLoneCr", "a \rb", "a =0Db"},
    {"LoneLf", "a\nb", "a=0Ab"},
    {"Equals", "a=b", "a=3Db"},
    {"HighAndControlBytes", "\xE9\x01\x7F", "=E9=01=7F"},
    {"NulByte", Str("a\0b", 3), "a=00b"},
    {"PrintableRangeEnds", "!<>~", "!<>~"},
    {"SoftBreakAfter72", Str(80, 'a'), k72 + "=\r\n" + Str(8, 'a')},
    {"SoftBreakAfterLastByte", k72, k72 + "=\r\n"},
    {"NoSoftBreakBeforeCrLf", k72 + "\r\nb", k72 + "\r\nb"},
    {"EscapeCrossesLimit", k71 + "=b", k71 + "=3D=\r\nb"},
    {"CrLfResetsColumn", Str(40, 'a') + "\r\n" + Str(40, 'b'),
     Str(40, 'a') + "\r\n" + Str(40, 'b')},
    {"FullStopAfterSoftBreak", k72 + ".", k72 + "=\r\n=2E"},
};

INSTANTIATE_TEST_SUITE_P(ContentCoding, ContentCodingQp, ::testing::ValuesIn(kQpCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ContentCodingQpEdge, AppendsToExistingText) {
    ContentCoding coder;
    StringBuffer sb("name=");
    coder.encodeQuotedPrintable(reinterpret_cast<const unsigned char*>("\xC3\xA9"), 2, sb);
    EXPECT_STREQ(sb.getString(), "name==C3=A9");
}

TEST(ContentCodingQpEdge, NothingForEmptyInput) {
    EXPECT_EQ(encodeQp(""), "");
    ContentCoding coder;
    StringBuffer sb("keep");
    coder.encodeQuotedPrintable(nullptr, 5, sb);
    EXPECT_STREQ(sb.getString(), "keep");
}

TEST(ContentCodingQpEdge, ShorterLineLength) {
    EXPECT_EQ(encodeQp("abcdefgh", 3), "abc=\r\ndef=\r\ngh");
}

// A plain decoder: undoes escapes and soft breaks. Every input must survive the round trip, and
// no output line may pass the limit by more than one escape.
Str decodeQp(const Str& s) {
    Str out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '=') {
            out += s[i];
            continue;
        }
        if (s.compare(i + 1, 2, "\r\n") == 0) {
            i += 2;
            continue;
        }
        out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
        i += 2;
    }
    return out;
}

TEST(ContentCodingQpEdge, RandomInputRoundTripsAndKeepsLinesShort) {
    std::mt19937 rng(99);
    const char pool[] = {'a', 'F', 'r', 'o', 'm', ' ', '\t', '\r', '\n', '.', '=', '\x80', '\0'};
    for (int round = 0; round < 300; ++round) {
        Str in(rng() % 300, 'a');
        for (char& c : in)
            c = pool[rng() % sizeof pool];
        Str enc = encodeQp(in);
        ASSERT_EQ(decodeQp(enc), in);
        size_t lineStart = 0;
        for (size_t pos = enc.find("\r\n"); pos != Str::npos; pos = enc.find("\r\n", pos + 2)) {
            EXPECT_LE(pos - lineStart, 72u + 3u);
            lineStart = pos + 2;
        }
        EXPECT_LE(enc.size() - lineStart, 72u + 3u);
    }
}

} // namespace
