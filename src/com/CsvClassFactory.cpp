#include "com/CsvClassFactory.h"

#include "com/ComModule.h"
#include "com/CsvComObject.h"
#include "platform/Memory.h"

HRESULT CsvClassFactory::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
        *out = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

// References to the factory do not count in the module's lock count: only live objects and
// LockServer do, so a client that keeps the factory between creations locks the server if it
// wants the library kept loaded (the factory itself lives until the library unloads).
ULONG CsvClassFactory::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

ULONG CsvClassFactory::Release() {
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0) qxDelete(this);
    return static_cast<ULONG>(n);
}

HRESULT CsvClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    // An outer object must take the inner object's own IUnknown, or it could not control it.
    if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    IUnknown* inner = CsvComObject::create(outer);
    if (!inner) return E_OUTOFMEMORY;
    HRESULT hr = inner->QueryInterface(iid, out);
    // Drops the creation reference; when the query failed this destroys the object again.
    inner->Release();
    return hr;
}

HRESULT CsvClassFactory::LockServer(BOOL lock) {
    if (lock)
        ComModule::lock();
    else
        ComModule::unlock();
    return S_OK;
}
