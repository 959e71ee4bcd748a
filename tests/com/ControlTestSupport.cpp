#include "ControlTestSupport.h"

namespace comtest {

namespace {

template <class T> HRESULT give(T* p, void** out) {
    *out = p;
    p->AddRef();
    return S_OK;
}

} // namespace

// ---- TestFrame --------------------------------------------------------------------------------

TestFrame::~TestFrame() {
    if (active) active->Release();
}

HRESULT TestFrame::QueryInterface(REFIID iid, void** out) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleWindow) ||
        IsEqualIID(iid, IID_IOleInPlaceUIWindow) || IsEqualIID(iid, IID_IOleInPlaceFrame))
        return give(static_cast<IOleInPlaceFrame*>(this), out);
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT TestFrame::GetWindow(HWND* w) {
    *w = nullptr;
    return E_FAIL;
}

HRESULT TestFrame::SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) {
    record(object ? "SetActiveObject(object)" : "SetActiveObject(null)");
    if (object) object->AddRef();
    if (active) active->Release();
    active = object;
    return S_OK;
}

// ---- TestSite ---------------------------------------------------------------------------------

HRESULT TestSite::QueryInterface(REFIID iid, void** out) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite))
        return give(static_cast<IOleClientSite*>(this), out);
    const bool inPlace = kind >= InPlace &&
                         (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite));
    const bool ex = kind >= InPlaceEx && IsEqualIID(iid, IID_IOleInPlaceSiteEx);
    const bool wl = kind >= Windowless && IsEqualIID(iid, IID_IOleInPlaceSiteWindowless);
    if (inPlace || ex || wl) return give(static_cast<IOleInPlaceSiteWindowless*>(this), out);
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT TestSite::SaveObject() {
    record("SaveObject");
    return S_OK;
}

HRESULT TestSite::GetMoniker(DWORD, DWORD, IMoniker** m) {
    record("GetMoniker");
    *m = nullptr;
    return E_NOTIMPL;
}

HRESULT TestSite::GetContainer(IOleContainer** c) {
    *c = nullptr;
    return E_NOINTERFACE;
}

HRESULT TestSite::GetWindow(HWND* w) {
    *w = GetDesktopWindow();
    return S_OK;
}

HRESULT TestSite::CanInPlaceActivate() {
    record("CanInPlaceActivate");
    return allowInPlace ? S_OK : S_FALSE;
}

HRESULT TestSite::OnInPlaceActivate() {
    record("OnInPlaceActivate");
    return S_OK;
}

HRESULT TestSite::OnUIActivate() {
    record("OnUIActivate");
    return S_OK;
}

HRESULT TestSite::GetWindowContext(IOleInPlaceFrame** f, IOleInPlaceUIWindow** doc, LPRECT pos,
                                   LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
    record("GetWindowContext");
    *f = frame;
    if (frame) frame->AddRef();
    *doc = nullptr;
    *pos = windowPos;
    *clip = windowPos;
    info->fMDIApp = FALSE;
    info->hwndFrame = nullptr;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

HRESULT TestSite::OnUIDeactivate(BOOL) {
    record("OnUIDeactivate");
    return S_OK;
}

HRESULT TestSite::OnInPlaceDeactivate() {
    record("OnInPlaceDeactivate");
    return S_OK;
}

HRESULT TestSite::OnInPlaceActivateEx(BOOL* noRedraw, DWORD flags) {
    record(flags & ACTIVATE_WINDOWLESS ? "OnInPlaceActivateEx(windowless)"
                                       : "OnInPlaceActivateEx(0)");
    if (noRedraw) *noRedraw = FALSE;
    return S_OK;
}

HRESULT TestSite::OnInPlaceDeactivateEx(BOOL) {
    record("OnInPlaceDeactivateEx");
    return S_OK;
}

HRESULT TestSite::RequestUIActivate() {
    record("RequestUIActivate");
    return allowUi ? S_OK : S_FALSE;
}

HRESULT TestSite::CanWindowlessActivate() {
    record("CanWindowlessActivate");
    return allowWindowless ? S_OK : S_FALSE;
}

HRESULT TestSite::GetDC(LPCRECT, DWORD, HDC* dc) {
    record("GetDC");
    *dc = nullptr;
    return E_FAIL;
}

HRESULT TestSite::OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT* r) {
    *r = 0;
    return S_OK;
}

// ---- TestSink ---------------------------------------------------------------------------------

HRESULT TestSink::QueryInterface(REFIID iid, void** out) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IAdviseSink) ||
        IsEqualIID(iid, IID_IAdviseSinkEx))
        return give(static_cast<IAdviseSinkEx*>(this), out);
    *out = nullptr;
    return E_NOINTERFACE;
}

void TestSink::OnViewChange(DWORD aspect, LONG lindex) {
    ++viewChanges;
    record("OnViewChange(" + std::to_string(aspect) + "," + std::to_string(lindex) + ")");
}

} // namespace comtest
