#include "text/XStringCom.h"

#include "encoding/AsciiScan.h"
#include "encoding/FastConvert.h"

#include <cstring>

void XStringCom::setFromBstr(const QxBstr b) {
    clear();
    unsigned n = platform::sysStringLen(b);
    if (!b || n == 0 || n > (0xFFFFFFFFu - 2) / 2) return;
    // Every unit is copied, zeros inside the string included.
    unicode_.clear();
    unicode_.ensureBuffer(n * 2 + 2);
    unicode_.append(b, n * 2);
    const unsigned char zero[2] = {0, 0};
    unicode_.append(zero, 2);
    unicodeCurrent_ = true;
    ansiCurrent_ = utf8Current_ = false;
    exactness_ = 0;
}

// A text held only as UTF-8 (every cell read, every report) goes straight into the new string:
// ASCII widened in place, other text decoded once, without making the UTF-16 form (a block of
// its own and one more copy). Both ways give the same units.
bool XStringCom::directBstr(const unsigned char* data, unsigned size, QxBstr& b) {
    if (AsciiScan::asciiNonZeroPrefix(data, size) == size) {
        b = platform::sysAllocStringLen(nullptr, size);
        if (b) AsciiScan::widen(data, size, reinterpret_cast<unsigned char*>(b));
        return true;
    }
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) return false;
    if (std::memchr(data, 0, size)) return false;
    // A cell is mostly short: its units go through the stack rather than a block of their own,
    // which would cost an allocation and a release per cell read.
    const unsigned kOnStack = 512;
    if (size <= kOnStack) {
        uint16_t stack[kOnStack];
        const unsigned n =
            FastConvert::utf8ToUtf16Units(data, size, reinterpret_cast<unsigned char*>(stack));
        if (n == 0) return false; // nothing left: the general way decides
        b = platform::sysAllocStringLen(stack, n);
        return true;
    }
    DataBuffer units;
    FastConvert::utf8ToUtf16(data, size, units);
    if (!units.getData()) return false; // nothing left, or no memory: the general way decides
    b = platform::sysAllocStringLen(reinterpret_cast<const uint16_t*>(units.getData()),
                                    units.getSize() / 2);
    return true;
}

QxBstr XStringCom::bstrFromUtf8(const char* utf8, int n) {
    QxBstr b = nullptr;
    if (n >= 0 && directBstr(reinterpret_cast<const unsigned char*>(utf8), unsigned(n), b))
        return b;
    XStringCom s;
    s.setFromUtf8N(utf8, n);
    return s.getBstr();
}

QxBstr XStringCom::getBstr() {
    QxBstr b = nullptr;
    if (utf8Current_ && !unicodeCurrent_ &&
        directBstr(reinterpret_cast<const unsigned char*>(utf8_.getString()),
                   static_cast<unsigned>(utf8_.getSize()), b))
        return b;
    getUnicode();
    const unsigned char* data = unicode_.getData();
    unsigned size = data ? unicode_.getSize() : 0;
    unsigned n = size >= 2 ? size / 2 - 1 : 0;
    if (n == 0) return platform::sysAllocStringLen(nullptr, 0);
    return platform::sysAllocStringLen(reinterpret_cast<const uint16_t*>(data), n);
}
