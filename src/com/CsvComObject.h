#pragma once
// The component object of coclass QuenlixCsv: one ClsCsv held by value behind the dual
// interface IQuenlixCsv, and the ActiveX control that a design surface shows as a small picture
// and that is invisible at run time. Every IQuenlixCsv member is a thin wrapper: input strings
// become local XStringCom values, the ClsCsv operation runs, and the result goes back as a new
// BSTR, 1 or 0 for a flag, or the integer itself; every member returns S_OK. The IDispatch half
// is served from the type library, so a late-bound call ends in the same wrapper as a vtable
// call.
//
// The control interfaces come from parts that share one ControlBase state (the client site,
// extent, advise sinks, in-place state); each part answers QueryInterface for the interfaces it
// implements. The object's interface table, in the order QueryInterface looks:
//   IQuenlixCsv, IDispatch                                          this class
//   IViewObjectEx, IViewObject2, IViewObject                        ControlView
//   IOleInPlaceObjectWindowless, IOleInPlaceObject, IOleWindow,
//   IOleInPlaceActiveObject                                         ControlInPlace
//   IOleControl, IOleObject                                         ControlOleObject
//   IPersistStreamInit, IPersist                                    ControlPersistence
//   ISpecifyPropertyPages, IQuickActivate                           ControlQuickActivate
//   IPersistStorage                                                 ControlPersistence
//   IDataObject                                                     ControlDataObject
//   IProvideClassInfo, IProvideClassInfo2                           this class
// No interface is answered by two parts, so asking the parts one after the other gives the same
// answers as the table.
//
// The object can be aggregated: its own (non-delegating) IUnknown is the nested Inner, which
// alone keeps the reference count; the interfaces it hands out delegate their IUnknown methods to
// the controlling unknown, which is the outer object when there is one and Inner otherwise.
#include "com/ControlBase.h"
#include "com/ControlDataObject.h"
#include "com/ControlInPlace.h"
#include "com/ControlOleObject.h"
#include "com/ControlPersistence.h"
#include "com/ControlQuickActivate.h"
#include "com/ControlView.h"
#include "com/QuenlixCsvIdl.h"
#include "csv/ClsCsv.h"

#include <ocidl.h>

class CsvComObject final : public IQuenlixCsv,
                           public ControlView,
                           public ControlInPlace,
                           public ControlOleObject,
                           public ControlPersistence,
                           public ControlQuickActivate,
                           public ControlDataObject,
                           public IProvideClassInfo2 {
public:
    // A new object, aggregated in outer when outer is not null. Returns its non-delegating
    // IUnknown holding one reference, or null when memory cannot be had.
    static IUnknown* create(IUnknown* outer);

    CsvComObject(const CsvComObject&) = delete;
    CsvComObject& operator=(const CsvComObject&) = delete;

    // IUnknown of every interface, delegating to the controlling unknown.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch, from the type library.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT numNames, LCID lcid,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                                     UINT* argErr) override;

    // IQuenlixCsv, in vtable order.
    HRESULT STDMETHODCALLTYPE get_LastErrorText(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE get_LastErrorXml(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE get_LastErrorHtml(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE SaveLastError(BSTR logFilename, LONG* success) override;
    HRESULT STDMETHODCALLTYPE get_Crlf(LONG* propVal) override;
    HRESULT STDMETHODCALLTYPE put_Crlf(LONG value) override;
    HRESULT STDMETHODCALLTYPE get_Delimiter(BSTR* propVal) override;
    HRESULT STDMETHODCALLTYPE put_Delimiter(BSTR value) override;
    HRESULT STDMETHODCALLTYPE get_HasColumnNames(LONG* propVal) override;
    HRESULT STDMETHODCALLTYPE put_HasColumnNames(LONG value) override;
    HRESULT STDMETHODCALLTYPE get_NumColumns(LONG* propVal) override;
    HRESULT STDMETHODCALLTYPE get_NumRows(LONG* propVal) override;
    HRESULT STDMETHODCALLTYPE GetCell(LONG row, LONG col, BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE GetColumnName(LONG index, BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE GetIndex(BSTR columnName, LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE GetNumCols(LONG row, LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE LoadFile(BSTR filename, LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE LoadFile2(BSTR filename, BSTR charset, LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE LoadFromString(BSTR csvData, LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE SaveFile(BSTR filename, LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE SaveFile2(BSTR filename, BSTR charset, LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE SaveToString(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE SetCell(LONG row, LONG col, BSTR content, LONG* pVal) override;
    HRESULT STDMETHODCALLTYPE SetColumnName(LONG index, BSTR columnName, LONG* pVal) override;

    // IProvideClassInfo2. There is no event interface, so GetGUID has no source IID to give:
    // asked for GUIDKIND_DEFAULT_SOURCE_DISP_IID it answers GUID_NULL with E_UNEXPECTED.
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** out) override;
    HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* out) override;

private:
    // The object's own IUnknown: answers for the object and owns its reference count.
    class Inner final : public IUnknown {
    public:
        explicit Inner(CsvComObject& owner) : owner_(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
        ULONG STDMETHODCALLTYPE AddRef() override;
        ULONG STDMETHODCALLTYPE Release() override;

    private:
        CsvComObject& owner_;
    };

    explicit CsvComObject(IUnknown* outer);
    ~CsvComObject();
    // The interface for iid other than IUnknown, in the table's order, or null.
    void* interfaceFor(REFIID iid);
    template <class T, class... Args> friend T* qxNew(Args&&... args);
    template <class T> friend void qxDelete(T*);

    Inner inner_;
    IUnknown* controlling_;
    volatile LONG refs_ = 1;
    // Constructed after the parts that keep a reference to it; they do not use it before.
    ControlBase control_;
    ClsCsv csv_;
};
