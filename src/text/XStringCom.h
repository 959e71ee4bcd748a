#pragma once
// XString that converts to and from automation strings (BSTR: length-prefixed UTF-16).
#include "platform/Bstr.h"
#include "text/XString.h"

class XStringCom : public XString {
public:
    XStringCom() = default;
    ~XStringCom() override = default;

    // A null or empty BSTR gives the empty string.
    void setFromBstr(const QxBstr b);
    // A new automation string that the caller owns; empty text gives an empty, non-null string.
    QxBstr getBstr();
    // The same as getBstr of an XStringCom set from the n UTF-8 bytes at utf8 (no NUL among
    // them), made without one.
    static QxBstr bstrFromUtf8(const char* utf8, int n);

private:
    // The new string made straight from UTF-8, or false (b unset) for a text whose conversion
    // takes the general way (a leading byte-order mark, which the conversion drops).
    static bool directBstr(const unsigned char* data, unsigned size, QxBstr& b);
};
