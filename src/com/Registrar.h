#pragma once
// Self-registration: runs the registration script (resource REGISTRY 102, format in
// com/RegScript.h) against HKEY_CLASSES_ROOT and registers the type library carried in the
// library (resource TYPELIB 1).
#include <windows.h>

class Registrar {
public:
    // Writes every entry of the script in order, then registers the type library. S_OK, or the
    // code of the first step that failed (later steps are not attempted).
    static HRESULT registerServer();
    // Removes the script's entries in reverse order, then unregisters the type library when the
    // system offers UnRegisterTypeLib. Missing entries are no error; always S_OK.
    static HRESULT unregisterServer();
};
