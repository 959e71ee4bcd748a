#pragma once
// Shared pieces of the component's client tests, which reach it only as a client would (exports,
// vtable, IDispatch): the DLL loaded by path, owned BSTRs and interface pointers, new objects
// through the class factory, and a small container (a client site that can be an in-place site of
// each kind, and an advise sink) that records the calls that matter and counts its references.
#include "com/QuenlixCsvIdl.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <ocidl.h>

#include <string>
#include <utility>

namespace comtest {

// The freshly built QuenlixCsv.dll, loaded once for the whole test program.
struct Dll {
    HMODULE module = nullptr;
    HRESULT(STDAPICALLTYPE* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(STDAPICALLTYPE* canUnloadNow)() = nullptr;
    static Dll& get();
};

template <class T> class Ref { // owning interface pointer
public:
    Ref() = default;
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ~Ref() { reset(); }
    Ref& operator=(Ref&& o) noexcept { return std::swap(p_, o.p_), *this; }
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
    explicit Bstr(const wchar_t* s = nullptr) : b_(s ? SysAllocString(s) : nullptr) {}
    Bstr(const Bstr&) = delete;
    ~Bstr() { release(); }
    BSTR get() const { return b_; }
    BSTR* out() { return release(), b_ = marker(), &b_; }
    bool isNull() const { return !b_; }
    std::wstring str() const { return b_ ? std::wstring(b_, SysStringLen(b_)) : L""; }

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

Ref<IQuenlixCsv> newCsv(); // through DllGetClassObject and the class factory

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

#define QX_STUB(signature, result)                                                                 \
    HRESULT STDMETHODCALLTYPE signature override {                                                 \
        return result;                                                                             \
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

// Lives on the test's stack: a count back at 1 means the control let go of everything it held.
// log holds the calls, each followed by one blank.
class TestSite : public IOleInPlaceSiteWindowless, public IOleClientSite {
public:
    enum Kind { ClientOnly, InPlace, InPlaceEx, Windowless }; // the in-place interfaces it has
    Kind kind = Windowless;
    bool allowInPlace = true, allowWindowless = true, allowUi = true;
    LONG refs = 1;
    std::string log;
    RECT windowPos = {5, 6, 105, 56};

    HRESULT record(const char* call, HRESULT hr = S_OK) { return log += call, log += ' ', hr; }
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
    QX_STUB(SaveObject(), record("SaveObject"))
    QX_STUB(GetMoniker(DWORD, DWORD, IMoniker** m), (*m = nullptr, E_NOTIMPL))
    QX_STUB(GetContainer(IOleContainer** c), (*c = nullptr, E_NOINTERFACE))
    QX_STUB(ShowObject(), S_OK)
    QX_STUB(OnShowWindow(BOOL), S_OK)
    QX_STUB(RequestNewObjectLayout(), E_NOTIMPL)
    QX_STUB(GetWindow(HWND* w), (*w = GetDesktopWindow(), S_OK))
    QX_STUB(ContextSensitiveHelp(BOOL), S_OK)
    QX_STUB(CanInPlaceActivate(), record("CanInPlaceActivate", allowInPlace ? S_OK : S_FALSE))
    QX_STUB(OnInPlaceActivate(), record("OnInPlaceActivate"))
    QX_STUB(OnUIActivate(), record("OnUIActivate"))
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** f, IOleInPlaceUIWindow** doc,
                                               LPRECT pos, LPRECT clip,
                                               LPOLEINPLACEFRAMEINFO info) override {
        *f = nullptr;
        *doc = nullptr;
        *pos = *clip = windowPos;
        *info = OLEINPLACEFRAMEINFO{sizeof *info, FALSE, nullptr, nullptr, 0};
        return record("GetWindowContext");
    }
    QX_STUB(Scroll(SIZE), S_OK)
    QX_STUB(OnUIDeactivate(BOOL), record("OnUIDeactivate"))
    QX_STUB(OnInPlaceDeactivate(), record("OnInPlaceDeactivate"))
    QX_STUB(DiscardUndoState(), S_OK)
    QX_STUB(DeactivateAndUndo(), S_OK)
    QX_STUB(OnPosRectChange(LPCRECT), S_OK)
    HRESULT STDMETHODCALLTYPE OnInPlaceActivateEx(BOOL* noRedraw, DWORD flags) override {
        if (noRedraw) *noRedraw = FALSE;
        return record(flags & ACTIVATE_WINDOWLESS ? "ActivateEx(windowless)" : "ActivateEx(0)");
    }
    QX_STUB(OnInPlaceDeactivateEx(BOOL), record("DeactivateEx"))
    QX_STUB(RequestUIActivate(), record("RequestUIActivate", allowUi ? S_OK : S_FALSE))
    QX_STUB(CanWindowlessActivate(),
            record("CanWindowlessActivate", allowWindowless ? S_OK : S_FALSE))
    QX_STUB(GetCapture(), S_FALSE)
    QX_STUB(SetCapture(BOOL), S_OK)
    QX_STUB(GetFocus(), S_FALSE)
    QX_STUB(SetFocus(BOOL), S_OK)
    QX_STUB(GetDC(LPCRECT, DWORD, HDC* dc), (*dc = nullptr, E_FAIL))
    QX_STUB(ReleaseDC(HDC), E_INVALIDARG)
    QX_STUB(InvalidateRect(LPCRECT, BOOL), S_OK)
    QX_STUB(InvalidateRgn(HRGN, BOOL), S_OK)
    QX_STUB(ScrollRect(INT, INT, LPCRECT, LPCRECT), S_OK)
    QX_STUB(AdjustRect(LPRECT), S_OK)
    QX_STUB(OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT* r), (*r = 0, S_OK))
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
