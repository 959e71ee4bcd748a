// The library's entry point and its four exports (named without decoration by QuenlixCsv.def).
#include "com/ComModule.h"
#include "com/Registrar.h"
#include "platform/Platform.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        ComModule::attach(instance);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        // reserved is non-null when the process is ending rather than FreeLibrary unloading us.
        ComModule::detach(reserved != nullptr);
        // Unloaded while the process goes on: the freed blocks kept for reuse go back too.
        if (!reserved) platform::releaseFreedLargeBlocks();
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
    return ComModule::getClassObject(clsid, iid, out);
}

STDAPI DllCanUnloadNow() {
    return ComModule::lockCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    return Registrar::registerServer();
}

STDAPI DllUnregisterServer() {
    return Registrar::unregisterServer();
}
