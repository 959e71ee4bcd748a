#include "encoding/tables/ContentCoding.h"

#include "platform/Memory.h"
#include "text/StringBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

using Str = std::string;

// The decoded bytes, or "<null>" for a null result (which must come with a size of 0).
Str decode(const char* text, int length) {
    ContentCoding coder;
    int size = -1;
    unsigned char* out = coder.decodeBase64(text, length, &size);
    Str got = out         ? Str(reinterpret_cast<char*>(out), static_cast<size_t>(size))
              : size == 0 ? "<null>"
                          : "<null with size " + std::to_string(size) + ">";
    qxFree(out);
    return got;
}

Str encodeQp(const Str& in, int maxLine = 72) {
    ContentCoding coder;
    coder.maxLineLength = maxLine;
    StringBuffer sb;
    coder.encodeQuotedPrintable(reinterpret_cast<const unsigned char*>(in.data()),
                                static_cast<int>(in.size()), sb);
    return Str(sb.getString(), static_cast<size_t>(sb.getSize()));
}

TEST(ContentCoding, DecodesBase64) {
    const std::tuple<Str, int, Str> cases[] = {
        // text, length (-1: all of it), bytes
        {"QUJD", -1, "ABC"},
        {"QUI=", -1, "AB"},
        {"QQ==", -1, "A"},
        {"QUJDRA", -1, "ABCD"},
        {"Q", -1, "<null>"},
        {" QU\r\nJ\tD ", -1, "ABC"},
        {"Q\x01U{J~D\x7F", -1, "ABC"}, // controls and characters above "z" are skipped
        {"QUJD=QUJD", -1, "ABC"},
        {Str("QUJD\0QUJD", 9), -1, "ABC"},
        {"QUJDQUJD", 4, "ABC"},
        {"QUJD", 0, "<null>"},
        {"QUJD", -4, "<null>"},
        {"+/8=", -1, "\xFB\xFF"},
        {"AAAA", -1, Str("\0\0\0", 3)},
    };
    for (const auto& [text, length, bytes] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(decode(text.data(), length == -1 ? static_cast<int>(text.size()) : length),
                  bytes);
    }
    EXPECT_EQ(decode(nullptr, 4), "<null>");
    EXPECT_EQ(ContentCoding().decodeBase64("QUJD", 4, nullptr), nullptr);
}

TEST(ContentCoding, EncodesQuotedPrintable) {
    const Str k72(72, 'a'), k71(71, 'a'), k40(40, 'a');
    const std::pair<Str, Str> cases[] = {
        {".a", "=2Ea"},
        {"a.", "a."},
        {"..", "=2E."},
        {"a\r\n.b", "a\r\n=2Eb"},
        {"From x", "=46rom x"},
        {"Fromx", "Fromx"},
        {"From", "From"},
        {"From ", "=46rom=20"},
        {"a From x", "a From x"},
        {"a ", "a=20"},
        {"a\t", "a=09"},
        {"a b\tc", "a b\tc"},
        {"a \r\nb", "a=20\r\nb"},
        {"a \rb", "a =0Db"},
        {"a\nb", "a=0Ab"},
        {"a=b", "a=3Db"},
        {"\xE9\x01\x7F", "=E9=01=7F"},
        {Str("a\0b", 3), "a=00b"},
        {"!<>~", "!<>~"},
        {"", ""},
        {Str(80, 'a'), k72 + "=\r\n" + Str(8, 'a')},
        {k72, k72 + "=\r\n"},
        {k72 + "\r\nb", k72 + "\r\nb"},
        {k71 + "=b", k71 + "=3D=\r\nb"},
        {k40 + "\r\n" + k40, k40 + "\r\n" + k40},
        {k72 + ".", k72 + "=\r\n=2E"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(encodeQp(in), out) << in;
    EXPECT_EQ(encodeQp("abcdefgh", 3), "abc=\r\ndef=\r\ngh");
    ContentCoding coder;
    StringBuffer sb("name=");
    coder.encodeQuotedPrintable(reinterpret_cast<const unsigned char*>("\xC3\xA9"), 2, sb);
    coder.encodeQuotedPrintable(nullptr, 5, sb);
    EXPECT_STREQ(sb.getString(), "name==C3=A9") << "appends; nothing for no data";
}

} // namespace
