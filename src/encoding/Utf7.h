#pragma once
// UTF-7 (RFC 2152) to and from UTF-16LE.
//
// The encoder writes directly only the letters, digits, the characters '(),-./:? and the four
// white-space bytes; everything else, the optional direct characters included, goes into base64
// runs, and every run is closed with '-'. "+" is written as "+-". A leading U+FEFF is dropped.
// The decoder accepts any conforming input, including runs closed implicitly by a non-base64
// byte; it never stops at bad input but reports it through its result.
#include "text/DataBuffer.h"

// Always true; an odd trailing byte of in is ignored.
bool utf16ToUtf7(const DataBuffer& in, DataBuffer& out);
// False when the input held a byte 0x80 or above, an empty run other than "+-", or a run whose
// leftover bits are not zero. in is not changed.
bool utf7ToUtf16(const DataBuffer& in, DataBuffer& out);
