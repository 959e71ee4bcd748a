#pragma once
// Automation strings: UTF-16 text preceded by its byte length (4 bytes) and followed by a zero
// unit, addressed by a pointer to the first unit. On Windows these are the system's BSTRs; on
// Linux the same layout is made here.
#include <cstdint>

#ifdef _WIN32
typedef wchar_t* QxBstr;
typedef wchar_t QxBstrChar;
#else
typedef uint16_t* QxBstr;
typedef uint16_t QxBstrChar;
#endif

namespace platform {
// A new string of n units copied from text (n units of zero when text is null); null when memory
// cannot be had.
QxBstr sysAllocStringLen(const uint16_t* text, unsigned n);
// Length in units; 0 for a null string.
unsigned sysStringLen(const QxBstr b);
void sysFreeString(QxBstr b);
} // namespace platform
