#include "encoding/Japanese.h"

#include "encoding/BlockWriter.h"

namespace {

const unsigned char ESC = 0x1B;
const unsigned char CR = 0x0D;
const unsigned char LF = 0x0A;

// Full-width Shift_JIS pair of every half-width katakana 0xA1 to 0xDF, in byte order.
const unsigned char kKanaToShiftJis[63][2] = {
    {0x81, 0x42}, {0x81, 0x75}, {0x81, 0x76}, {0x81, 0x41}, {0x81, 0x45}, {0x83, 0x92},
    {0x83, 0x40}, {0x83, 0x42}, {0x83, 0x44}, {0x83, 0x46}, {0x83, 0x48}, {0x83, 0x83},
    {0x83, 0x85}, {0x83, 0x87}, {0x83, 0x62}, {0x81, 0x5B}, {0x83, 0x41}, {0x83, 0x43},
    {0x83, 0x45}, {0x83, 0x47}, {0x83, 0x49}, {0x83, 0x4A}, {0x83, 0x4C}, {0x83, 0x4E},
    {0x83, 0x50}, {0x83, 0x52}, {0x83, 0x54}, {0x83, 0x56}, {0x83, 0x58}, {0x83, 0x5A},
    {0x83, 0x5C}, {0x83, 0x5E}, {0x83, 0x60}, {0x83, 0x63}, {0x83, 0x65}, {0x83, 0x67},
    {0x83, 0x69}, {0x83, 0x6A}, {0x83, 0x6B}, {0x83, 0x6C}, {0x83, 0x6D}, {0x83, 0x6E},
    {0x83, 0x71}, {0x83, 0x74}, {0x83, 0x77}, {0x83, 0x7A}, {0x83, 0x7D}, {0x83, 0x7E},
    {0x83, 0x80}, {0x83, 0x81}, {0x83, 0x82}, {0x83, 0x84}, {0x83, 0x86}, {0x83, 0x88},
    {0x83, 0x89}, {0x83, 0x8A}, {0x83, 0x8B}, {0x83, 0x8C}, {0x83, 0x8D}, {0x83, 0x8F},
    {0x83, 0x93}, {0x81, 0x4A}, {0x81, 0x4B},
};

bool isLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF);
}

// Kana that take the voiced mark: u, ka to to, ha to ho.
bool takesVoicedMark(unsigned char k) {
    return k == 0xB3 || (k >= 0xB6 && k <= 0xC4) || (k >= 0xCA && k <= 0xCE);
}

} // namespace

void Japanese::shiftJisPairToJis(unsigned char s1, unsigned char s2, unsigned char jis[2]) {
    int j1 = ((s1 - (s1 < 0xA0 ? 0x70 : 0xB0)) << 1) - (s2 < 0x9F ? 1 : 0);
    int j2 = s2 >= 0x9F ? s2 - 0x7E : (s2 > 0x7F ? s2 - 0x20 : s2 - 0x1F);
    jis[0] = static_cast<unsigned char>(j1);
    jis[1] = static_cast<unsigned char>(j2);
}

int Japanese::halfwidthKanaToJis(const unsigned char* p, unsigned available, unsigned char jis[2]) {
    if (!p || available == 0 || p[0] < 0xA1 || p[0] > 0xDF) return 0;
    unsigned char kana = p[0];
    unsigned char s1 = kKanaToShiftJis[kana - 0xA1][0];
    unsigned char s2 = kKanaToShiftJis[kana - 0xA1][1];
    int used = 1;
    if (available >= 2 && p[1] == 0xDE && takesVoicedMark(kana)) {
        // The voiced form follows its plain form, except vu, which sits apart.
        if (s1 == 0x83 && s2 == 0x45)
            s2 = 0x94;
        else if ((s2 >= 0x4A && s2 <= 0x67) || (s2 >= 0x6E && s2 <= 0x7A))
            s2 = static_cast<unsigned char>(s2 + 1);
        used = 2;
    } else if (available >= 2 && p[1] == 0xDF && kana >= 0xCA && kana <= 0xCE) {
        if (s2 >= 0x6E && s2 <= 0x7A) s2 = static_cast<unsigned char>(s2 + 2);
        used = 2;
    }
    shiftJisPairToJis(s1, s2, jis);
    return used;
}

void Japanese::iso2022jpToShiftJis(const unsigned char* data, unsigned size,
                                   DataBuffer& out) const {
    if (!data) return;
    BlockWriter w(out);
    bool kanji = false, kana = false;
    unsigned i = 0;
    while (i < size) {
        unsigned char b = data[i++];
        if (b == ESC) {
            if (i >= size) break;
            unsigned char c = data[i++];
            if (c == 0x24) { // ESC $ x: a double-byte set
                if (i >= size) break;
                unsigned char d = data[i++];
                if (d == 0x40 || d == 0x42) {
                    kanji = true;
                    kana = false;
                }
            } else if (c == 0x28) { // ESC ( x: a single-byte set
                if (i >= size) break;
                unsigned char d = data[i++];
                if (d == 0x42 || d == 0x4A) {
                    kanji = kana = false;
                } else if (d == 0x49) {
                    kana = true;
                    kanji = false;
                }
            }
            continue;
        }
        if (b == CR || b == LF) {
            if (kanji) kanji = kana = false;
            w.put(b);
        } else if (kanji) {
            if (i >= size) break;
            unsigned char j1 = b, j2 = data[i++];
            int s1 = ((j1 + 1) >> 1) + (j1 < 0x5F ? 0x70 : 0xB0);
            int s2 = j2 + ((j1 & 1) == 0 ? 0x7E : (j2 > 0x5F ? 0x20 : 0x1F));
            w.put(static_cast<unsigned char>(s1), static_cast<unsigned char>(s2));
        } else if (kana) {
            w.put(static_cast<unsigned char>(b + 0x80));
        } else {
            w.put(b);
        }
    }
    w.flush();
}

void Japanese::shiftJisToIso2022jp(const unsigned char* data, unsigned size,
                                   DataBuffer& out) const {
    if (!data) return;
    BlockWriter w(out);
    bool kanji = false;
    auto enter = [&]() {
        if (!kanji) w.put(ESC, 0x24, 0x42);
        kanji = true;
    };
    auto leave = [&]() {
        if (kanji) w.put(ESC, 0x28, 0x42);
        kanji = false;
    };
    unsigned i = 0;
    while (i < size) {
        unsigned char s1 = data[i];
        if (s1 == CR || s1 == LF) {
            leave();
            w.put(s1);
            ++i;
        } else if (isLeadByte(s1)) {
            if (i + 1 >= size) break; // a lead byte without its trail byte is dropped
            unsigned char s2 = data[i + 1];
            if (s2 >= 0x40 && s2 <= 0xFC) {
                enter();
                unsigned char jis[2];
                shiftJisPairToJis(s1, s2, jis);
                w.put(jis[0], jis[1]);
            } else {
                w.put(s1, s2);
            }
            i += 2;
        } else if (s1 >= 0xA1 && s1 <= 0xDF) {
            unsigned char jis[2];
            int used = halfwidthKanaToJis(data + i, size - i, jis);
            enter();
            w.put(jis[0], jis[1]);
            i += static_cast<unsigned>(used);
        } else {
            leave();
            w.put(s1);
            ++i;
        }
    }
    leave();
    w.flush();
}
