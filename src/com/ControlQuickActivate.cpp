#include "com/ControlQuickActivate.h"

#include <cstddef>
#include <cstring>

void* ControlQuickActivate::interfaceFor(REFIID iid) {
    if (IsEqualIID(iid, IID_ISpecifyPropertyPages))
        return static_cast<ISpecifyPropertyPages*>(this);
    if (IsEqualIID(iid, IID_IQuickActivate)) return static_cast<IQuickActivate*>(this);
    return nullptr;
}

HRESULT ControlQuickActivate::GetPages(CAUUID* pages) {
    if (!pages) return E_POINTER;
    pages->cElems = 0;
    pages->pElems = nullptr;
    return S_OK;
}

HRESULT ControlQuickActivate::QuickActivate(QACONTAINER* container, QACONTROL* control) {
    if (!container || !control) return E_POINTER;
    // Containers built against older headers pass shorter structures; what is read and written
    // here must lie inside the sizes they give.
    const ULONG needContainer = offsetof(QACONTAINER, pAdviseSink) + sizeof(IAdviseSinkEx*);
    const ULONG needControl = offsetof(QACONTROL, dwViewStatus) + sizeof(DWORD);
    if (container->cbSize < needContainer || control->cbSize < needControl) return E_UNEXPECTED;

    // The control's answer: its status; no event or property-change connection (it has no
    // connection points, so the cookies are 0), no pointer-activation wishes.
    const ULONG cb = control->cbSize;
    const ULONG fill = cb < sizeof(QACONTROL) ? cb : ULONG(sizeof(QACONTROL));
    std::memset(reinterpret_cast<unsigned char*>(control) + sizeof(ULONG), 0, fill - sizeof(ULONG));
    control->dwMiscStatus = ControlBase::kMiscStatus;
    control->dwViewStatus = ControlBase::kViewStatus;

    // What the container would otherwise do in separate calls: SetClientSite, then
    // IOleObject::Advise and IViewObject::SetAdvise with its one sink.
    control_.setSite(container->pClientSite);
    if (IAdviseSink* sink = container->pAdviseSink) {
        DWORD cookie = 0;
        if (IOleAdviseHolder* holder = control_.oleAdviseHolder()) holder->Advise(sink, &cookie);
        control_.setViewAdvise(DVASPECT_CONTENT, 0, sink);
    }
    return S_OK;
}

HRESULT ControlQuickActivate::SetContentExtent(LPSIZEL size) {
    if (!size) return E_POINTER;
    control_.changeExtent(*size);
    return S_OK;
}

HRESULT ControlQuickActivate::GetContentExtent(LPSIZEL size) {
    if (!size) return E_POINTER;
    *size = control_.extent();
    return S_OK;
}
