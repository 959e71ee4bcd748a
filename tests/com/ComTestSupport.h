#pragma once
// Shared pieces of the component's client tests: the DLL loaded by path with its four exports,
// objects made through its class factory, owned BSTRs and interface pointers, and scratch files.
// The tests talk to the component only as any client would: exports, vtable and IDispatch.
#include "com/QuenlixCsvIdl.h"

#include <windows.h>

#include <string>

namespace comtest {

typedef HRESULT(STDAPICALLTYPE* GetClassObjectFn)(REFCLSID, REFIID, void**);
typedef HRESULT(STDAPICALLTYPE* NoArgFn)();

// The freshly built QuenlixCsv.dll, loaded once for the whole test program.
struct Dll {
    HMODULE module = nullptr;
    GetClassObjectFn getClassObject = nullptr;
    NoArgFn canUnloadNow = nullptr;
    NoArgFn registerServer = nullptr;
    NoArgFn unregisterServer = nullptr;

    static Dll& get();
    static std::wstring path(); // Windows path of the DLL under test (QX_COM_DLL overrides it)
};

// Owning interface pointer.
template <class T> class Ref {
  public:
    Ref() = default;
    explicit Ref(T* p) : p_(p) {}
    ~Ref() { reset(); }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    Ref& operator=(Ref&& o) noexcept {
        if (this != &o) {
            reset();
            p_ = o.p_;
            o.p_ = nullptr;
        }
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

// Owning BSTR; null() makes a null one.
class Bstr {
  public:
    Bstr() = default;
    explicit Bstr(const std::wstring& s) : b_(SysAllocStringLen(s.data(), UINT(s.size()))) {}
    ~Bstr() { release(); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    static Bstr null() { return Bstr(); }
    Bstr(Bstr&& o) noexcept : b_(o.b_) { o.b_ = nullptr; }
    BSTR get() const { return b_; }
    // For an out parameter. It holds a marker string until the callee overwrites it, so that a
    // callee that leaves it alone is told apart from one that stores a null BSTR.
    BSTR* out() {
        release();
        b_ = untouched();
        return &b_;
    }
    bool isNull() const { return b_ == nullptr; }
    bool isUntouched() const { return b_ == untouched(); }
    std::wstring str() const { return b_ ? std::wstring(b_, SysStringLen(b_)) : std::wstring(); }

  private:
    static BSTR untouched() {
        static BSTR marker = SysAllocString(L"(untouched)");
        return marker;
    }
    void release() {
        if (b_ != untouched()) SysFreeString(b_);
        b_ = nullptr;
    }
    BSTR b_ = nullptr;
};

// A new object through DllGetClassObject and the class factory.
Ref<IQuenlixCsv> newCsv();

// UTF-8 for failure messages.
std::string narrow(const std::wstring& s);

// A scratch folder of its own per test program run (under the temporary folder); returns its path
// with a trailing backslash.
std::wstring scratchDir();
std::string readFileBytes(const std::wstring& path);
bool writeFileBytes(const std::wstring& path, const std::string& bytes);

} // namespace comtest
