#include "encoding/tables/ContentCoding.h"

#include "platform/Memory.h"
#include "text/StringBuffer.h"

namespace {

// The value of each base64 character; 0xFF for every other byte, which the decoder skips like
// white space (the embedded tables hold none).
struct Base64Values {
    unsigned char of[256];
    constexpr Base64Values() : of() {
        for (int c = 0; c < 256; ++c) {
            const int v = c >= 'A' && c <= 'Z'   ? c - 'A'
                          : c >= 'a' && c <= 'z' ? c - 'a' + 26
                          : c >= '0' && c <= '9' ? c - '0' + 52
                          : c == '+'             ? 62
                          : c == '/'             ? 63
                                                 : 0xFF;
            of[c] = static_cast<unsigned char>(v);
        }
    }
};
constexpr Base64Values kBase64Values;

const char kHexDigits[] = "0123456789ABCDEF";

void appendHexEscape(StringBuffer& out, unsigned char b) {
    char esc[3] = {'=', kHexDigits[b >> 4], kHexDigits[b & 0x0F]};
    out.appendN(esc, 3);
}

} // namespace

unsigned char* ContentCoding::decodeBase64(const char* text, int length, int* sizeOut) {
    if (sizeOut) *sizeOut = 0;
    if (!text || length <= 0 || !sizeOut) return nullptr;
    std::size_t capacity = static_cast<std::size_t>(length) * 3 / 4 + 8;
    unsigned char* out = static_cast<unsigned char*>(qxAlloc(capacity));
    if (!out) return nullptr;

    std::size_t n = 0;
    uint32_t group = 0; // up to four 6-bit values, most significant first
    int inGroup = 0;
    const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
    for (int i = 0; i < length; ++i) {
        // Whole groups of four alphabet characters (the embedded tables are nothing else but for
        // their end) go in at once; anything else goes through the character loop below.
        if (inGroup == 0) {
            while (i <= length - 4) {
                const uint32_t a = kBase64Values.of[in[i]], b = kBase64Values.of[in[i + 1]],
                               c = kBase64Values.of[in[i + 2]], d = kBase64Values.of[in[i + 3]];
                if ((a | b | c | d) & 0x80) break;
                const uint32_t whole = a << 18 | b << 12 | c << 6 | d;
                out[n] = static_cast<unsigned char>(whole >> 16);
                out[n + 1] = static_cast<unsigned char>(whole >> 8);
                out[n + 2] = static_cast<unsigned char>(whole);
                n += 3;
                i += 4;
            }
            if (i >= length) break;
        }
        const unsigned char c = in[i];
        if (c == 0 || c == '=') break;
        const uint32_t v = kBase64Values.of[c];
        if (v == 0xFF) continue; // CR, LF, tab, blank and other controls included
        group = (group << 6) | v;
        if (++inGroup == 4) {
            out[n++] = static_cast<unsigned char>(group >> 16);
            out[n++] = static_cast<unsigned char>(group >> 8);
            out[n++] = static_cast<unsigned char>(group);
            group = 0;
            inGroup = 0;
        }
    }
    // A final partial group yields its whole bytes: 2 characters give 1 byte, 3 give 2.
    if (inGroup == 2) {
        out[n++] = static_cast<unsigned char>(group >> 4);
    } else if (inGroup == 3) {
        out[n++] = static_cast<unsigned char>(group >> 10);
        out[n++] = static_cast<unsigned char>(group >> 2);
    }
    if (n == 0) {
        qxFree(out);
        return nullptr;
    }
    *sizeOut = static_cast<int>(n);
    return out;
}

void ContentCoding::encodeQuotedPrintable(const unsigned char* data, int size, StringBuffer& out) {
    if (!data || size <= 0) return;
    out.expectNumBytes(size);
    int column = 0;
    int i = 0;
    auto crlfAt = [&](int pos) {
        return pos + 1 < size && data[pos] == '\r' && data[pos + 1] == '\n';
    };
    while (i < size) {
        unsigned char b = data[i];
        if (column == 0 && b == '.') {
            // A line starting with a full stop could end an SMTP message.
            out.appendN("=2E", 3);
            column = 3;
            ++i;
        } else if (column == 0 && b == 'F' && i + 4 < size && data[i + 1] == 'r' &&
                   data[i + 2] == 'o' && data[i + 3] == 'm' && data[i + 4] == ' ') {
            // "From " at a line start is mangled by mbox readers.
            out.appendN("=46", 3);
            column = 3;
            ++i;
        } else if ((b >= 33 && b <= 60) || (b >= 62 && b <= 126)) {
            out.appendChar(static_cast<char>(b));
            ++column;
            ++i;
        } else if (b == ' ' || b == '\t') {
            // Trailing white space would be stripped in transit, so it is escaped.
            if (i == size - 1 || crlfAt(i + 1)) {
                appendHexEscape(out, b);
                column += 3;
            } else {
                out.appendChar(static_cast<char>(b));
                ++column;
            }
            ++i;
        } else if (crlfAt(i)) {
            out.appendN("\r\n", 2);
            column = 0;
            i += 2;
        } else {
            appendHexEscape(out, b);
            column += 3;
            ++i;
        }
        if (column >= maxLineLength && !crlfAt(i)) {
            out.appendN("=\r\n", 3);
            column = 0;
        }
    }
}
