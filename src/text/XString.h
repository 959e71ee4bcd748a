#pragma once
// One text held lazily in three forms: UTF-16LE (the platform's wide strings and the automation
// interface), ANSI (the system's ANSI code page, for the platform's narrow calls) and UTF-8 (the
// library's internal form). A form is produced only when asked for, from another current form in
// a fixed order, and kept until the text changes.
#include "text/DataBuffer.h"
#include "text/QuenlixObject.h"
#include "text/StringBuffer.h"

#include <cstddef>
#include <cstdint>

class XString : public QuenlixObject {
public:
    XString();
    ~XString() override;
    XString(const XString&) = delete;
    XString& operator=(const XString&) = delete;

    void clear();
    void setFromAnsi(const char* ansi);
    void setFromUtf8(const char* utf8);
    // The same for the n bytes at utf8, which hold no NUL and do not lie in this string's own
    // forms (a table cell). A short text that fits the UTF-8 block closely goes in without a call.
    void setFromUtf8N(const char* utf8, int n) {
        if (!setFromUtf8Quick(utf8, n)) setFromUtf8Block(utf8, n);
    }
    // The inline part of setFromUtf8N: false, with the string unchanged, when the text does not
    // go in without a call (it is empty, or does not fit the UTF-8 block closely). readable as
    // for StringBuffer::overwrite.
    bool setFromUtf8Quick(const char* utf8, int n, std::ptrdiff_t readable = 0) {
        if (!utf8 || n <= 0 || utf8_.getCapacity() - n > kSpareBytes + 1 ||
            !utf8_.overwrite(utf8, n, readable))
            return false;
        utf8Only();
        return true;
    }
    // The same for UTF-8 text made as it is copied (see StringBuffer::overwriteWith): false,
    // with the string unchanged, when it does not go in without a call.
    template <class W> bool setFromUtf8Written(int most, W&& write) {
        if (utf8_.getCapacity() - most > kSpareBytes + 1 ||
            !utf8_.overwriteWith(most, static_cast<W&&>(write)))
            return false;
        utf8Only();
        return true;
    }
    // setFromUtf8 of a whole text, which the string takes over instead of copying (text is
    // left empty): a saved table, megabytes long.
    void setFromUtf8Taking(StringBuffer& text);
    void setFromUnicode(const uint16_t* utf16);

    // UTF-16 units followed by a zero unit; never null.
    const uint16_t* getUnicode();
    const char* getAnsi();
    const char* getUtf8();
    // The UTF-8 buffer itself, without conversion: call getUtf8() first.
    StringBuffer& getUtf8Sb() { return utf8_; }
    int getNumChars();
    char getAnsiCharAt(int i);
    bool isAnsiExact();

    void appendAnsi(const char* ansi);
    void appendUtf8(const char* utf8);
    void appendUnicode(const uint16_t* utf16);
    void appendX(XString& other);
    bool beginsWithUtf8(const char* utf8);
    void replaceChar(char from, char to);

    // Inspection, for tests and for appendX.
    bool isUnicodeCurrent() const { return unicodeCurrent_; }
    bool isAnsiCurrent() const { return ansiCurrent_; }
    bool isUtf8Current() const { return utf8Current_; }
    int getExactness() const { return exactness_; }

private:
    // The UTF-8 form was just set: it alone is current.
    void utf8Only() {
        utf8Current_ = true;
        unicodeCurrent_ = ansiCurrent_ = false;
        exactness_ = 0;
    }

protected:
    // A string set again and again (a cell read into the same XString for every cell of a table)
    // keeps its UTF-8 block while the text fits with at most this many bytes to spare.
    static const int kSpareBytes = 64;
    void setFromUtf8Block(const char* utf8, int n);

    // 0 = not yet known, 1 = the text converts to ANSI without loss, 2 = it does not.
    int exactness_ = 0;
    bool unicodeCurrent_ = true;
    bool ansiCurrent_ = true;
    bool utf8Current_ = true;
    DataBuffer unicode_; // UTF-16LE units plus a 2-byte zero terminator (counted in its size)
    // Both start as small empty blocks: a new string is already at its minimal size, so making
    // one (the automation wrappers make several per call) costs no large block.
    StringBuffer ansi_{static_cast<const char*>(nullptr)};
    StringBuffer utf8_{static_cast<const char*>(nullptr)};
};
