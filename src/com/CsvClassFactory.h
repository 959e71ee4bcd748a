#pragma once
// The class factory of coclass QuenlixCsv. The module keeps one reference from the first
// DllGetClassObject until the library is unloaded; every reference beyond that one (a client
// holding the factory) counts in the module's lock count, so the library is not unloaded under a
// client's pointer.
#include <windows.h>

#include <ole2.h>

class CsvClassFactory final : public IClassFactory {
public:
    CsvClassFactory() = default;
    CsvClassFactory(const CsvClassFactory&) = delete;
    CsvClassFactory& operator=(const CsvClassFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    ~CsvClassFactory() = default;
    template <class T> friend void qxDelete(T*);

    volatile LONG refs_ = 1; // the module's own reference
};
