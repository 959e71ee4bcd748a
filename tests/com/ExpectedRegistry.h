#pragma once
// The registry entries a registration of QuenlixCsv.dll must leave under HKEY_CLASSES_ROOT,
// written out here from the component's published registration table (not read from its
// script), compared with the live registry. Used by the in-process registration test and by
// qx_com_regcheck, which the script runner calls after regsvr32.
#include <windows.h>

#include <string>
#include <vector>

namespace regcheck {

// Every missing, extra or different key and value under the four ProgID keys and the class key,
// and a type library not registered to modulePath. Empty when the registry is exactly right.
std::vector<std::string> registeredDifferences(const std::wstring& modulePath);

// What is left after unregistration (ProgID keys, class key, type library), and a removed CLSID
// key, which unregistration must leave alone.
std::vector<std::string> unregisteredLeftovers();

std::wstring clsidString(); // the class identifier in registry form ("{...}")

} // namespace regcheck
