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

// ---- the name tables, for listings ----

// How the conversion engine converts a code page.
enum class CodePageConversion {
    kNone,    // no conversion: the engine fails and produces nothing
    kTable,   // through a built-in mapping table
    kBuiltIn, // by code (UTF forms, ISO-2022 through their tables)
};

// The names that charsetNameToCodePage accepts ("ansi" aside), in byte order: name i and its code
// page; null (and *codePage 0) when i is out of range. codePage may be null.
int charsetNameCount();
const char* charsetNameAt(int i, int* codePage);
// The code pages that have a canonical name, in ascending order: entry i and its name.
int canonicalNameCount();
const char* canonicalNameAt(int i, int* codePage);
// How a code page that has a name is converted; kNone for code pages without one.
CodePageConversion codePageConversionKind(int codePage);
