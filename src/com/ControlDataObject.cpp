#include "com/ControlDataObject.h"

void* ControlDataObject::interfaceFor(REFIID iid) {
    return IsEqualIID(iid, IID_IDataObject) ? static_cast<IDataObject*>(this) : nullptr;
}

HRESULT ControlDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
    if (!format || !medium) return E_INVALIDARG;
    return DV_E_FORMATETC;
}

HRESULT ControlDataObject::GetDataHere(FORMATETC* format, STGMEDIUM* medium) {
    if (!format || !medium) return E_INVALIDARG;
    return DV_E_FORMATETC;
}

HRESULT ControlDataObject::QueryGetData(FORMATETC* format) {
    if (!format) return E_INVALIDARG;
    return DV_E_FORMATETC;
}

HRESULT ControlDataObject::GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) {
    if (!in || !out) return E_INVALIDARG;
    // No format is rendered differently for another device: each is its own canonical form.
    out->ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
}

HRESULT ControlDataObject::SetData(FORMATETC*, STGMEDIUM*, BOOL) {
    // The control takes no data; E_NOTIMPL tells a container that it does not accept any
    // (ownership of the medium stays with the caller).
    return E_NOTIMPL;
}

HRESULT ControlDataObject::EnumFormatEtc(DWORD, IEnumFORMATETC** formats) {
    if (!formats) return E_INVALIDARG;
    *formats = nullptr;
    // There is no format to list in either direction; containers take E_NOTIMPL as "none"
    // and draw the control through IViewObject.
    return E_NOTIMPL;
}

HRESULT ControlDataObject::DAdvise(FORMATETC* format, DWORD advf, IAdviseSink* sink,
                                   DWORD* cookie) {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    IDataAdviseHolder* holder = control_.dataAdviseHolder();
    return holder ? holder->Advise(this, format, advf, sink, cookie) : E_OUTOFMEMORY;
}

HRESULT ControlDataObject::DUnadvise(DWORD cookie) {
    IDataAdviseHolder* holder = control_.dataAdviseHolder();
    return holder ? holder->Unadvise(cookie) : OLE_E_NOCONNECTION;
}

HRESULT ControlDataObject::EnumDAdvise(IEnumSTATDATA** advises) {
    if (!advises) return E_POINTER;
    *advises = nullptr;
    IDataAdviseHolder* holder = control_.dataAdviseHolder();
    return holder ? holder->EnumAdvise(advises) : E_OUTOFMEMORY;
}
