#pragma once
// A small container for the control tests: a client site that can also be an in-place site
// (plain, Ex or windowless), a frame, and an advise sink. Each records what the control called
// on it, in order, and counts its references, so that a test can see both what the control did
// and that it let go of everything it held. They live on the test's stack: a reference count
// back at 1 means the control released all its references.
#include "ComTestSupport.h"

#include <ocidl.h>

#include <string>

namespace comtest {

// A new control object, asked for interface T.
template <class T> Ref<T> newControl(const IID& iid) {
    Ref<IQuenlixCsv> csv = newCsv();
    Ref<T> out;
    if (csv.get()) csv->QueryInterface(iid, out.outVoid());
    return out;
}

// The same object through another of its interfaces (empty when it has no such interface).
template <class T> Ref<T> query(IUnknown* from, const IID& iid) {
    Ref<T> out;
    from->QueryInterface(iid, out.outVoid());
    return out;
}

// Base of the test objects: a reference count that never deletes, and a call log.
class Recorder {
public:
    LONG refs = 1;
    std::string log; // calls, each followed by one blank
    void record(const std::string& call) { log += call + " "; }
};

class TestFrame : public IOleInPlaceFrame, public Recorder {
public:
    IOleInPlaceActiveObject* active = nullptr; // the last active object given, with a reference
    ~TestFrame();
    HRESULT no() {
        record("menus");
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* w) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override {
        return INPLACE_E_NOTOOLSPACE;
    }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override {
        return INPLACE_E_NOTOOLSPACE;
    }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* object,
                                              LPCOLESTR name) override;
    // The control has no menus or status text to merge; none of these may be called.
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return no(); }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return no(); }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return no(); }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return no(); }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }
};

class TestSite : public IOleClientSite, public IOleInPlaceSiteWindowless, public Recorder {
public:
    // How much of a container the site is: which in-place interfaces QueryInterface gives.
    enum Kind { ClientOnly, InPlace, InPlaceEx, Windowless };
    Kind kind = Windowless;
    bool allowInPlace = true;    // CanInPlaceActivate
    bool allowWindowless = true; // CanWindowlessActivate
    bool allowUi = true;         // RequestUIActivate
    TestFrame* frame = nullptr;  // given by GetWindowContext (null: none)
    RECT windowPos = {5, 6, 105, 56};

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override;
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** m) override;
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** c) override;
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* w) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return S_OK; }

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override;
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override;
    HRESULT STDMETHODCALLTYPE OnUIActivate() override;
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                               LPRECT pos, LPRECT clip,
                                               LPOLEINPLACEFRAMEINFO info) override;
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL undoable) override;
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override;
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceSiteEx
    HRESULT STDMETHODCALLTYPE OnInPlaceActivateEx(BOOL* noRedraw, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivateEx(BOOL noRedraw) override;
    HRESULT STDMETHODCALLTYPE RequestUIActivate() override;

    // IOleInPlaceSiteWindowless
    HRESULT STDMETHODCALLTYPE CanWindowlessActivate() override;
    HRESULT STDMETHODCALLTYPE GetCapture() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetCapture(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetFocus() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetFocus(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetDC(LPCRECT, DWORD, HDC* dc) override;
    HRESULT STDMETHODCALLTYPE ReleaseDC(HDC) override { return E_INVALIDARG; }
    HRESULT STDMETHODCALLTYPE InvalidateRect(LPCRECT, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE InvalidateRgn(HRGN, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ScrollRect(INT, INT, LPCRECT, LPCRECT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE AdjustRect(LPRECT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT* r) override;
};

// Counts the notifications of each kind.
class TestSink : public IAdviseSinkEx, public Recorder {
public:
    int viewChanges = 0, closes = 0, saves = 0, dataChanges = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    void STDMETHODCALLTYPE OnDataChange(FORMATETC*, STGMEDIUM*) override { ++dataChanges; }
    void STDMETHODCALLTYPE OnViewChange(DWORD aspect, LONG lindex) override;
    void STDMETHODCALLTYPE OnRename(IMoniker*) override {}
    void STDMETHODCALLTYPE OnSave() override { ++saves; }
    void STDMETHODCALLTYPE OnClose() override { ++closes; }
    void STDMETHODCALLTYPE OnViewStatusChange(DWORD) override {}
};

} // namespace comtest
