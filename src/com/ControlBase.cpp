#include "com/ControlBase.h"

namespace {

template <class T> void releaseRef(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

// Stores p in slot with a reference of its own (AddRef first, in case p is already there).
template <class T> void assignRef(T*& slot, T* p) {
    if (p) p->AddRef();
    releaseRef(slot);
    slot = p;
}

} // namespace

ControlBase::ControlBase(IOleInPlaceActiveObject* activeObject)
    : activeObject_(activeObject), extent_(naturalExtent()) {}

ControlBase::~ControlBase() {
    // A container that follows the rules has deactivated the control and taken back its site
    // before the last release; these only guard against one that did not.
    releaseRef(document_);
    releaseRef(frame_);
    releaseRef(inPlaceSiteEx_);
    releaseRef(inPlaceSite_);
    releaseRef(viewSink_);
    releaseRef(dataAdvise_);
    releaseRef(oleAdvise_);
    releaseRef(site_);
}

void ControlBase::setSite(IOleClientSite* site) {
    assignRef(site_, site);
}

void ControlBase::changeExtent(const SIZEL& size) {
    if (size.cx == extent_.cx && size.cy == extent_.cy) return;
    extent_ = size;
    dirty_ = true;
    viewChanged();
}

void ControlBase::resetExtent(const SIZEL& size) {
    extent_ = size;
    dirty_ = false;
}

IOleAdviseHolder* ControlBase::oleAdviseHolder() {
    if (!oleAdvise_ && FAILED(CreateOleAdviseHolder(&oleAdvise_))) oleAdvise_ = nullptr;
    return oleAdvise_;
}

IDataAdviseHolder* ControlBase::dataAdviseHolder() {
    if (!dataAdvise_ && FAILED(CreateDataAdviseHolder(&dataAdvise_))) dataAdvise_ = nullptr;
    return dataAdvise_;
}

void ControlBase::setViewAdvise(DWORD aspects, DWORD advf, IAdviseSink* sink) {
    assignRef(viewSink_, sink);
    viewAspects_ = sink ? aspects : 0;
    viewAdvf_ = sink ? advf : 0;
    if (sink && (advf & ADVF_PRIMEFIRST)) viewChanged();
}

void ControlBase::viewAdvise(DWORD* aspects, DWORD* advf, IAdviseSink** sink) const {
    if (aspects) *aspects = viewAspects_;
    if (advf) *advf = viewAdvf_;
    if (sink) {
        *sink = viewSink_;
        if (viewSink_) viewSink_->AddRef();
    }
}

void ControlBase::viewChanged() {
    if (!viewSink_ || !(viewAspects_ & DVASPECT_CONTENT)) return;
    // Held across the call: the sink may call SetAdvise and replace itself.
    IAdviseSink* sink = viewSink_;
    sink->AddRef();
    const bool once = (viewAdvf_ & ADVF_ONLYONCE) != 0;
    sink->OnViewChange(DVASPECT_CONTENT, -1);
    if (once && viewSink_ == sink) setViewAdvise(0, 0, nullptr);
    sink->Release();
}

HRESULT ControlBase::activateInPlace(IOleClientSite* via, const RECT* pos) {
    if (pos) setPosition(*pos);
    if (inPlaceSite_) return S_OK;
    IOleClientSite* from = via ? via : site_;
    if (!from) return E_UNEXPECTED;
    IOleInPlaceSite* site = nullptr;
    HRESULT hr = from->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&site));
    if (FAILED(hr)) return hr;
    if (site->CanInPlaceActivate() != S_OK) {
        site->Release();
        return OLEOBJ_S_CANNOT_DOVERB_NOW;
    }
    // Windowless when the site hosts windowless objects; a site that only knows IOleInPlaceSite
    // gets the control activated without a window, which it never asks to see.
    IOleInPlaceSiteEx* siteEx = nullptr;
    bool windowless = false;
    IOleInPlaceSiteWindowless* wl = nullptr;
    if (SUCCEEDED(
            site->QueryInterface(IID_IOleInPlaceSiteWindowless, reinterpret_cast<void**>(&wl)))) {
        windowless = wl->CanWindowlessActivate() == S_OK;
        siteEx = wl;
    } else if (FAILED(site->QueryInterface(IID_IOleInPlaceSiteEx,
                                           reinterpret_cast<void**>(&siteEx)))) {
        siteEx = nullptr;
    }
    BOOL noRedraw = FALSE;
    hr = siteEx ? siteEx->OnInPlaceActivateEx(&noRedraw, windowless ? ACTIVATE_WINDOWLESS : 0)
                : site->OnInPlaceActivate();
    if (FAILED(hr)) {
        releaseRef(siteEx);
        site->Release();
        return hr;
    }
    inPlaceSite_ = site;
    inPlaceSiteEx_ = siteEx;
    windowless_ = windowless;
    return S_OK;
}

HRESULT ControlBase::activateUi(IOleClientSite* via, const RECT* pos) {
    HRESULT hr = activateInPlace(via, pos);
    if (hr != S_OK || uiActive_) return hr;
    // A windowless site decides whether an object may take the focus now.
    if (inPlaceSiteEx_ && inPlaceSiteEx_->RequestUIActivate() != S_OK)
        return OLEOBJ_S_CANNOT_DOVERB_NOW;
    hr = inPlaceSite_->OnUIActivate();
    if (FAILED(hr)) return hr;
    uiActive_ = true;

    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* document = nullptr;
    RECT posRect, clipRect;
    OLEINPLACEFRAMEINFO info = {};
    info.cb = sizeof info;
    if (SUCCEEDED(inPlaceSite_->GetWindowContext(&frame, &document, &posRect, &clipRect, &info))) {
        if (!pos && !hasPosition_) setPosition(posRect);
        // The control has no menus, tools or accelerators; the frame and document window only
        // learn who the active object is.
        if (frame) frame->SetActiveObject(activeObject_, nullptr);
        if (document) document->SetActiveObject(activeObject_, nullptr);
        frame_ = frame;
        document_ = document;
    }
    return S_OK;
}

HRESULT ControlBase::deactivateUi() {
    if (!uiActive_) return S_OK;
    uiActive_ = false;
    if (document_) document_->SetActiveObject(nullptr, nullptr);
    if (frame_) frame_->SetActiveObject(nullptr, nullptr);
    releaseRef(document_);
    releaseRef(frame_);
    inPlaceSite_->OnUIDeactivate(FALSE);
    return S_OK;
}

HRESULT ControlBase::deactivateInPlace() {
    if (!inPlaceSite_) return S_OK;
    deactivateUi();
    // Taken out of the state first: the site may call back (InPlaceDeactivate again, Close).
    IOleInPlaceSite* site = inPlaceSite_;
    IOleInPlaceSiteEx* siteEx = inPlaceSiteEx_;
    inPlaceSite_ = nullptr;
    inPlaceSiteEx_ = nullptr;
    windowless_ = false;
    if (siteEx)
        siteEx->OnInPlaceDeactivateEx(TRUE);
    else
        site->OnInPlaceDeactivate();
    releaseRef(siteEx);
    site->Release();
    return S_OK;
}

bool ControlBase::position(RECT* out) const {
    if (hasPosition_) *out = position_;
    return hasPosition_;
}

void ControlBase::setPosition(const RECT& pos) {
    position_ = pos;
    hasPosition_ = true;
}
