// The CSV dialect: the four field scanners of StringBuffer on which the grid rests.
//
// Design note. Rows are kept as raw CSV text and read through these scanners only, so all four
// must agree on one reading of a line:
//   - a NUL byte ends the text; nothing after the first NUL is looked at;
//   - the tests run in a fixed order for each byte: escape pending (the byte is ordinary and
//     escape ends), backslash (escape begins), double quote (quoting flips), inside quotes (the
//     byte is ordinary), delimiter (the field ends), anything else (ordinary);
//   - only an unquoted, unescaped delimiter separates fields; a delimiter equal to the quote or
//     the backslash therefore never separates anything, and a NUL delimiter never matches;
//   - bytes are compared as unsigned values, so a delimiter of 0x80 or above works like any
//     other byte.
// split and countFields keep quotes and backslashes (split's pieces are raw lines); getNthField
// drops them and turns a doubled quote inside quotes into one quote; setNthField replaces raw
// text and never quotes (the grid quotes values before it calls in). When changing the order of
// the tests above, change it in all four functions and in the property test that drives them.
#include "platform/Memory.h"
#include "text/ExtPtrArray.h"
#include "text/StringBuffer.h"

#include <cstring>

namespace {

const unsigned char kQuote = '"';
const unsigned char kBackslash = '\\';

inline unsigned char byteAt(const char* text, int i) {
    return static_cast<unsigned char>(text[i]);
}

// Length of the text up to its first NUL.
int scanLength(const char* text, int length) {
    const void* nul = std::memchr(text, 0, static_cast<size_t>(length));
    return nul ? static_cast<int>(static_cast<const char*>(nul) - text) : length;
}

} // namespace

void StringBuffer::split(ExtPtrArray& out, char separator, bool quotes, bool backslash) const {
    checkMarker();
    if (length_ == 0) return;
    const unsigned char sep = static_cast<unsigned char>(separator);

    // Bytes are gathered in a small local chunk and appended to the piece a chunk at a time, so a
    // long line costs few appends.
    char chunk[255];
    int used = 0;
    StringBuffer* piece = qxNew<StringBuffer>();
    if (!piece) return;

    bool inQuotes = false;
    bool escaped = false;
    for (int p = 0;; ++p) {
        const unsigned char c = byteAt(data_, p);
        if (c == 0) break;
        bool ends = false;
        if (escaped)
            escaped = false;
        else if (backslash && c == kBackslash)
            escaped = true;
        else if (quotes && c == kQuote)
            inQuotes = !inQuotes;
        else if (!inQuotes && c == sep)
            ends = true;

        if (!ends) {
            if (used == static_cast<int>(sizeof chunk)) {
                piece->appendN(chunk, used);
                used = 0;
            }
            chunk[used++] = static_cast<char>(c);
            continue;
        }
        piece->appendN(chunk, used);
        used = 0;
        piece->minimizeMemory();
        if (!out.appendPtr(piece)) {
            qxDelete(piece);
            return;
        }
        piece = qxNew<StringBuffer>();
        if (!piece) return;
    }
    piece->appendN(chunk, used);
    piece->minimizeMemory();
    if (!out.appendPtr(piece)) qxDelete(piece);
}

int StringBuffer::countFields(char delimiter, bool quotes, bool backslash) const {
    checkMarker();
    if (length_ == 0) return 0;
    const unsigned char d = static_cast<unsigned char>(delimiter);
    int count = 0;
    bool inQuotes = false;
    bool escaped = false;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(data_); *p; ++p) {
        const unsigned char c = *p;
        if (escaped)
            escaped = false;
        else if (backslash && c == kBackslash)
            escaped = true;
        else if (quotes && c == kQuote)
            inQuotes = !inQuotes;
        else if (!inQuotes && c == d)
            ++count;
    }
    return count + 1;
}

void StringBuffer::getNthField(int index, char delimiter, bool quotes, bool backslash,
                               StringBuffer& out) const {
    checkMarker();
    if (&out == this) {
        StringBuffer copy(*this);
        copy.getNthField(index, delimiter, quotes, backslash, out);
        return;
    }
    out.clear();
    if (index < 0 || length_ == 0) return;
    const unsigned char d = static_cast<unsigned char>(delimiter);
    // The field is copied in segments: quotes and escaping backslashes end a segment and are
    // left out, so only the field's own characters reach out.
    int field = 0;
    int start = 0;
    bool inQuotes = false;
    bool escaped = false;
    int p = 0;
    for (;; ++p) {
        const unsigned char c = byteAt(data_, p);
        if (c == 0) break;
        if (escaped) {
            escaped = false;
        } else if (backslash && c == kBackslash) {
            escaped = true;
            if (field == index) {
                out.appendN(data_ + start, p - start);
                start = p + 1;
            }
        } else if (quotes && c == kQuote) {
            if (!inQuotes) {
                inQuotes = true;
            } else if (byteAt(data_, p + 1) == kQuote) {
                // A doubled quote inside quotes: the segment keeps the first, the second is
                // skipped, and quoting stays on.
                ++p;
            } else {
                inQuotes = false;
            }
            if (field == index) {
                out.appendN(data_ + start, p - start);
                start = p + 1;
            }
        } else if (!inQuotes && c == d) {
            if (field == index) {
                out.appendN(data_ + start, p - start);
                return;
            }
            if (++field == index) start = p + 1;
        }
    }
    if (field == index) out.appendN(data_ + start, p - start);
}

// Lines shorter than the field asked for are extended with delimiters. That includes an empty
// line: setting column n of it gives n delimiters followed by the value, so the value always
// lands in the column the caller named (the grid relies on this for new rows and for a
// column-name line that is still empty).
void StringBuffer::setNthField(int index, char delimiter, bool quotes, bool backslash,
                               const StringBuffer& value) {
    checkMarker();
    value.checkMarker();
    if (index < 0) return;
    if (&value == this) {
        StringBuffer copy(value);
        if (copy.length_ == length_) setNthField(index, delimiter, quotes, backslash, copy);
        return;
    }
    const unsigned char d = static_cast<unsigned char>(delimiter);
    // Bytes after a NUL are not part of the line; a rewritten line does not keep them.
    const int textEnd = scanLength(data_, length_);

    int delimiters = 0;
    int start = index == 0 ? 0 : -1;
    int end = -1;
    bool inQuotes = false;
    bool escaped = false;
    for (int p = 0; p < textEnd; ++p) {
        const unsigned char c = byteAt(data_, p);
        if (escaped)
            escaped = false;
        else if (backslash && c == kBackslash)
            escaped = true;
        else if (quotes && c == kQuote)
            inQuotes = !inQuotes;
        else if (!inQuotes && c == d) {
            if (start >= 0) {
                end = p;
                break;
            }
            if (++delimiters == index) start = p + 1;
        }
    }

    if (start < 0) {
        // The line has delimiters + 1 fields: pad up to the field, then append the value.
        const int pad = index - delimiters;
        const long long grow = static_cast<long long>(textEnd) + pad + value.length_ - length_;
        if (static_cast<long long>(length_) + grow > 0x7FFFFFF0LL) return;
        if (grow > 0 && !expectNumBytes(static_cast<int>(grow))) return;
        shorten(length_ - textEnd);
        appendCharN(delimiter, pad);
        appendN(value.data_, value.length_);
        return;
    }

    if (end < 0) end = textEnd;
    // The tail (from the end of the old field on) is saved, the text cut at the field start, and
    // value and tail appended. Short tails stay on the stack.
    const int tailLength = textEnd - end;
    const long long newLength = static_cast<long long>(start) + value.length_ + tailLength;
    if (newLength > 0x7FFFFFF0LL) return;
    char local[400];
    char* tail = local;
    if (tailLength > static_cast<int>(sizeof local)) {
        tail = static_cast<char*>(qxAlloc(static_cast<size_t>(tailLength)));
        if (!tail) return;
    }
    if (tailLength > 0) std::memcpy(tail, data_ + end, static_cast<size_t>(tailLength));
    // Make room first, so that the line is either rewritten completely or left as it was.
    if (newLength > length_ && !expectNumBytes(static_cast<int>(newLength - length_))) {
        if (tail != local) qxFree(tail);
        return;
    }
    shorten(length_ - start);
    appendN(value.data_, value.length_);
    appendN(tail, tailLength);
    if (tail != local) qxFree(tail);
}
