#pragma once
// A caller's charset name resolved to a Windows code page and its canonical name.
#include "text/StringBuffer.h"

class Charset {
public:
    Charset() = default;
    virtual ~Charset() = default;

    void setByName(const char* name);
    void setByCodePage(int codePage);
    int getCodePage() const { return codePage_; }
    const char* getName() const { return name_.getString(); }
    void clear();

private:
    StringBuffer name_;
    int codePage_ = 0;
};

// Code page for a charset name (trimmed, lower-cased, '_' read as '-'); 0 when unknown.
int charsetNameToCodePage(const char* name);
bool isKnownCharsetName(const char* name);
// Canonical name of a code page; false (out empty) when it has none.
bool codePageToCharsetName(int codePage, StringBuffer& out);
