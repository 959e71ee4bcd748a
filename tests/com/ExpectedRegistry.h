#pragma once
// The registry entries a registration of QuenlixCsv.dll must leave under HKEY_CLASSES_ROOT,
// written out here from the component's published registration table (not read from its
// script), and the comparison of the live registry against them. Used by the in-process
// registration tests and by qx_com_regcheck, which the script runner calls after regsvr32.
#include <windows.h>

#include <string>
#include <vector>

namespace regcheck {

// Every difference between the registry and a registration of the DLL at modulePath: missing
// or extra keys and values under the four ProgID keys and the class key, wrong data, and a
// type library not registered to modulePath. Empty when the registry holds exactly the entries.
std::vector<std::string> registeredDifferences(const std::wstring& modulePath);

// What is still there although the DLL has been unregistered (the ProgID keys, the class key,
// the type library); also reports a missing CLSID key, which unregistering must leave alone.
std::vector<std::string> unregisteredLeftovers();

// The class identifier in registry form ("{...}").
std::wstring clsidString();

} // namespace regcheck
