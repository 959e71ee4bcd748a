#pragma once
// A small container for the control tests: a client site that can also be an in-place site
// (plain, Ex or windowless), and an advise sink. Each records the calls that matter, in
// order, and counts its references; they live on the test's stack, so a count back at 1 means
// the control let go of everything it held.
#include "ComTestSupport.h"

#include <string>

namespace comtest {

template <class Base> class Recorder : public Base {
public:
    LONG refs = 1;
    std::string log; // calls, each followed by one blank
    HRESULT record(const std::string& call, HRESULT hr = S_OK) {
        log += call + " ";
        return hr;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

class TestSite : public Recorder<IOleInPlaceSiteWindowless>, public IOleClientSite {
public:
    enum Kind { ClientOnly, InPlace, InPlaceEx, Windowless }; // which in-place interfaces it has
    Kind kind = Windowless;
    bool allowInPlace = true, allowWindowless = true, allowUi = true;
    RECT windowPos = {5, 6, 105, 56};

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite))
            *out = static_cast<IOleClientSite*>(this);
        else if (kind >= InPlace && IsEqualIID(iid, IID_IOleInPlaceSite))
            *out = static_cast<IOleInPlaceSite*>(this);
        else if (kind >= InPlaceEx && IsEqualIID(iid, IID_IOleInPlaceSiteEx))
            *out = static_cast<IOleInPlaceSiteEx*>(this);
        else if (kind >= Windowless && IsEqualIID(iid, IID_IOleInPlaceSiteWindowless))
            *out = static_cast<IOleInPlaceSiteWindowless*>(this);
        if (*out) ++refs;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return record("SaveObject"); }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** m) override {
        return *m = nullptr, E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** c) override {
        return *c = nullptr, E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* w) override { return *w = GetDesktopWindow(), S_OK; }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override {
        return record("CanInPlaceActivate", allowInPlace ? S_OK : S_FALSE);
    }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return record("OnInPlaceActivate"); }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return record("OnUIActivate"); }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** f, IOleInPlaceUIWindow** doc,
                                               LPRECT pos, LPRECT clip,
                                               LPOLEINPLACEFRAMEINFO info) override {
        *f = nullptr;
        *doc = nullptr;
        *pos = *clip = windowPos;
        *info = OLEINPLACEFRAMEINFO{sizeof *info, FALSE, nullptr, nullptr, 0};
        return record("GetWindowContext");
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return record("OnUIDeactivate"); }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override {
        return record("OnInPlaceDeactivate");
    }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceSiteEx
    HRESULT STDMETHODCALLTYPE OnInPlaceActivateEx(BOOL* noRedraw, DWORD flags) override {
        if (noRedraw) *noRedraw = FALSE;
        return record(flags & ACTIVATE_WINDOWLESS ? "OnInPlaceActivateEx(windowless)"
                                                  : "OnInPlaceActivateEx(0)");
    }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivateEx(BOOL) override {
        return record("OnInPlaceDeactivateEx");
    }
    HRESULT STDMETHODCALLTYPE RequestUIActivate() override {
        return record("RequestUIActivate", allowUi ? S_OK : S_FALSE);
    }

    // IOleInPlaceSiteWindowless
    HRESULT STDMETHODCALLTYPE CanWindowlessActivate() override {
        return record("CanWindowlessActivate", allowWindowless ? S_OK : S_FALSE);
    }
    HRESULT STDMETHODCALLTYPE GetCapture() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetCapture(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetFocus() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetFocus(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetDC(LPCRECT, DWORD, HDC* dc) override { return *dc = 0, E_FAIL; }
    HRESULT STDMETHODCALLTYPE ReleaseDC(HDC) override { return E_INVALIDARG; }
    HRESULT STDMETHODCALLTYPE InvalidateRect(LPCRECT, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE InvalidateRgn(HRGN, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ScrollRect(INT, INT, LPCRECT, LPCRECT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE AdjustRect(LPRECT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT* r) override {
        return *r = 0, S_OK;
    }
};

// Counts the notifications; records view changes with their aspect and part index.
class TestSink : public Recorder<IAdviseSinkEx> {
public:
    int viewChanges = 0, closes = 0, saves = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        const bool ok = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IAdviseSink);
        *out = ok ? this : nullptr;
        return ok ? (++refs, S_OK) : E_NOINTERFACE;
    }
    void STDMETHODCALLTYPE OnViewChange(DWORD aspect, LONG index) override {
        ++viewChanges;
        record("OnViewChange(" + std::to_string(aspect) + "," + std::to_string(index) + ")");
    }
    void STDMETHODCALLTYPE OnDataChange(FORMATETC*, STGMEDIUM*) override {}
    void STDMETHODCALLTYPE OnRename(IMoniker*) override {}
    void STDMETHODCALLTYPE OnSave() override { ++saves; }
    void STDMETHODCALLTYPE OnClose() override { ++closes; }
    void STDMETHODCALLTYPE OnViewStatusChange(DWORD) override {}
};

} // namespace comtest
