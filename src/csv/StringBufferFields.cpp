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
// text and never quotes (the grid quotes values before it calls in).
//
// The byte-by-byte loops that define this reading are FieldScanner's reference* functions. The
// operations here get the same results faster: they jump from one byte that matters (delimiter,
// quote, backslash, NUL) to the next with FieldScanner::findAny, so plain text between those
// bytes is passed over a block at a time. The differential tests run random lines through both
// forms; when changing the order of the tests above, change it in both and in the property test.
#include "csv/FieldScanner.h"
#include "platform/Memory.h"
#include "text/ExtPtrArray.h"
#include "text/StringBuffer.h"

#include <cstring>

void StringBuffer::split(ExtPtrArray& out, char separator, bool quotes, bool backslash) const {
    checkMarker();
    if (length_ == 0) return;
    // Each piece is copied from a view onto its stretch of this text, so that it gets one block
    // of exactly its size (as minimizeMemory would leave it). The view borrows the text only for
    // the copies; it gets its own small block back before it is destroyed.
    StringBuffer view(static_cast<const char*>(nullptr));
    char* const ownBlock = view.data_;
    const int ownLength = view.length_;
    bool noMemory = false;
    auto addPiece = [&](int start, int end) {
        view.data_ = data_ + start;
        view.length_ = end - start;
        StringBuffer* piece = qxNew<StringBuffer>(static_cast<const StringBuffer&>(view));
        if (!piece) return false;
        if (piece->length_ != end - start || !out.appendPtr(piece)) {
            qxDelete(piece);
            return false;
        }
        return true;
    };
    int start = 0;
    const int end =
        FieldScanner::scanSeparators(data_, 0, length_, separator, quotes, backslash, [&](int p) {
            if (!addPiece(start, p)) {
                noMemory = true;
                return false;
            }
            start = p + 1;
            return true;
        });
    // Without memory the pieces made so far stay; otherwise the last piece, even when empty.
    if (!noMemory) addPiece(start, end);
    view.data_ = ownBlock;
    view.length_ = ownLength;
}

int StringBuffer::countFields(char delimiter, bool quotes, bool backslash) const {
    checkMarker();
    if (length_ == 0) return 0;
    int count = 0;
    FieldScanner::scanSeparators(data_, 0, length_, delimiter, quotes, backslash, [&](int) {
        ++count;
        return true;
    });
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
    FieldScanner::appendNthField(data_, length_, index, delimiter, quotes, backslash, out);
}

// Lines shorter than the field asked for are extended with delimiters. That includes an empty
// line: setting column n of it gives n delimiters followed by the value, so the value always
// lands in the column the caller named (the grid relies on this for new rows and for a
// column-name line that is still empty).
bool StringBuffer::setNthField(int index, char delimiter, bool quotes, bool backslash,
                               const StringBuffer& value) {
    checkMarker();
    value.checkMarker();
    if (index < 0) return false;
    if (&value == this) {
        StringBuffer copy(value);
        return copy.length_ == length_ && setNthField(index, delimiter, quotes, backslash, copy);
    }
    // Bytes after a NUL are not part of the line; a rewritten line does not keep them.
    const int textEnd = FieldScanner::textEnd(data_, length_);

    int delimiters = 0;
    int start = index == 0 ? 0 : -1;
    int end = -1;
    for (int p = 0;;) {
        const int q = FieldScanner::nextDelimiter(data_, p, textEnd, delimiter, quotes, backslash);
        if (q >= textEnd) break;
        if (start >= 0) {
            end = q;
            break;
        }
        if (++delimiters == index) start = q + 1;
        p = q + 1;
    }

    if (start < 0) {
        // The line has delimiters + 1 fields: pad up to the field, then append the value.
        const int pad = index - delimiters;
        const long long grow = static_cast<long long>(textEnd) + pad + value.length_ - length_;
        if (static_cast<long long>(length_) + grow > 0x7FFFFFF0LL) return false;
        if (grow > 0 && !expectNumBytes(static_cast<int>(grow))) return false;
        shorten(length_ - textEnd);
        appendCharN(delimiter, pad);
        appendN(value.data_, value.length_);
        return true;
    }

    if (end < 0) end = textEnd;
    // The tail (from the end of the old field on) is saved, the text cut at the field start, and
    // value and tail appended. Short tails stay on the stack.
    const int tailLength = textEnd - end;
    const long long newLength = static_cast<long long>(start) + value.length_ + tailLength;
    if (newLength > 0x7FFFFFF0LL) return false;
    char local[400];
    char* tail = local;
    if (tailLength > static_cast<int>(sizeof local)) {
        tail = static_cast<char*>(qxAlloc(static_cast<size_t>(tailLength)));
        if (!tail) return false;
    }
    if (tailLength > 0) std::memcpy(tail, data_ + end, static_cast<size_t>(tailLength));
    // Make room first, so that the line is either rewritten completely or left as it was.
    if (newLength > length_ && !expectNumBytes(static_cast<int>(newLength - length_))) {
        if (tail != local) qxFree(tail);
        return false;
    }
    shorten(length_ - start);
    appendN(value.data_, value.length_);
    appendN(tail, tailLength);
    if (tail != local) qxFree(tail);
    return true;
}
