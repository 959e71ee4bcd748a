#pragma once
// The control's persistent state: IPersistStreamInit and IPersistStorage (both with IPersist).
// Only the extent is kept, as the two properties "_cx" and "_cy"; the CSV contents and the
// properties of IQuenlixCsv are not persisted. A new object (InitNew, or no call at all) has the
// picture's natural size; the object is dirty when its extent changed since it was loaded,
// initialised or saved with the dirty flag cleared.
//
// The stream form, 16 bytes, every number little-endian:
//
//   offset size  contents
//        0    4  the tag "QXEX"
//        4    4  size in bytes of the property block that follows: 8 (a reader takes the two
//                values it knows from a longer block and skips the rest)
//        8    4  _cx, the width in HIMETRIC, 32-bit unsigned
//       12    4  _cy, the height in HIMETRIC, 32-bit unsigned
//
// Load reads exactly the bytes Save wrote, so a container may store other objects after it in
// the same stream. In a storage the same 16 bytes are the stream "Contents"; the storage is not
// kept after Load or Save, so HandsOffStorage has nothing to give up.
//
// One part of the component object: the IUnknown methods are the object's own (CsvComObject).
#include "com/ControlBase.h"

class ControlPersistence : public IPersistStreamInit, public IPersistStorage {
public:
    // Bytes of the stream form, and the name of the stream in a storage.
    static constexpr ULONG kStreamSize = 16;
    static const wchar_t kStorageStreamName[];

    explicit ControlPersistence(ControlBase& control) : control_(control) {}
    ControlPersistence(const ControlPersistence&) = delete;
    ControlPersistence& operator=(const ControlPersistence&) = delete;

    // The interface this part answers for iid (IPersistStreamInit, IPersist, IPersistStorage),
    // or null.
    void* interfaceFor(REFIID iid);

    // The stream form of size (see above), written at the stream's current position. S_OK,
    // the stream's error, or STG_E_MEDIUMFULL when it took fewer bytes.
    static HRESULT writeExtent(IStream* stream, const SIZEL& size);
    // Reads the stream form at the stream's current position and leaves the stream after it.
    // S_OK; STG_E_INVALIDHEADER for another tag or an impossible block size; STG_E_READFAULT
    // when the stream ends early; or the stream's error. *size is set only on success.
    static HRESULT readExtent(IStream* stream, SIZEL* size);

    // IPersist, for both interfaces
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
    // Both interfaces
    HRESULT STDMETHODCALLTYPE IsDirty() override;

    // IPersistStreamInit
    HRESULT STDMETHODCALLTYPE Load(LPSTREAM stream) override;
    HRESULT STDMETHODCALLTYPE Save(LPSTREAM stream, BOOL clearDirty) override;
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;
    HRESULT STDMETHODCALLTYPE InitNew() override;

    // IPersistStorage
    HRESULT STDMETHODCALLTYPE InitNew(IStorage* storage) override;
    HRESULT STDMETHODCALLTYPE Load(IStorage* storage) override;
    HRESULT STDMETHODCALLTYPE Save(IStorage* storage, BOOL sameAsLoad) override;
    HRESULT STDMETHODCALLTYPE SaveCompleted(IStorage* newStorage) override;
    HRESULT STDMETHODCALLTYPE HandsOffStorage() override;

protected:
    ~ControlPersistence() = default;

private:
    ControlBase& control_;
};
