#include "encoding/Korean.h"

#include "encoding/BlockWriter.h"

namespace {
const unsigned char ESC = 0x1B;
const unsigned char SO = 0x0E;
const unsigned char SI = 0x0F;
} // namespace

void Korean::iso2022krToEucKr(const unsigned char* data, unsigned size, DataBuffer& out) const {
    if (!data) return;
    BlockWriter w(out);
    bool shifted = false;
    unsigned i = 0;
    while (i < size) {
        unsigned char b = data[i];
        if (b == ESC) {
            if (size - i >= 4 && data[i + 1] == 0x24 && data[i + 2] == 0x29 &&
                data[i + 3] == 0x43) {
                shifted = false;
                i += 4;
            } else {
                ++i; // a lone ESC is dropped; what follows is read normally
            }
        } else if (b == SO) {
            shifted = true;
            ++i;
        } else if (b == SI) {
            shifted = false;
            ++i;
        } else if (shifted) {
            if (size - i < 2) break;
            w.put(static_cast<unsigned char>(b ^ 0x80),
                  static_cast<unsigned char>(data[i + 1] ^ 0x80));
            i += 2;
        } else {
            w.put(b);
            ++i;
        }
    }
    w.flush();
}

void Korean::eucKrToIso2022kr(const unsigned char* data, unsigned size, DataBuffer& out) const {
    if (!data || size == 0) return;
    BlockWriter w(out);
    w.put(ESC, 0x24, 0x29);
    w.put(0x43);
    bool shifted = false;
    unsigned i = 0;
    while (i < size) {
        unsigned char b = data[i];
        if (b < 0x80) {
            if (shifted) w.put(SI);
            shifted = false;
            w.put(b);
            ++i;
        } else {
            if (size - i < 2) break; // a lead byte without its trail byte is dropped
            if (!shifted) w.put(SO);
            shifted = true;
            w.put(static_cast<unsigned char>(b ^ 0x80),
                  static_cast<unsigned char>(data[i + 1] ^ 0x80));
            i += 2;
        }
    }
    w.flush();
}
