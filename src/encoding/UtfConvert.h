#pragma once
// Converters between UTF-8 and UTF-32. Unlike the UTF-8 coder these handle characters beyond
// U+FFFF: UTF-32 values up to 0x1FFFFF become four-byte UTF-8 and four-byte UTF-8 becomes one
// UTF-32 value. No byte-order mark is read or written here.
#include "text/DataBuffer.h"

// Reads 32-bit little-endian values (a trailing 1 to 3 bytes are ignored) and writes each as
// UTF-8; values of 0x200000 and above become U+FFFD. False only when the input is non-empty but
// shorter than one value.
bool utf32leToUtf8(const DataBuffer& in, DataBuffer& out);

// UTF-8 to UTF-32 in either byte order. A sequence that is cut off or illegal (see isLegalUtf8)
// stops the conversion: the result is false and what was written so far stays.
bool utf8ToUtf32le(const DataBuffer& in, DataBuffer& out);
bool utf8ToUtf32be(const DataBuffer& in, DataBuffer& out);

// Whether the length bytes at p form a legal UTF-8 sequence of 1 to 4 bytes. Overlong forms and
// values above U+10FFFF are illegal; encoded surrogates are let through.
bool isLegalUtf8(const unsigned char* p, int length);
