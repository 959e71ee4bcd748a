#include "com/ComModule.h"

#include "com/CsvClassFactory.h"
#include "com/QuenlixCsvIdl.h"
#include "platform/Memory.h"

HINSTANCE ComModule::instance_ = nullptr;
volatile LONG ComModule::lockCount_ = 0;
CsvClassFactory* volatile ComModule::factory_ = nullptr;
ITypeInfo* ComModule::dispatchInfo_ = nullptr;
ITypeInfo* ComModule::vtableInfo_ = nullptr;
CRITICAL_SECTION ComModule::factoryLock_;
CRITICAL_SECTION ComModule::typeInfoLock_;
CRITICAL_SECTION ComModule::windowLock_;

void ComModule::attach(HINSTANCE instance) {
    instance_ = instance;
    lockCount_ = 0;
    InitializeCriticalSection(&factoryLock_);
    InitializeCriticalSection(&typeInfoLock_);
    InitializeCriticalSection(&windowLock_);
}

void ComModule::detach(bool processExit) {
    if (!processExit) {
        if (factory_) factory_->Release();
        if (vtableInfo_) vtableInfo_->Release();
        if (dispatchInfo_) dispatchInfo_->Release();
    }
    factory_ = nullptr;
    vtableInfo_ = nullptr;
    dispatchInfo_ = nullptr;
    DeleteCriticalSection(&windowLock_);
    DeleteCriticalSection(&typeInfoLock_);
    DeleteCriticalSection(&factoryLock_);
}

void ComModule::lock() {
    InterlockedIncrement(&lockCount_);
}
void ComModule::unlock() {
    InterlockedDecrement(&lockCount_);
}
LONG ComModule::lockCount() {
    return InterlockedCompareExchange(&lockCount_, 0, 0);
}

HRESULT ComModule::getClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_QuenlixCsv)) return CLASS_E_CLASSNOTAVAILABLE;
    if (!factory_) {
        EnterCriticalSection(&factoryLock_);
        // Tested again: another thread may have made the factory while we waited.
        if (!factory_) factory_ = qxNew<CsvClassFactory>();
        LeaveCriticalSection(&factoryLock_);
        if (!factory_) return E_OUTOFMEMORY;
    }
    return factory_->QueryInterface(iid, out);
}

bool ComModule::modulePath(wchar_t* out, DWORD cap) {
    DWORD n = GetModuleFileNameW(instance_, out, cap);
    return n > 0 && n < cap;
}

HRESULT ComModule::loadTypeInfo() {
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadRegTypeLib(LIBID_QUENLIXCSVLib, 1, 0, LOCALE_NEUTRAL, &lib);
    if (FAILED(hr)) {
        // Not registered (or registered elsewhere and gone): our own resource serves as well.
        wchar_t path[MAX_PATH * 4];
        hr = modulePath(path, MAX_PATH * 4) ? LoadTypeLibEx(path, REGKIND_NONE, &lib)
                                            : HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
        if (FAILED(hr)) return hr;
    }
    ITypeInfo* dispatch = nullptr;
    hr = lib->GetTypeInfoOfGuid(IID_IQuenlixCsv, &dispatch);
    lib->Release();
    if (FAILED(hr)) return hr;
    // For a dual interface the library hands out the dispatch half; the vtable half is the one
    // it refers to as implemented type -1.
    HREFTYPE ref = 0;
    ITypeInfo* vtable = nullptr;
    hr = dispatch->GetRefTypeOfImplType(-1, &ref);
    if (SUCCEEDED(hr)) hr = dispatch->GetRefTypeInfo(ref, &vtable);
    if (FAILED(hr)) {
        dispatch->Release();
        return hr;
    }
    dispatchInfo_ = dispatch;
    vtableInfo_ = vtable;
    return S_OK;
}

HRESULT ComModule::interfaceTypeInfo(bool vtableHalf, ITypeInfo** out) {
    EnterCriticalSection(&typeInfoLock_);
    HRESULT hr = vtableInfo_ ? S_OK : loadTypeInfo();
    *out = vtableHalf ? vtableInfo_ : dispatchInfo_;
    LeaveCriticalSection(&typeInfoLock_);
    return hr;
}

HRESULT ComModule::classTypeInfo(ITypeInfo** out) {
    *out = nullptr;
    ITypeInfo* info = nullptr;
    HRESULT hr = interfaceTypeInfo(false, &info);
    if (FAILED(hr)) return hr;
    ITypeLib* lib = nullptr;
    UINT index = 0;
    hr = info->GetContainingTypeLib(&lib, &index);
    if (FAILED(hr)) return hr;
    hr = lib->GetTypeInfoOfGuid(CLSID_QuenlixCsv, out);
    lib->Release();
    return hr;
}
