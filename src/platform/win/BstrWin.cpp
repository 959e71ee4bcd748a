// Automation strings on Windows: the system's own BSTR functions (oleaut32).
#include "platform/Bstr.h"

#include <cstring>
#include <windows.h>
// After <windows.h>, which it needs.
#include <oleauto.h>

static_assert(sizeof(QxBstrChar) == sizeof(OLECHAR), "automation string units are 16 bits");

namespace platform {

QxBstr sysAllocStringLen(const uint16_t* text, unsigned n) {
    BSTR b = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text), n);
    // Without a source the system leaves the units uninitialised; ours are zero.
    if (b && !text && n) std::memset(b, 0, static_cast<size_t>(n) * sizeof(OLECHAR));
    return b;
}

unsigned sysStringLen(const QxBstr b) {
    return b ? SysStringLen(b) : 0;
}

void sysFreeString(QxBstr b) {
    if (b) SysFreeString(b);
}

} // namespace platform
