#include "com/ControlPersistence.h"

#include "com/QuenlixCsvIdl.h"

const wchar_t ControlPersistence::kStorageStreamName[] = L"Contents";

namespace {

const unsigned char kTag[4] = {'Q', 'X', 'E', 'X'};
const ULONG kBlockSize = 8;         // _cx and _cy
const ULONG kMaxBlockSize = 0xFFFF; // beyond this the size field is taken as damage

void putU32(unsigned char* at, ULONG v) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<unsigned char>(v >> (8 * i));
}

ULONG getU32(const unsigned char* at) {
    ULONG v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | at[i];
    return v;
}

// n bytes or a failure: the stream's own, or STG_E_READFAULT when it ends first.
HRESULT readAll(IStream* stream, unsigned char* into, ULONG n) {
    ULONG got = 0;
    HRESULT hr = stream->Read(into, n, &got);
    if (FAILED(hr)) return hr;
    return got == n ? S_OK : STG_E_READFAULT;
}

} // namespace

void* ControlPersistence::interfaceFor(REFIID iid) {
    if (IsEqualIID(iid, IID_IPersistStreamInit) || IsEqualIID(iid, IID_IPersist))
        return static_cast<IPersistStreamInit*>(this);
    if (IsEqualIID(iid, IID_IPersistStorage)) return static_cast<IPersistStorage*>(this);
    return nullptr;
}

HRESULT ControlPersistence::writeExtent(IStream* stream, const SIZEL& size) {
    unsigned char bytes[kStreamSize];
    for (int i = 0; i < 4; ++i)
        bytes[i] = kTag[i];
    putU32(bytes + 4, kBlockSize);
    putU32(bytes + 8, static_cast<ULONG>(size.cx));
    putU32(bytes + 12, static_cast<ULONG>(size.cy));
    ULONG put = 0;
    HRESULT hr = stream->Write(bytes, kStreamSize, &put);
    if (FAILED(hr)) return hr;
    return put == kStreamSize ? S_OK : STG_E_MEDIUMFULL;
}

HRESULT ControlPersistence::readExtent(IStream* stream, SIZEL* size) {
    unsigned char head[8];
    HRESULT hr = readAll(stream, head, sizeof head);
    if (FAILED(hr)) return hr;
    for (int i = 0; i < 4; ++i)
        if (head[i] != kTag[i]) return STG_E_INVALIDHEADER;
    const ULONG block = getU32(head + 4);
    if (block < kBlockSize || block > kMaxBlockSize) return STG_E_INVALIDHEADER;
    unsigned char values[kBlockSize];
    hr = readAll(stream, values, kBlockSize);
    if (FAILED(hr)) return hr;
    if (block > kBlockSize) {
        LARGE_INTEGER skip;
        skip.QuadPart = block - kBlockSize;
        hr = stream->Seek(skip, STREAM_SEEK_CUR, nullptr);
        if (FAILED(hr)) return hr;
    }
    size->cx = static_cast<LONG>(getU32(values));
    size->cy = static_cast<LONG>(getU32(values + 4));
    return S_OK;
}

// ---- IPersist and both interfaces -------------------------------------------------------------

HRESULT ControlPersistence::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_QuenlixCsv;
    return S_OK;
}

HRESULT ControlPersistence::IsDirty() {
    return control_.dirty() ? S_OK : S_FALSE;
}

// ---- IPersistStreamInit -----------------------------------------------------------------------

HRESULT ControlPersistence::Load(LPSTREAM stream) {
    if (!stream) return E_POINTER;
    SIZEL size;
    HRESULT hr = readExtent(stream, &size);
    if (FAILED(hr)) return hr;
    control_.resetExtent(size);
    return S_OK;
}

HRESULT ControlPersistence::Save(LPSTREAM stream, BOOL clearDirty) {
    if (!stream) return E_POINTER;
    HRESULT hr = writeExtent(stream, control_.extent());
    if (SUCCEEDED(hr) && clearDirty) control_.clearDirty();
    return hr;
}

HRESULT ControlPersistence::GetSizeMax(ULARGE_INTEGER* size) {
    if (!size) return E_POINTER;
    size->QuadPart = kStreamSize;
    return S_OK;
}

HRESULT ControlPersistence::InitNew() {
    control_.resetExtent(ControlBase::naturalExtent());
    return S_OK;
}

// ---- IPersistStorage --------------------------------------------------------------------------

HRESULT ControlPersistence::InitNew(IStorage* storage) {
    if (!storage) return E_POINTER;
    control_.resetExtent(ControlBase::naturalExtent());
    return S_OK;
}

HRESULT ControlPersistence::Load(IStorage* storage) {
    if (!storage) return E_POINTER;
    IStream* stream = nullptr;
    HRESULT hr = storage->OpenStream(kStorageStreamName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE,
                                     0, &stream);
    if (FAILED(hr)) return hr;
    hr = Load(stream);
    stream->Release();
    return hr;
}

HRESULT ControlPersistence::Save(IStorage* storage, BOOL sameAsLoad) {
    if (!storage) return E_POINTER;
    IStream* stream = nullptr;
    HRESULT hr = storage->CreateStream(
        kStorageStreamName, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &stream);
    if (FAILED(hr)) return hr;
    // Saved into the storage the object came from, the saved state is the object's own; a copy
    // elsewhere ("save as") becomes it only when SaveCompleted hands that storage over.
    hr = Save(stream, sameAsLoad);
    stream->Release();
    return hr;
}

HRESULT ControlPersistence::SaveCompleted(IStorage* newStorage) {
    if (newStorage) control_.clearDirty();
    if (IOleAdviseHolder* holder = control_.oleAdviseHolder()) holder->SendOnSave();
    return S_OK;
}

HRESULT ControlPersistence::HandsOffStorage() {
    return S_OK; // no storage is held between calls
}
