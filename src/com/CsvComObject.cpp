#include "com/CsvComObject.h"

#include "com/ComModule.h"
#include "platform/Memory.h"
#include "text/XStringCom.h"

// A vtable caller may pass a null pointer for an out parameter (a dispatch call always supplies
// one). We answer E_POINTER and do nothing rather than write through it; this is the only error
// HRESULT a wrapper returns.
#define QX_REQUIRE_OUT(p)                                                                          \
    do {                                                                                           \
        if (!(p)) return E_POINTER;                                                                \
    } while (0)

namespace {
// An input automation string as the document object takes it (step 1 of every wrapper).
struct InString : XStringCom {
    explicit InString(BSTR b) { setFromBstr(b); }
};

LONG flag(bool b) {
    return b ? 1 : 0;
}
} // namespace

IUnknown* CsvComObject::create(IUnknown* outer) {
    CsvComObject* obj = qxNew<CsvComObject>(outer);
    return obj ? &obj->inner_ : nullptr;
}

CsvComObject::CsvComObject(IUnknown* outer)
    : ControlView(control_), ControlInPlace(control_), ControlOleObject(control_),
      ControlPersistence(control_), ControlQuickActivate(control_), ControlDataObject(control_),
      inner_(*this), controlling_(outer ? outer : &inner_),
      control_(static_cast<IOleInPlaceActiveObject*>(this)) {
    ComModule::lock();
}

CsvComObject::~CsvComObject() {
    ComModule::unlock();
}

void* CsvComObject::interfaceFor(REFIID iid) {
    if (IsEqualIID(iid, IID_IQuenlixCsv) || IsEqualIID(iid, IID_IDispatch))
        return static_cast<IQuenlixCsv*>(this);
    void* p = ControlView::interfaceFor(iid);
    if (!p) p = ControlInPlace::interfaceFor(iid);
    if (!p) p = ControlOleObject::interfaceFor(iid);
    if (!p) p = ControlPersistence::interfaceFor(iid);
    if (!p) p = ControlQuickActivate::interfaceFor(iid);
    if (!p) p = ControlDataObject::interfaceFor(iid);
    if (!p && (IsEqualIID(iid, IID_IProvideClassInfo) || IsEqualIID(iid, IID_IProvideClassInfo2)))
        p = static_cast<IProvideClassInfo2*>(this);
    return p;
}

// ---- IUnknown ---------------------------------------------------------------------------------

HRESULT CsvComObject::Inner::QueryInterface(REFIID iid, void** out) {
    QX_REQUIRE_OUT(out);
    void* p =
        IsEqualIID(iid, IID_IUnknown) ? static_cast<IUnknown*>(this) : owner_.interfaceFor(iid);
    *out = p;
    if (!p) return E_NOINTERFACE;
    // Through the interface handed out, so that an aggregated object counts on its outer object.
    static_cast<IUnknown*>(p)->AddRef();
    return S_OK;
}

ULONG CsvComObject::Inner::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&owner_.refs_));
}

ULONG CsvComObject::Inner::Release() {
    LONG n = InterlockedDecrement(&owner_.refs_);
    if (n == 0) qxDelete(&owner_);
    return static_cast<ULONG>(n);
}

HRESULT CsvComObject::QueryInterface(REFIID iid, void** out) {
    return controlling_->QueryInterface(iid, out);
}
ULONG CsvComObject::AddRef() {
    return controlling_->AddRef();
}
ULONG CsvComObject::Release() {
    return controlling_->Release();
}

// ---- IDispatch --------------------------------------------------------------------------------

HRESULT CsvComObject::GetTypeInfoCount(UINT* count) {
    QX_REQUIRE_OUT(count);
    *count = 1;
    return S_OK;
}

HRESULT CsvComObject::GetTypeInfo(UINT index, LCID, ITypeInfo** out) {
    QX_REQUIRE_OUT(out);
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    ITypeInfo* info = nullptr;
    HRESULT hr = ComModule::interfaceTypeInfo(false, &info);
    if (FAILED(hr)) return hr;
    info->AddRef();
    *out = info;
    return S_OK;
}

HRESULT CsvComObject::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT numNames, LCID, DISPID* ids) {
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* info = nullptr;
    HRESULT hr = ComModule::interfaceTypeInfo(false, &info);
    if (FAILED(hr)) return hr;
    return info->GetIDsOfNames(names, numNames, ids);
}

HRESULT CsvComObject::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                             VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* info = nullptr;
    HRESULT hr = ComModule::interfaceTypeInfo(true, &info);
    if (FAILED(hr)) return hr;
    // The vtable half's Invoke converts the arguments and calls the wrapper below through the
    // vtable.
    return info->Invoke(static_cast<IQuenlixCsv*>(this), id, flags, params, result, excepInfo,
                        argErr);
}

// ---- IQuenlixCsv: last-error reports -----------------------------------------------------------

HRESULT CsvComObject::get_LastErrorText(BSTR* pVal) {
    QX_REQUIRE_OUT(pVal);
    XStringCom out;
    csv_.lastErrorText(out, true);
    *pVal = out.getBstr();
    return S_OK;
}

HRESULT CsvComObject::get_LastErrorXml(BSTR* pVal) {
    QX_REQUIRE_OUT(pVal);
    XStringCom out;
    csv_.lastErrorXml(out, true);
    *pVal = out.getBstr();
    return S_OK;
}

HRESULT CsvComObject::get_LastErrorHtml(BSTR* pVal) {
    QX_REQUIRE_OUT(pVal);
    XStringCom out;
    csv_.lastErrorHtml(out, true);
    *pVal = out.getBstr();
    return S_OK;
}

HRESULT CsvComObject::SaveLastError(BSTR logFilename, LONG* success) {
    QX_REQUIRE_OUT(success);
    InString path(logFilename);
    *success = flag(csv_.saveLastError(path));
    return S_OK;
}

// ---- IQuenlixCsv: properties -------------------------------------------------------------------

HRESULT CsvComObject::get_Crlf(LONG* propVal) {
    QX_REQUIRE_OUT(propVal);
    *propVal = flag(csv_.get_Crlf());
    return S_OK;
}

HRESULT CsvComObject::put_Crlf(LONG value) {
    csv_.put_Crlf(value != 0);
    return S_OK;
}

HRESULT CsvComObject::get_Delimiter(BSTR* propVal) {
    QX_REQUIRE_OUT(propVal);
    XStringCom out;
    csv_.get_Delimiter(out);
    *propVal = out.getBstr();
    return S_OK;
}

HRESULT CsvComObject::put_Delimiter(BSTR value) {
    InString in(value);
    csv_.put_Delimiter(in);
    return S_OK;
}

HRESULT CsvComObject::get_HasColumnNames(LONG* propVal) {
    QX_REQUIRE_OUT(propVal);
    *propVal = flag(csv_.get_HasColumnNames());
    return S_OK;
}

HRESULT CsvComObject::put_HasColumnNames(LONG value) {
    csv_.put_HasColumnNames(value != 0);
    return S_OK;
}

HRESULT CsvComObject::get_NumColumns(LONG* propVal) {
    QX_REQUIRE_OUT(propVal);
    *propVal = csv_.get_NumColumns();
    return S_OK;
}

HRESULT CsvComObject::get_NumRows(LONG* propVal) {
    QX_REQUIRE_OUT(propVal);
    *propVal = csv_.get_NumRows();
    return S_OK;
}

// ---- IQuenlixCsv: cells and column names -------------------------------------------------------

HRESULT CsvComObject::GetCell(LONG row, LONG col, BSTR* pVal) {
    QX_REQUIRE_OUT(pVal);
    // A row that does not exist gives a null BSTR, which callers can tell from an empty cell.
    // The cell's bytes are decoded straight into the new string, under the table's lock.
    *pVal = nullptr;
    csv_.readCell(
        row, col,
        [](void* out, const char* cell, int length) {
            *static_cast<BSTR*>(out) = XStringCom::bstrFromUtf8(cell, length);
        },
        pVal);
    return S_OK;
}

HRESULT CsvComObject::GetColumnName(LONG index, BSTR* pVal) {
    QX_REQUIRE_OUT(pVal);
    XStringCom out;
    csv_.GetColumnName(index, out);
    *pVal = out.getBstr();
    return S_OK;
}

HRESULT CsvComObject::GetIndex(BSTR columnName, LONG* pVal) {
    QX_REQUIRE_OUT(pVal);
    InString name(columnName);
    *pVal = csv_.GetIndex(name);
    return S_OK;
}

HRESULT CsvComObject::GetNumCols(LONG row, LONG* pVal) {
    QX_REQUIRE_OUT(pVal);
    *pVal = csv_.GetNumCols(row);
    return S_OK;
}

HRESULT CsvComObject::SetCell(LONG row, LONG col, BSTR content, LONG* pVal) {
    QX_REQUIRE_OUT(pVal);
    InString value(content);
    *pVal = flag(csv_.SetCell(row, col, value));
    return S_OK;
}

HRESULT CsvComObject::SetColumnName(LONG index, BSTR columnName, LONG* pVal) {
    QX_REQUIRE_OUT(pVal);
    InString name(columnName);
    *pVal = flag(csv_.SetColumnName(index, name));
    return S_OK;
}

// ---- IQuenlixCsv: loads and saves --------------------------------------------------------------

HRESULT CsvComObject::LoadFile(BSTR filename, LONG* pVal) {
    QX_REQUIRE_OUT(pVal);
    InString path(filename);
    *pVal = flag(csv_.LoadFile(path));
    return S_OK;
}

HRESULT CsvComObject::LoadFile2(BSTR filename, BSTR charset, LONG* pVal) {
    QX_REQUIRE_OUT(pVal);
    InString path(filename);
    InString cs(charset);
    *pVal = flag(csv_.LoadFile2(path, cs));
    return S_OK;
}

HRESULT CsvComObject::LoadFromString(BSTR csvData, LONG* pVal) {
    QX_REQUIRE_OUT(pVal);
    InString data(csvData);
    *pVal = flag(csv_.LoadFromString(data));
    return S_OK;
}

HRESULT CsvComObject::SaveFile(BSTR filename, LONG* pVal) {
    QX_REQUIRE_OUT(pVal);
    InString path(filename);
    *pVal = flag(csv_.SaveFile(path));
    return S_OK;
}

HRESULT CsvComObject::SaveFile2(BSTR filename, BSTR charset, LONG* pVal) {
    QX_REQUIRE_OUT(pVal);
    InString path(filename);
    InString cs(charset);
    *pVal = flag(csv_.SaveFile2(path, cs));
    return S_OK;
}

HRESULT CsvComObject::SaveToString(BSTR* pVal) {
    QX_REQUIRE_OUT(pVal);
    XStringCom out;
    *pVal = csv_.SaveToString(out) ? out.getBstr() : nullptr;
    return S_OK;
}

// ---- IProvideClassInfo2 -----------------------------------------------------------------------

HRESULT CsvComObject::GetClassInfo(ITypeInfo** out) {
    QX_REQUIRE_OUT(out);
    *out = nullptr;
    return ComModule::classTypeInfo(out);
}

HRESULT CsvComObject::GetGUID(DWORD kind, GUID* out) {
    QX_REQUIRE_OUT(out);
    *out = GUID_NULL;
    // The coclass names no [source] interface. E_INVALIDARG is reserved for kinds the method
    // does not know (it must not be the answer for the default source kind), and the dual
    // interface is no outgoing interface, so a container that connected to it as an event sink
    // would be misled: the answer is a failure from the method's own list, with no GUID.
    return kind == GUIDKIND_DEFAULT_SOURCE_DISP_IID ? E_UNEXPECTED : E_INVALIDARG;
}
