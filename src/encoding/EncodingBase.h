#pragma once
// A coder for one encoding, working one UTF-16 unit at a time. The conversion loops of
// EncodingConvert drive it; the coder itself never allocates and never fails loudly.
//
// The base versions do nothing (0, 0 and false), so a coder overrides only what it supports.
// Coders keep no state of their own (that goes into the ConvertState of the conversion), so one
// instance may be shared by every thread.
#include "encoding/ConvertState.h"
#include "text/DataBuffer.h"

class EncodingBase {
public:
    // Results of decodeChar besides a byte count.
    static const int kInvalid = -1;   // the bytes at the front form no character
    static const int kTruncated = -2; // the input ends inside a character

    EncodingBase() = default;
    virtual ~EncodingBase() = default;

    // Decodes one character from the front of bytes (available bytes, at least 1) into *unit and
    // returns the number of bytes used, or kInvalid / kTruncated.
    virtual int decodeChar(ConvertState& /*state*/, const unsigned char* /*bytes*/,
                           int /*available*/, unsigned short* /*unit*/) const {
        return 0;
    }
    // Appends the encoding of unit to out and returns the number of bytes appended; -1 when the
    // unit cannot be encoded.
    virtual int encodeChar(ConvertState& /*state*/, unsigned short /*unit*/,
                           DataBuffer& /*out*/) const {
        return 0;
    }
    // Whether an undecodable sequence could be measured and skipped as a whole. The loops of this
    // system drop bad input byte by byte and do not ask.
    virtual bool isMultiByteRecoverable() const { return false; }
};
