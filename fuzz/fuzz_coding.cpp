// UTF-7 decoding, base64 decoding, quoted-printable encoding and the form changes of XString, all
// on arbitrary bytes. The first byte picks the operation.
#include "encoding/Utf7.h"
#include "encoding/tables/ContentCoding.h"
#include "platform/Memory.h"
#include "text/DataBuffer.h"
#include "text/StringBuffer.h"
#include "text/XString.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {
// Stops the run with the line of the broken invariant.
void fail(int line) {
    std::fprintf(stderr, "invariant broken at %s:%d\n", __FILE__, line);
    std::abort();
}
#define check(ok) ((ok) ? (void)0 : fail(__LINE__))

void utf7(const uint8_t* data, size_t size) {
    DataBuffer in;
    in.append(data, static_cast<unsigned>(size));
    DataBuffer out;
    const bool clean = utf7ToUtf16(in, out);
    check(out.getSize() <= out.getCapacity());
    // The units of a clean decode, encoded and decoded again, come back unchanged.
    if (!clean || out.getSize() % 2 != 0) return;
    DataBuffer again;
    DataBuffer units;
    check(utf16ToUtf7(out, again));
    check(utf7ToUtf16(again, units));
    check(units.getSize() == out.getSize());
    check(out.getSize() == 0 || std::memcmp(units.getData(), out.getData(), out.getSize()) == 0);
}

void base64(const uint8_t* data, size_t size) {
    ContentCoding coding;
    const std::string text(reinterpret_cast<const char*>(data), size);
    int decodedSize = -1;
    unsigned char* decoded =
        coding.decodeBase64(text.data(), static_cast<int>(text.size()), &decodedSize);
    if (decoded) {
        check(decodedSize >= 0);
        // Four characters give at most three bytes.
        check(static_cast<size_t>(decodedSize) <= (size / 4 + 1) * 3);
        unsigned sum = 0;
        for (int i = 0; i < decodedSize; ++i)
            sum += decoded[i];
        volatile unsigned sink = sum;
        (void)sink;
        qxFree(decoded);
    }
}

void quotedPrintable(const uint8_t* data, size_t size) {
    if (size < 1) return;
    ContentCoding coding;
    coding.maxLineLength = 4 + data[0] % 100;
    StringBuffer out;
    coding.encodeQuotedPrintable(data + 1, static_cast<int>(size - 1), out);
    // Only printable ASCII, tabs and line breaks come out: every other byte is escaped.
    for (int i = 0; i < out.getSize(); ++i) {
        const unsigned char c = static_cast<unsigned char>(out.getString()[i]);
        check(c == '\r' || c == '\n' || c == '\t' || (c >= 32 && c < 127));
    }
}

void xstring(const uint8_t* data, size_t size) {
    const std::string utf8(reinterpret_cast<const char*>(data), size);
    XString x;
    x.setFromUtf8(utf8.c_str());
    const uint16_t* units = x.getUnicode();
    check(units != nullptr);
    std::vector<uint16_t> copy;
    for (const uint16_t* p = units; *p; ++p)
        copy.push_back(*p);
    copy.push_back(0);

    const char* ansi = x.getAnsi();
    check(ansi != nullptr);
    const bool exact = x.isAnsiExact();
    const int n = x.getNumChars();
    check(n >= 0);
    for (int i = -1; i <= n && i < 64; ++i)
        x.getAnsiCharAt(i);
    (void)exact;

    // Appending the text's own units doubles it.
    x.appendUnicode(copy.data());
    const uint16_t* doubled = x.getUnicode();
    size_t length = 0;
    while (doubled[length])
        ++length;
    check(length == 2 * (copy.size() - 1));
    check(x.getUtf8() != nullptr);
    x.isAnsiExact();
    x.getAnsi();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 20000) return 0;
    const uint8_t op = data[0] % 4;
    ++data;
    --size;
    switch (op) {
    case 0:
        utf7(data, size);
        break;
    case 1:
        base64(data, size);
        break;
    case 2:
        quotedPrintable(data, size);
        break;
    default:
        xstring(data, size);
        break;
    }
    return 0;
}
