#pragma once
// Shared pieces of the component's client tests: the DLL loaded by path with its four exports,
// owned BSTRs and interface pointers, new objects through the class factory, and a scratch folder.
// The tests reach the component only as a client would: exports, vtable and IDispatch.
#include "com/QuenlixCsvIdl.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <ocidl.h>

#include <string>
#include <utility>

namespace comtest {

typedef HRESULT(STDAPICALLTYPE* NoArgFn)();

// The freshly built QuenlixCsv.dll, loaded once for the whole test program.
struct Dll {
    HMODULE module = nullptr;
    HRESULT(STDAPICALLTYPE* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
    NoArgFn canUnloadNow = nullptr, registerServer = nullptr, unregisterServer = nullptr;
    static Dll& get();
    static std::wstring path(); // Windows path of the DLL under test
};

// Owning interface pointer.
template <class T> class Ref {
public:
    Ref() = default;
    Ref(const Ref&) = delete;
    Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    ~Ref() { reset(); }
    Ref& operator=(Ref&& o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    void reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T** out() {
        reset();
        return &p_;
    }
    void** outVoid() { return reinterpret_cast<void**>(out()); }

private:
    T* p_ = nullptr;
};

// Owning BSTR. out() leaves a marker in place until the callee writes, so that a callee that
// stores nothing is told apart from one that stores a null BSTR.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const wchar_t* s) : b_(s ? SysAllocString(s) : nullptr) {}
    explicit Bstr(const std::wstring& s) : b_(SysAllocStringLen(s.data(), UINT(s.size()))) {}
    Bstr(const Bstr&) = delete;
    ~Bstr() { release(); }
    BSTR get() const { return b_; }
    BSTR* out() {
        release();
        b_ = marker();
        return &b_;
    }
    bool isNull() const { return !b_; }
    bool isUntouched() const { return b_ == marker(); }
    std::wstring str() const { return b_ ? std::wstring(b_, SysStringLen(b_)) : std::wstring(); }

private:
    static BSTR marker() {
        static BSTR m = SysAllocString(L"(untouched)");
        return m;
    }
    void release() {
        if (b_ != marker()) SysFreeString(b_);
        b_ = nullptr;
    }
    BSTR b_ = nullptr;
};

// A new object through DllGetClassObject and the class factory.
Ref<IQuenlixCsv> newCsv();

// The same object through another of its interfaces, which it must have.
template <class T> Ref<T> query(IUnknown* from, const IID& iid) {
    Ref<T> out;
    if (from) from->QueryInterface(iid, out.outVoid());
    if (!out.get()) ADD_FAILURE() << "the object does not answer for an interface it must have";
    return out;
}
template <class T> Ref<T> newControl(const IID& iid) {
    return query<T>(newCsv().get(), iid);
}

// An outer object for aggregation: counts its references and the queries it is asked.
struct Outer : IUnknown {
    LONG refs = 1;
    int queries = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        ++queries;
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

std::string narrow(const std::wstring& s); // UTF-8, for failure messages
std::wstring scratchDir();                 // this run's own folder, with a trailing backslash
std::string readFileBytes(const std::wstring& path);

} // namespace comtest
