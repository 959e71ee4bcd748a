#include "text/XStringCom.h"

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

QxBstr XStringCom::getBstr() {
    getUnicode();
    const unsigned char* data = unicode_.getData();
    unsigned size = data ? unicode_.getSize() : 0;
    unsigned n = size >= 2 ? size / 2 - 1 : 0;
    if (n == 0) return platform::sysAllocStringLen(nullptr, 0);
    return platform::sysAllocStringLen(reinterpret_cast<const uint16_t*>(data), n);
}
