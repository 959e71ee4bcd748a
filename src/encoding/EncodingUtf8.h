#pragma once
// The UTF-8 coder. It works on 16-bit units only: four-byte sequences (characters beyond U+FFFF)
// are rejected when decoding, and a surrogate unit is encoded on its own as a three-byte
// sequence. Overlong forms are rejected; encoded surrogates (ED A0 80 to ED BF BF) are accepted.
//
// The coder has no state, so the one process-wide instance is shared by all threads.
#include "encoding/EncodingBase.h"

class EncodingUtf8 : public EncodingBase {
public:
    // The process-wide instance.
    static const EncodingUtf8& instance();

    int decodeChar(ConvertState& state, const unsigned char* bytes, int available,
                   unsigned short* unit) const override;
    // Never fails: every 16-bit unit has a UTF-8 form.
    int encodeChar(ConvertState& state, unsigned short unit, DataBuffer& out) const override;
    bool isMultiByteRecoverable() const override { return true; }
};
