#pragma once
// The registry entries a registration of QuenlixCsv.dll must leave under HKEY_CLASSES_ROOT,
// written out here from the component's published registration table (not read from its
// script), compared with the live registry. Used by the in-process registration test and by
// qx_com_regcheck, which the script runner calls after regsvr32.
#include <windows.h>

#include <string>
#include <vector>

namespace regcheck {

// The registry view a registration writes to: the 64-bit or the 32-bit one, as regsvr32 from
// System32 or SysWOW64 (that is, a 64-bit or a 32-bit process) sees HKEY_CLASSES_ROOT. A
// registration goes to the view of the process that runs it.
enum class View { Bits64 = 64, Bits32 = 32 };
constexpr View kOwnView = sizeof(void*) == 8 ? View::Bits64 : View::Bits32;

// Every missing, extra or different key and value under the four ProgID keys and the class key,
// and a type library not registered to modulePath. Empty when the registry is exactly right.
std::vector<std::string> registeredDifferences(const std::wstring& modulePath,
                                               View view = kOwnView);

// What is left in the view after unregistration (ProgID keys, class key, the type library's
// entry for the view's bitness), and a removed CLSID key, which unregistration must leave alone.
std::vector<std::string> unregisteredLeftovers(View view = kOwnView);

std::wstring clsidString(); // the class identifier in registry form ("{...}")

} // namespace regcheck
