#pragma once
// Shared pieces of the component's client tests, which reach it only as a client would: the DLL
// loaded by path, owned BSTRs and interface pointers, new objects through the class factory, and a
// small container (a site of each in-place kind, an advise sink) that logs calls and counts refs.
#include "com/QuenlixCsvIdl.h"
#include "platform/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <ocidl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace comtest {

// The freshly built QuenlixCsv.dll, loaded once for the whole test program (in its apartment).
struct Dll {
    HMODULE module = nullptr;
    HRESULT(STDAPICALLTYPE* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(STDAPICALLTYPE* canUnloadNow)() = nullptr;
    static Dll& get() {
        static Dll d = [] {
            std::wstring path = L"Z:" QX_COM_DLL_PATH; // Wine shows the Linux root as drive Z:
            std::replace(path.begin(), path.end(), L'/', L'\\');
            Dll d;
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); // one apartment, like a script host
            if (!(d.module = LoadLibraryW(path.c_str()))) {
                std::fprintf(stderr, "cannot load %ls (%lu)\n", path.c_str(), GetLastError());
                std::abort();
            }
            d.getClassObject = reinterpret_cast<decltype(d.getClassObject)>(
                reinterpret_cast<void*>(GetProcAddress(d.module, "DllGetClassObject")));
            d.canUnloadNow = reinterpret_cast<decltype(d.canUnloadNow)>(
                reinterpret_cast<void*>(GetProcAddress(d.module, "DllCanUnloadNow")));
            return d;
        }();
        return d;
    }
};

template <class T> class Ref { // owning interface pointer
public:
    Ref() = default;
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ~Ref() { reset(); }
    void reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T** out() { return reset(), &p_; }
    void** outVoid() { return reinterpret_cast<void**>(out()); }

private:
    T* p_ = nullptr;
};

// Owning BSTR. out() leaves a marker until the callee writes, so that a callee that stores nothing
// is told apart from one that stores a null BSTR (it reads as neither null nor empty).
class Bstr {
public:
    explicit Bstr(const wchar_t* s = nullptr) : b_(SysAllocString(s)) {}
    Bstr(const Bstr&) = delete;
    ~Bstr() { drop(); }
    BSTR get() const { return b_; }
    BSTR* out() { return drop(), b_ = kUntouched, &b_; }
    bool isNull() const { return !b_; }
    std::wstring str() const { return b_ ? std::wstring(b_, SysStringLen(b_)) : L""; }

private:
    inline static const BSTR kUntouched = SysAllocString(L"(untouched)");
    void drop() { SysFreeString(b_ == kUntouched ? nullptr : b_); }
    BSTR b_;
};

inline Ref<IClassFactory> factory() { // through DllGetClassObject
    Ref<IClassFactory> f;
    EXPECT_EQ(Dll::get().getClassObject(CLSID_QuenlixCsv, IID_IClassFactory, f.outVoid()), S_OK);
    return f;
}
inline Ref<IQuenlixCsv> newCsv() { // through the class factory
    Ref<IQuenlixCsv> obj;
    if (Ref<IClassFactory> f = factory(); f.get())
        f->CreateInstance(nullptr, IID_IQuenlixCsv, obj.outVoid());
    return obj;
}

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
        return ++queries, *out = nullptr, E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

#define QX_LOGGED(sig)                                                                             \
    HRESULT STDMETHODCALLTYPE sig override {                                                       \
        return record(#sig);                                                                       \
    }
#define QX_LOGGED4(a, b, c, d) QX_LOGGED(a) QX_LOGGED(b) QX_LOGGED(c) QX_LOGGED(d)

// Lives on the test's stack: a count back at 1 means the control let go of everything it held.
// Each call is logged by name, the names separated by blanks; a call named in refuse answers
// S_FALSE.
class TestSite : public IOleInPlaceSiteWindowless, public IOleClientSite {
public:
    enum Kind { ClientOnly, InPlace, InPlaceEx, Windowless }; // the in-place interfaces it has
    Kind kind = Windowless;
    std::string refuse, log;
    LONG refs = 1;

    HRESULT record(const char* call) {
        const std::string name(call, std::strcspn(call, "("));
        log += (log.empty() ? "" : " ") + name;
        return refuse.find(name) == std::string::npos ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite))
            *out = static_cast<IOleClientSite*>(this);
        else if ((kind >= InPlace && IsEqualIID(iid, IID_IOleInPlaceSite)) ||
                 (kind >= InPlaceEx && IsEqualIID(iid, IID_IOleInPlaceSiteEx)) ||
                 (kind >= Windowless && IsEqualIID(iid, IID_IOleInPlaceSiteWindowless)))
            *out = static_cast<IOleInPlaceSiteWindowless*>(this);
        return *out ? (++refs, S_OK) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivateEx(BOOL* noRedraw, DWORD flags) override {
        if (noRedraw) *noRedraw = FALSE;
        return record(flags & ACTIVATE_WINDOWLESS ? "ActivateEx:windowless" : "ActivateEx:0");
    }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** f, IOleInPlaceUIWindow** doc,
                                               LPRECT pos, LPRECT clip,
                                               LPOLEINPLACEFRAMEINFO) override {
        *f = nullptr;
        *doc = nullptr;
        *pos = *clip = RECT{5, 6, 105, 56};
        return record("GetWindowContext");
    }
    // The rest only log their names: from GetMoniker on, the control has no reason to call them.
    QX_LOGGED4(SaveObject(), CanInPlaceActivate(), CanWindowlessActivate(), OnInPlaceActivate())
    QX_LOGGED4(RequestUIActivate(), OnUIActivate(), OnUIDeactivate(BOOL), OnInPlaceDeactivate())
    QX_LOGGED4(OnInPlaceDeactivateEx(BOOL), GetMoniker(DWORD, DWORD, IMoniker**),
               GetContainer(IOleContainer**), ShowObject())
    QX_LOGGED4(OnShowWindow(BOOL), RequestNewObjectLayout(), GetWindow(HWND*),
               ContextSensitiveHelp(BOOL))
    QX_LOGGED4(Scroll(SIZE), DiscardUndoState(), DeactivateAndUndo(), OnPosRectChange(LPCRECT))
    QX_LOGGED4(GetCapture(), SetCapture(BOOL), GetFocus(), SetFocus(BOOL))
    QX_LOGGED4(GetDC(LPCRECT, DWORD, HDC*), ReleaseDC(HDC), InvalidateRect(LPCRECT, BOOL),
               InvalidateRgn(HRGN, BOOL))
    QX_LOGGED(ScrollRect(INT, INT, LPCRECT, LPCRECT))
    QX_LOGGED(AdjustRect(LPRECT)) QX_LOGGED(OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT*))
};

// Counts the notifications.
class TestSink : public IAdviseSinkEx {
public:
    LONG refs = 1;
    int viewChanges = 0, closes = 0, saves = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        const bool ok = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IAdviseSink);
        *out = ok ? this : nullptr;
        return ok ? (++refs, S_OK) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    void STDMETHODCALLTYPE OnViewChange(DWORD, LONG) override { ++viewChanges; }
    void STDMETHODCALLTYPE OnDataChange(FORMATETC*, STGMEDIUM*) override {}
    void STDMETHODCALLTYPE OnRename(IMoniker*) override {}
    void STDMETHODCALLTYPE OnSave() override { ++saves; }
    void STDMETHODCALLTYPE OnClose() override { ++closes; }
    void STDMETHODCALLTYPE OnViewStatusChange(DWORD) override {}
};

} // namespace comtest
