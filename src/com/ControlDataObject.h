#pragma once
// The control as a data source: IDataObject. The control offers no data formats of its own (a
// container gets its picture through IViewObject), so every request for data is refused with
// DV_E_FORMATETC; what the interface is there for is the data advise connection a container
// sets up, kept in an advise holder of OLE's.
//
// One part of the component object: the IUnknown methods are the object's own (CsvComObject).
#include "com/ControlBase.h"

class ControlDataObject : public IDataObject {
public:
    explicit ControlDataObject(ControlBase& control) : control_(control) {}
    ControlDataObject(const ControlDataObject&) = delete;
    ControlDataObject& operator=(const ControlDataObject&) = delete;

    // The interface this part answers for iid (IDataObject), or null.
    void* interfaceFor(REFIID iid);

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override;
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* format, DWORD advf, IAdviseSink* sink,
                                      DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** advises) override;

protected:
    ~ControlDataObject() = default;

private:
    ControlBase& control_;
};
