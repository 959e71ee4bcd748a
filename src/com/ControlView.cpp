#include "com/ControlView.h"

void* ControlView::interfaceFor(REFIID iid) {
    if (IsEqualIID(iid, IID_IViewObjectEx) || IsEqualIID(iid, IID_IViewObject2) ||
        IsEqualIID(iid, IID_IViewObject))
        return static_cast<IViewObjectEx*>(this);
    return nullptr;
}

void ControlView::drawPicture(HDC dc, const RECTL& bounds) {
    Rectangle(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
    const UINT previous = SetTextAlign(dc, TA_CENTER | TA_BASELINE);
    const int x = static_cast<int>((static_cast<LONGLONG>(bounds.left) + bounds.right) / 2);
    const int y = static_cast<int>((static_cast<LONGLONG>(bounds.top) + bounds.bottom) / 2);
    TextOutA(dc, x, y, "CSV", 3);
    if (GetObjectType(dc) == OBJ_METADC) {
        // A metafile being recorded has no alignment to report: SetTextAlign answered with a
        // flag, not the previous value. The picture leaves the alignment a played-back
        // metafile starts with (left, top, no current-position update).
        SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    } else if (previous != GDI_ERROR) {
        SetTextAlign(dc, previous);
    }
}

// ---- IViewObject ------------------------------------------------------------------------------

HRESULT ControlView::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds,
                          LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
    // The picture is the same for every part index and target device, and it is drawn at once,
    // so the continuation callback is never needed.
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!dc) return E_INVALIDARG;
    RECTL where;
    if (bounds) {
        where = *bounds;
    } else {
        // A windowless control that is active in place is drawn at its position rectangle; the
        // container passes no bounds then.
        RECT pos;
        if (!control_.inPlaceActive() || !control_.position(&pos)) return E_INVALIDARG;
        where = RECTL{pos.left, pos.top, pos.right, pos.bottom};
    }
    drawPicture(dc, where);
    return S_OK;
}

HRESULT ControlView::GetColorSet(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC,
                                 LOGPALETTE** colors) {
    if (!colors) return E_POINTER;
    *colors = nullptr;
    // S_FALSE: the picture asks for no particular colours (it uses the device context's own).
    return aspect == DVASPECT_CONTENT ? S_FALSE : DV_E_DVASPECT;
}

HRESULT ControlView::Freeze(DWORD aspect, LONG, void*, DWORD* cookie) {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    // The picture changes only with the bounds the container passes, so a frozen picture is the
    // live one and there is nothing to keep: any non-zero cookie does.
    *cookie = aspect;
    return S_OK;
}

HRESULT ControlView::Unfreeze(DWORD cookie) {
    return cookie == DVASPECT_CONTENT ? S_OK : OLE_E_NOCONNECTION;
}

HRESULT ControlView::SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* sink) {
    control_.setViewAdvise(aspects, advf, sink);
    return S_OK;
}

HRESULT ControlView::GetAdvise(DWORD* aspects, DWORD* advf, IAdviseSink** sink) {
    control_.viewAdvise(aspects, advf, sink);
    return S_OK;
}

// ---- IViewObject2 -----------------------------------------------------------------------------

HRESULT ControlView::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *size = control_.extent();
    return S_OK;
}

// ---- IViewObjectEx ----------------------------------------------------------------------------

HRESULT ControlView::GetRect(DWORD aspect, LPRECTL rect) {
    if (!rect) return E_POINTER;
    // HIMETRIC, relative to the object's origin. The whole picture may let the background show
    // through (see kViewStatus), so it is both the content and the transparent rectangle, and
    // there is no opaque one.
    if (aspect != DVASPECT_CONTENT && aspect != DVASPECT_TRANSPARENT) return DV_E_DVASPECT;
    const SIZEL size = control_.extent();
    *rect = RECTL{0, 0, size.cx, size.cy};
    return S_OK;
}

HRESULT ControlView::GetViewStatus(DWORD* status) {
    if (!status) return E_POINTER;
    *status = ControlBase::kViewStatus;
    return S_OK;
}

HRESULT ControlView::QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT where, LONG, DWORD* result) {
    if (!bounds || !result) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *result = PtInRect(bounds, where) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}

HRESULT ControlView::QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT where, LONG,
                                  DWORD* result) {
    if (!bounds || !where || !result) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    RECT common;
    *result = IntersectRect(&common, bounds, where) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}

HRESULT ControlView::GetNaturalExtent(DWORD aspect, LONG, DVTARGETDEVICE*, HDC, DVEXTENTINFO* info,
                                      LPSIZEL size) {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    // The picture fits any size, so a proposed size (integral mode) is taken as it is; asked
    // for the content's own size, the picture gives its natural one.
    if (info && info->dwExtentMode == DVEXTENT_INTEGRAL)
        *size = info->sizelProposed;
    else
        *size = ControlBase::naturalExtent();
    return S_OK;
}
