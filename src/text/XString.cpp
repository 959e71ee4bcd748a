#include "text/XString.h"

#include "encoding/EncodingConvert.h"
#include "platform/Platform.h"

#include <cstring>

// Design note. The three forms are caches of one text; the three "current" flags say which of
// them hold it. Setters make one form current (or all three for the empty text), getters add the
// form they produce, appends leave only the appended form current. Every conversion runs through
// a fresh EncodingConvert, with the ANSI code page read at that moment.
//
// Exactness records whether the text survives the trip to the ANSI code page. A lossy ANSI form
// (exactness 2) lacks the characters the converter could not map, so:
// - getUtf8 does not take it as its source while the UTF-16 form still holds the whole text;
// - appends and replaceChar change the text, so they reset exactness to "not yet known" (0),
//   except appendAnsi, after which the ANSI form alone is the text and is exact by definition.

namespace {
const uint16_t kEmptyUnicode[1] = {0};
const unsigned char kZeroUnit[2] = {0, 0};

const int kUtf16 = 1200;
const int kUtf8 = 65001;

bool convertBytes(int from, int to, const void* data, unsigned size, DataBuffer& out) {
    EncodingConvert converter;
    return converter.convert(from, to, static_cast<const unsigned char*>(data), size, out);
}

unsigned unitCount(const uint16_t* text) {
    unsigned n = 0;
    if (text) {
        while (text[n])
            ++n;
    }
    return n;
}
} // namespace

XString::XString() {
    ansi_.minimizeMemory();
    utf8_.minimizeMemory();
}

XString::~XString() = default;

// ---- the UTF-16 form -------------------------------------------------------------------------
// The form is the code units followed by a 2-byte zero terminator. An empty text may also be a
// buffer without any block (a new XString allocates nothing for it); both read as "no units".

namespace {
// Bytes of code units in the form, terminator not counted.
unsigned unicodeBytes(const DataBuffer& db) {
    unsigned size = db.getData() ? db.getSize() : 0;
    return size >= 2 ? size - 2 : 0;
}

// Replaces the form by unitBytes bytes of units and the terminator, in a block of exactly that
// size when a new one is needed (a conversion's output would otherwise keep its large reserve).
void setUnicodeForm(DataBuffer& db, const void* units, unsigned unitBytes) {
    db.clear();
    if (unitBytes) {
        db.ensureBuffer(unitBytes + 2);
        db.append(units, unitBytes);
    }
    if (unitBytes || db.getCapacity() >= 2) db.append(kZeroUnit, 2);
}
} // namespace

// ---- setters ---------------------------------------------------------------------------------

void XString::clear() {
    ansi_.clear();
    utf8_.clear();
    setUnicodeForm(unicode_, nullptr, 0);
    unicodeCurrent_ = ansiCurrent_ = utf8Current_ = true;
    exactness_ = 0;
}

void XString::setFromAnsi(const char* ansi) {
    if (!ansi || !*ansi) {
        clear();
        return;
    }
    ansi_.setString(ansi);
    ansi_.minimizeMemory();
    ansiCurrent_ = true;
    unicodeCurrent_ = utf8Current_ = false;
    exactness_ = 1;
}

namespace {
// A new UTF-8 block has at most half of XString::kSpareBytes of room beyond the text, so a kept
// string stays close to its size without a new block for every short text.
int blockFor(int length, int spare) {
    if (length > 0x7FFFFFFF - spare) return length + 1;
    const int room = length / 4 < spare / 2 ? length / 4 : spare / 2;
    return length + 1 + room;
}
} // namespace

void XString::setFromUtf8(const char* utf8) {
    if (!utf8 || !*utf8) {
        clear();
        return;
    }
    const char* block = utf8_.getString();
    if (utf8 >= block && utf8 < block + utf8_.getCapacity()) {
        // The text lies in the UTF-8 form itself: setString copies it out first.
        utf8_.setString(utf8);
        utf8_.minimizeMemory();
        utf8Only();
        return;
    }
    const size_t n = std::strlen(utf8);
    setFromUtf8N(utf8, n > 0x7FFFFFF0u ? 0x7FFFFFF0 : static_cast<int>(n));
}

// The text does not fit the UTF-8 block, or leaves too much of it unused: a block of its size,
// and never too small for overwrite's fixed move (a string that table cells are read into then
// takes them all the same way, however short they are).
void XString::setFromUtf8Block(const char* utf8, int n) {
    if (!utf8 || n <= 0) {
        clear();
        return;
    }
    utf8_.clear();
    const int kLeast = StringBuffer::kWideMove + 8;
    const int block = blockFor(n, kSpareBytes);
    if (!utf8_.setCapacity(block < kLeast ? kLeast : block) || !utf8_.overwrite(utf8, n))
        utf8_.appendN(utf8, n); // grows as usual, or leaves the form empty without memory
    utf8Only();
}

void XString::setFromUtf8Taking(StringBuffer& text) {
    // The text up to its first NUL, as setFromUtf8 would take it.
    const char* nul = static_cast<const char*>(
        std::memchr(text.getString(), 0, static_cast<size_t>(text.getSize())));
    if (nul || text.getSize() == 0) {
        setFromUtf8(text.getString());
        text.clear();
        return;
    }
    utf8_.clear();
    utf8_.swap(text);
    utf8Only();
}

void XString::setFromUnicode(const uint16_t* utf16) {
    if (!utf16 || !utf16[0]) {
        clear();
        return;
    }
    setUnicodeForm(unicode_, utf16, unitCount(utf16) * 2);
    unicodeCurrent_ = true;
    ansiCurrent_ = utf8Current_ = false;
    exactness_ = 0;
}

// ---- getters ---------------------------------------------------------------------------------

const uint16_t* XString::getUnicode() {
    if (!unicodeCurrent_) {
        DataBuffer converted;
        if (utf8Current_)
            convertBytes(kUtf8, kUtf16, utf8_.getString(), static_cast<unsigned>(utf8_.getSize()),
                         converted);
        else if (ansiCurrent_)
            convertBytes(platform::ansiCodePage(), kUtf16, ansi_.getString(),
                         static_cast<unsigned>(ansi_.getSize()), converted);
        else
            clear(); // no form holds the text: it becomes the empty string

        // An odd trailing byte cannot be a unit; it is left out.
        setUnicodeForm(unicode_, converted.getData(), converted.getSize() & ~1u);
        unicodeCurrent_ = true;
    }
    if (unicodeBytes(unicode_) == 0) return kEmptyUnicode;
    return reinterpret_cast<const uint16_t*>(unicode_.getData());
}

const char* XString::getAnsi() {
    if (ansiCurrent_) return ansi_.getString();
    const int acp = platform::ansiCodePage();
    bool exact = true;
    if (utf8Current_) {
        DataBuffer converted;
        exact = convertBytes(kUtf8, acp, utf8_.getString(), static_cast<unsigned>(utf8_.getSize()),
                             converted);
        ansi_.takeBytes(converted);
    } else if (unicodeCurrent_) {
        ansi_.clear();
        unsigned n = unicodeBytes(unicode_);
        // Without a single unit the text is empty, which is exact.
        if (n >= 2) {
            DataBuffer converted;
            exact = convertBytes(kUtf16, acp, unicode_.getData(), n, converted);
            ansi_.appendN(converted.getData(), static_cast<int>(converted.getSize()));
        }
        ansi_.minimizeMemory();
    } else {
        clear();
        return ansi_.getString();
    }
    exactness_ = exact ? 1 : 2;
    ansiCurrent_ = true;
    return ansi_.getString();
}

const char* XString::getUtf8() {
    if (utf8Current_) return utf8_.getString();
    // A lossy ANSI form is not the text; the UTF-16 form is, when it is still current.
    const bool ansiUsable = ansiCurrent_ && !(exactness_ == 2 && unicodeCurrent_);
    if (ansiUsable) {
        unsigned n = static_cast<unsigned>(ansi_.getSize());
        DataBuffer converted;
        converted.ensureBuffer(n + n / 16 + 4);
        convertBytes(platform::ansiCodePage(), kUtf8, ansi_.getString(), n, converted);
        utf8_.takeBytes(converted);
    } else if (unicodeCurrent_) {
        utf8_.clear();
        unsigned n = unicodeBytes(unicode_);
        if (n >= 2) {
            DataBuffer converted;
            convertBytes(kUtf16, kUtf8, unicode_.getData(), n, converted);
            utf8_.appendN(converted.getData(), static_cast<int>(converted.getSize()));
        }
        utf8_.minimizeMemory();
    } else {
        clear();
        return utf8_.getString();
    }
    utf8Current_ = true;
    return utf8_.getString();
}

int XString::getNumChars() {
    if (ansiCurrent_) return ansi_.getSize();
    getUnicode();
    return static_cast<int>(unicodeBytes(unicode_) / 2);
}

char XString::getAnsiCharAt(int i) {
    if (i < 0) return 0;
    getAnsi();
    char c = ansi_.charAt(i);
    if (exactness_ == 2) {
        // The lossy form has served this one read; it must not stand for the text later.
        ansi_.clear();
        ansiCurrent_ = false;
    }
    return c;
}

bool XString::isAnsiExact() {
    if (exactness_ == 1) return true;
    if (exactness_ == 2) return false;
    const int acp = platform::ansiCodePage();
    DataBuffer converted;
    bool exact = true;
    if (unicodeCurrent_) {
        unsigned n = unicodeBytes(unicode_);
        if (n >= 2) exact = convertBytes(kUtf16, acp, unicode_.getData(), n, converted);
    } else if (utf8Current_) {
        exact = convertBytes(kUtf8, acp, utf8_.getString(), static_cast<unsigned>(utf8_.getSize()),
                             converted);
    } else {
        return true; // only the ANSI form holds the text
    }
    ansi_.clear();
    ansi_.appendN(converted.getData(), static_cast<int>(converted.getSize()));
    ansiCurrent_ = true;
    if (exact) {
        exactness_ = 1;
        return true;
    }
    ansi_.clear();
    ansiCurrent_ = false;
    exactness_ = 2;
    return false;
}

// ---- appends and edits -----------------------------------------------------------------------

void XString::appendAnsi(const char* ansi) {
    getAnsi();
    ansi_.append(ansi);
    ansiCurrent_ = true;
    unicodeCurrent_ = utf8Current_ = false;
    exactness_ = 1;
}

void XString::appendUtf8(const char* utf8) {
    getUtf8();
    utf8_.append(utf8);
    utf8Only();
}

void XString::appendUnicode(const uint16_t* utf16) {
    getUnicode();
    unsigned have = unicodeBytes(unicode_);
    unsigned add = unitCount(utf16) * 2;
    unicode_.setDataSize(have); // drop the terminator
    if (add) unicode_.append(utf16, add);
    unicode_.append(kZeroUnit, 2);
    unicodeCurrent_ = true;
    ansiCurrent_ = utf8Current_ = false;
    exactness_ = 0;
}

void XString::appendX(XString& other) {
    if (&other == this) {
        // Appending a text to itself: take a copy first, the form grows under our feet.
        StringBuffer copy(getUtf8());
        appendUtf8(copy.getString());
        return;
    }
    if (other.utf8Current_)
        appendUtf8(other.utf8_.getString());
    else if (other.unicodeCurrent_)
        appendUnicode(other.getUnicode());
    else
        appendAnsi(other.ansi_.getString());
}

bool XString::beginsWithUtf8(const char* utf8) {
    getUtf8();
    return utf8_.beginsWith(utf8);
}

void XString::replaceChar(char from, char to) {
    // The two ANSI bytes become UTF-16 units together, through the same conversion as any text.
    const char pair[3] = {from, to, 0};
    XString units;
    units.setFromAnsi(pair);
    const uint16_t* u = units.getUnicode();
    uint16_t fromUnit = u[0];
    uint16_t toUnit = fromUnit ? u[1] : 0;

    getUnicode();
    if (fromUnit && toUnit) {
        unicode_.replaceChar16(fromUnit, toUnit);
        exactness_ = 0;
    }
    unicodeCurrent_ = true;
    ansiCurrent_ = utf8Current_ = false;
}
