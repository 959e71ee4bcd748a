#pragma once
// State of the loaded library: its instance handle, the lock count that decides whether it may
// be unloaded, the class factory (made on first request) and the type information that serves
// dispatch calls (loaded on first use). One instance per process, set up by DllMain.
#include <windows.h>

#include <ole2.h>

class CsvClassFactory;

class ComModule {
public:
    // Process attach: records the instance handle and sets up the three critical sections.
    static void attach(HINSTANCE instance);
    // Process detach. On FreeLibrary (processExit false) the cached class factory and type
    // information are released; when the whole process ends other libraries may already be gone,
    // so nothing is called into them. The critical sections are deleted in both cases.
    static void detach(bool processExit);

    static HINSTANCE instance() { return instance_; }

    // Live objects and LockServer(TRUE) calls not yet undone.
    static void lock();
    static void unlock();
    static LONG lockCount();

    // The DllGetClassObject entry point.
    static HRESULT getClassObject(REFCLSID clsid, REFIID iid, void** out);

    // Type information of IQuenlixCsv, from the registered type library or, when it is not
    // registered, from the one in this library's resources: the dispatch half that clients see
    // through GetTypeInfo, or the vtable half whose Invoke calls the wrappers. The pointer stays
    // owned by the module (no reference is added). Fails with the loader's code.
    static HRESULT interfaceTypeInfo(bool vtableHalf, ITypeInfo** out);
    // Type information of the coclass, with a reference the caller releases.
    static HRESULT classTypeInfo(ITypeInfo** out);

    // Full path of this library; false when it does not fit into cap units.
    static bool modulePath(wchar_t* out, DWORD cap);

    // Serialises the creation of a control window. The control activates windowless (or, in a
    // container that refuses windowless objects, without any window, since it is invisible at
    // run time), so nothing takes this lock today; it is set up with the module so that a
    // windowed mode would not have to change the module's start and end.
    static CRITICAL_SECTION& windowCreationLock() { return windowLock_; }

private:
    static HINSTANCE instance_;
    static volatile LONG lockCount_;
    static CsvClassFactory* volatile factory_;
    static HRESULT loadTypeInfo();

    static ITypeInfo* dispatchInfo_;
    static ITypeInfo* vtableInfo_;
    static CRITICAL_SECTION factoryLock_;
    static CRITICAL_SECTION typeInfoLock_;
    static CRITICAL_SECTION windowLock_;
};
