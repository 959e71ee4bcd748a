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
};
