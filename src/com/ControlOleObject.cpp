#include "com/ControlOleObject.h"

#include "com/QuenlixCsvIdl.h"

void* ControlOleObject::interfaceFor(REFIID iid) {
    if (IsEqualIID(iid, IID_IOleControl)) return static_cast<IOleControl*>(this);
    if (IsEqualIID(iid, IID_IOleObject)) return static_cast<IOleObject*>(this);
    return nullptr;
}

// ---- IOleObject: site, names, monikers --------------------------------------------------------

HRESULT ControlOleObject::SetClientSite(IOleClientSite* site) {
    control_.setSite(site);
    return S_OK;
}

HRESULT ControlOleObject::GetClientSite(IOleClientSite** site) {
    if (!site) return E_POINTER;
    *site = control_.site();
    if (*site) (*site)->AddRef();
    return S_OK;
}

HRESULT ControlOleObject::SetHostNames(LPCOLESTR, LPCOLESTR) {
    // The names title an object's own editing window; the control never opens one.
    return S_OK;
}

HRESULT ControlOleObject::Close(DWORD saveOption) {
    // The control has no user interface of its own to ask from, so "prompt, then save" saves
    // whenever there is something to save, as "save if dirty" does.
    const bool save = saveOption == OLECLOSE_SAVEIFDIRTY || saveOption == OLECLOSE_PROMPTSAVE;
    if (save && control_.dirty() && control_.site()) {
        HRESULT hr = control_.site()->SaveObject();
        if (FAILED(hr)) return hr;
    }
    control_.deactivateInPlace();
    if (IOleAdviseHolder* holder = control_.oleAdviseHolder()) holder->SendOnClose();
    return S_OK;
}

HRESULT ControlOleObject::SetMoniker(DWORD, IMoniker*) {
    // A notice only: nothing can be linked to inside the control (OLEMISC_CANTLINKINSIDE), so
    // it keeps no moniker; GetMoniker asks the site.
    return S_OK;
}

HRESULT ControlOleObject::GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) {
    if (!moniker) return E_POINTER;
    *moniker = nullptr;
    return control_.site() ? control_.site()->GetMoniker(assign, which, moniker) : E_UNEXPECTED;
}

HRESULT ControlOleObject::InitFromData(IDataObject*, BOOL, DWORD) {
    // The control takes no data of a pasted or dropped object: the container makes a new
    // object instead (it only uses this call as an offer).
    return E_NOTIMPL;
}

HRESULT ControlOleObject::GetClipboardData(DWORD, IDataObject** data) {
    if (!data) return E_POINTER;
    *data = nullptr;
    // No snapshot copy: containers then put the object itself (its IDataObject) on the
    // clipboard.
    return E_NOTIMPL;
}

// ---- IOleObject: verbs ------------------------------------------------------------------------

HRESULT ControlOleObject::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND,
                                 LPCRECT pos) {
    switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
        return control_.activateInPlace(activeSite, pos);
    case OLEIVERB_UIACTIVATE:
        return control_.activateUi(activeSite, pos);
    case OLEIVERB_HIDE:
        // Nothing is shown at run time; hiding ends the UI activation.
        return control_.deactivateUi();
    case OLEIVERB_DISCARDUNDOSTATE:
        return S_OK; // no undo state is kept
    default:
        break;
    }
    if (verb > 0) {
        // A verb of the object's own that it does not know runs as the primary verb.
        HRESULT hr = control_.activateInPlace(activeSite, pos);
        return FAILED(hr) ? hr : OLEOBJ_S_INVALIDVERB;
    }
    // OLEIVERB_OPEN (no window of its own to edit in), OLEIVERB_PROPERTIES (no property pages)
    // and any other negative verb: containers take E_NOTIMPL as "not offered" and leave the
    // command out or use their own property browser.
    return E_NOTIMPL;
}

HRESULT ControlOleObject::EnumVerbs(IEnumOLEVERB** verbs) {
    if (!verbs) return E_POINTER;
    // The registry lists the class's verbs; it has none, and the answer says so.
    return OleRegEnumVerbs(CLSID_QuenlixCsv, verbs);
}

HRESULT ControlOleObject::Update() {
    // The picture is drawn afresh every time; there is no cache to bring up to date.
    return S_OK;
}

HRESULT ControlOleObject::IsUpToDate() {
    return S_OK;
}

// ---- IOleObject: class, type, extent, status --------------------------------------------------

HRESULT ControlOleObject::GetUserClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_QuenlixCsv;
    return S_OK;
}

HRESULT ControlOleObject::GetUserType(DWORD form, LPOLESTR* userType) {
    if (!userType) return E_POINTER;
    *userType = nullptr;
    return OleRegGetUserType(CLSID_QuenlixCsv, form, userType);
}

HRESULT ControlOleObject::SetExtent(DWORD aspect, SIZEL* size) {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    control_.changeExtent(*size);
    return S_OK;
}

HRESULT ControlOleObject::GetExtent(DWORD aspect, SIZEL* size) {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *size = control_.extent();
    return S_OK;
}

HRESULT ControlOleObject::GetMiscStatus(DWORD aspect, DWORD* status) {
    if (!status) return E_POINTER;
    // Other aspects have no flags, as the registry's MiscStatus default "0" says.
    *status = aspect == DVASPECT_CONTENT ? ControlBase::kMiscStatus : 0;
    return S_OK;
}

HRESULT ControlOleObject::SetColorScheme(LOGPALETTE*) {
    // The picture is drawn with the container's own pen, brush and colours; a colour scheme
    // is only a suggestion, and containers go on when it is not taken.
    return E_NOTIMPL;
}

// ---- IOleObject: advise sinks -----------------------------------------------------------------

HRESULT ControlOleObject::Advise(IAdviseSink* sink, DWORD* cookie) {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    IOleAdviseHolder* holder = control_.oleAdviseHolder();
    return holder ? holder->Advise(sink, cookie) : E_OUTOFMEMORY;
}

HRESULT ControlOleObject::Unadvise(DWORD cookie) {
    IOleAdviseHolder* holder = control_.oleAdviseHolder();
    return holder ? holder->Unadvise(cookie) : OLE_E_NOCONNECTION;
}

HRESULT ControlOleObject::EnumAdvise(IEnumSTATDATA** advises) {
    if (!advises) return E_POINTER;
    *advises = nullptr;
    IOleAdviseHolder* holder = control_.oleAdviseHolder();
    return holder ? holder->EnumAdvise(advises) : E_OUTOFMEMORY;
}

// ---- IOleControl ------------------------------------------------------------------------------

HRESULT ControlOleObject::GetControlInfo(CONTROLINFO* info) {
    if (!info) return E_POINTER;
    // No mnemonics, and neither Enter nor Esc is taken from the container.
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

HRESULT ControlOleObject::OnMnemonic(MSG*) {
    return S_OK; // never called: GetControlInfo lists no mnemonics
}

HRESULT ControlOleObject::OnAmbientPropertyChange(DISPID) {
    return S_OK; // the picture reads no ambient property
}

HRESULT ControlOleObject::FreezeEvents(BOOL) {
    return S_OK; // the control fires no events
}
