// The control's persisted state, as a container saves and loads it: the extent through
// IPersistStreamInit (in a memory stream, alone or beside other objects' data) and through
// IPersistStorage (a compound file in memory), the stream form, damaged streams, and the dirty
// flag.
#include "ControlTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace comtest;

namespace {

Ref<IStream> memoryStream(const std::string& bytes = std::string()) {
    Ref<IStream> s;
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, s.out()), S_OK);
    if (!bytes.empty()) {
        ULONG put = 0;
        s->Write(bytes.data(), ULONG(bytes.size()), &put);
        EXPECT_EQ(put, bytes.size());
    }
    return s;
}

ULONGLONG seek(IStream* s, LONGLONG to, DWORD origin = STREAM_SEEK_SET) {
    LARGE_INTEGER move;
    move.QuadPart = to;
    ULARGE_INTEGER now = {};
    EXPECT_EQ(s->Seek(move, origin, &now), S_OK);
    return now.QuadPart;
}

std::string contents(IStream* s) {
    const ULONGLONG keep = seek(s, 0, STREAM_SEEK_CUR);
    const ULONGLONG size = seek(s, 0, STREAM_SEEK_END);
    seek(s, 0);
    std::string out(size_t(size), '\0');
    ULONG got = 0;
    if (size) s->Read(&out[0], ULONG(size), &got);
    seek(s, LONGLONG(keep));
    return out.substr(0, got);
}

std::string u32(ULONG v) {
    std::string out;
    for (int i = 0; i < 4; ++i)
        out += char((v >> (8 * i)) & 0xFF);
    return out;
}

// The stream form: tag, block size, _cx, _cy.
std::string form(ULONG cx, ULONG cy, ULONG block = 8) {
    std::string out = "QXEX" + u32(block) + u32(cx) + u32(cy);
    if (block > 8) out += std::string(block - 8, 'x');
    return out;
}

SIZEL extentOf(IUnknown* o) {
    SIZEL s = {-1, -1};
    EXPECT_EQ(query<IOleObject>(o, IID_IOleObject)->GetExtent(DVASPECT_CONTENT, &s), S_OK);
    return s;
}

void setExtent(IUnknown* o, LONG cx, LONG cy) {
    SIZEL s = {cx, cy};
    EXPECT_EQ(query<IOleObject>(o, IID_IOleObject)->SetExtent(DVASPECT_CONTENT, &s), S_OK);
}

SIZEL natural() {
    Ref<IViewObjectEx> v = newControl<IViewObjectEx>(IID_IViewObjectEx);
    DVEXTENTINFO info = {sizeof info, DVEXTENT_CONTENT, {0, 0}};
    SIZEL s = {-1, -1};
    EXPECT_EQ(v->GetNaturalExtent(DVASPECT_CONTENT, -1, nullptr, nullptr, &info, &s), S_OK);
    return s;
}

#define EXPECT_EXTENT(o, wantCx, wantCy, what)                                                     \
    do {                                                                                           \
        SIZEL got_ = extentOf(o);                                                                  \
        EXPECT_EQ(got_.cx, LONG(wantCx)) << what;                                                  \
        EXPECT_EQ(got_.cy, LONG(wantCy)) << what;                                                  \
    } while (0)

TEST(ControlPersist, StreamRoundTripKeepsTheExtent) {
    const SIZEL cases[] = {{1234, 5678}, {1, 1}, {0, 0}, {2540, 635}, {0x7FFFFFFF, 0x10000}};
    for (const SIZEL& c : cases) {
        const std::string what = std::to_string(c.cx) + "x" + std::to_string(c.cy);
        Ref<IPersistStreamInit> a = newControl<IPersistStreamInit>(IID_IPersistStreamInit);
        ASSERT_EQ(a->InitNew(), S_OK);
        setExtent(a.get(), c.cx, c.cy);
        Ref<IStream> s = memoryStream();
        ASSERT_EQ(a->Save(s.get(), TRUE), S_OK) << what;
        EXPECT_EQ(a->IsDirty(), S_FALSE) << what;
        ULARGE_INTEGER max = {};
        EXPECT_EQ(a->GetSizeMax(&max), S_OK);
        EXPECT_EQ(max.QuadPart, seek(s.get(), 0, STREAM_SEEK_CUR)) << what;

        seek(s.get(), 0);
        Ref<IPersistStreamInit> b = newControl<IPersistStreamInit>(IID_IPersistStreamInit);
        ASSERT_EQ(b->Load(s.get()), S_OK) << what;
        EXPECT_EXTENT(b.get(), c.cx, c.cy, what);
        EXPECT_EQ(b->IsDirty(), S_FALSE) << what;
    }
}

TEST(ControlPersist, StreamFormIsTagBlockSizeAndTwoLittleEndianValues) {
    Ref<IPersistStreamInit> a = newControl<IPersistStreamInit>(IID_IPersistStreamInit);
    setExtent(a.get(), 0x01020304, 0x0A0B0C0D);
    Ref<IStream> s = memoryStream();
    ASSERT_EQ(a->Save(s.get(), FALSE), S_OK);
    EXPECT_EQ(contents(s.get()), std::string("QXEX\x08\0\0\0\x04\x03\x02\x01\x0D\x0C\x0B\x0A", 16));
}

TEST(ControlPersist, LoadTakesExactlyItsOwnBytesAndRefusesDamage) {
    const std::string tail = "next object";
    const struct {
        const char* what;
        std::string bytes;
        HRESULT want;
        LONG cx, cy;        // the extent afterwards (unchanged when the load fails)
        ULONGLONG consumed; // stream position afterwards, on success
    } cases[] = {
        {"exact form, then other data", form(300, 200) + tail, S_OK, 300, 200, 16},
        {"longer block skipped", form(301, 201, 12) + tail, S_OK, 301, 201, 20},
        {"wrong tag", "QXEY" + u32(8) + u32(1) + u32(2), STG_E_INVALIDHEADER, 77, 88, 0},
        {"block too short", "QXEX" + u32(4) + u32(1) + u32(2), STG_E_INVALIDHEADER, 77, 88, 0},
        {"block size absurd", "QXEX" + u32(0x7FFFFFFF) + u32(1) + u32(2), STG_E_INVALIDHEADER, 77,
         88, 0},
        {"ends inside the values", form(1, 2).substr(0, 13), STG_E_READFAULT, 77, 88, 0},
        {"ends inside the header", "QXEX", STG_E_READFAULT, 77, 88, 0},
        {"empty", "", STG_E_READFAULT, 77, 88, 0},
    };
    for (const auto& c : cases) {
        Ref<IPersistStreamInit> o = newControl<IPersistStreamInit>(IID_IPersistStreamInit);
        setExtent(o.get(), 77, 88);
        Ref<IStream> s = memoryStream(c.bytes);
        seek(s.get(), 0);
        EXPECT_EQ(o->Load(s.get()), c.want) << c.what;
        EXPECT_EXTENT(o.get(), c.cx, c.cy, c.what);
        if (c.want == S_OK) {
            EXPECT_EQ(seek(s.get(), 0, STREAM_SEEK_CUR), c.consumed) << c.what;
            EXPECT_EQ(o->IsDirty(), S_FALSE) << c.what;
        }
    }
    Ref<IPersistStreamInit> o = newControl<IPersistStreamInit>(IID_IPersistStreamInit);
    EXPECT_EQ(o->Load(nullptr), E_POINTER);
    EXPECT_EQ(o->Save(nullptr, TRUE), E_POINTER);
}

TEST(ControlPersist, ControlsSavedOneAfterAnotherLoadInOrder) {
    const SIZEL sizes[] = {{100, 200}, {300, 400}, {500, 600}};
    Ref<IStream> s = memoryStream();
    for (const SIZEL& z : sizes) {
        Ref<IPersistStreamInit> o = newControl<IPersistStreamInit>(IID_IPersistStreamInit);
        setExtent(o.get(), z.cx, z.cy);
        ASSERT_EQ(o->Save(s.get(), TRUE), S_OK);
    }
    seek(s.get(), 0);
    for (const SIZEL& z : sizes) {
        Ref<IPersistStreamInit> o = newControl<IPersistStreamInit>(IID_IPersistStreamInit);
        ASSERT_EQ(o->Load(s.get()), S_OK);
        EXPECT_EXTENT(o.get(), z.cx, z.cy, z.cx);
    }
}

TEST(ControlPersist, InitNewGivesThePicturesNaturalSize) {
    const SIZEL nat = natural();
    EXPECT_GT(nat.cx, 0);
    EXPECT_GT(nat.cy, 0);
    Ref<IPersistStreamInit> o = newControl<IPersistStreamInit>(IID_IPersistStreamInit);
    EXPECT_EXTENT(o.get(), nat.cx, nat.cy, "a new object");
    setExtent(o.get(), nat.cx + 10, nat.cy + 20);
    ASSERT_EQ(o->InitNew(), S_OK);
    EXPECT_EXTENT(o.get(), nat.cx, nat.cy, "after InitNew");
    EXPECT_EQ(o->IsDirty(), S_FALSE);
}

// One object through a container's sequence of calls; after each, IsDirty.
TEST(ControlPersist, DirtyFollowsExtentChangesSinceTheLastSave) {
    Ref<IPersistStreamInit> o = newControl<IPersistStreamInit>(IID_IPersistStreamInit);
    Ref<IPersistStorage> stg = query<IPersistStorage>(o.get(), IID_IPersistStorage);
    Ref<IQuickActivate> qa = query<IQuickActivate>(o.get(), IID_IQuickActivate);
    Ref<ILockBytes> bytes;
    ASSERT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.out()), S_OK);
    Ref<IStorage> storage;
    ASSERT_EQ(StgCreateDocfileOnILockBytes(bytes.get(),
                                           STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                           storage.out()),
              S_OK);
    const SIZEL nat = natural();
    SIZEL other = {nat.cx + 1, nat.cy};
    Ref<IStream> s = memoryStream();

    const struct {
        const char* step;
        std::function<HRESULT()> run;
        HRESULT dirty;
    } steps[] = {
        {"InitNew", [&] { return o->InitNew(); }, S_FALSE},
        {"same extent again",
         [&] {
             return query<IOleObject>(o.get(), IID_IOleObject)
                 ->SetExtent(DVASPECT_CONTENT, const_cast<SIZEL*>(&nat));
         },
         S_FALSE},
        {"new extent",
         [&] {
             return query<IOleObject>(o.get(), IID_IOleObject)->SetExtent(DVASPECT_CONTENT, &other);
         },
         S_OK},
        {"save keeping the flag", [&] { return o->Save(s.get(), FALSE); }, S_OK},
        {"save clearing the flag", [&] { return o->Save(s.get(), TRUE); }, S_FALSE},
        {"content extent",
         [&] {
             SIZEL z = {5, 6};
             return qa->SetContentExtent(&z);
         },
         S_OK},
        {"storage save as", [&] { return stg->Save(storage.get(), FALSE); }, S_OK},
        {"save completed, no new storage", [&] { return stg->SaveCompleted(nullptr); }, S_OK},
        {"save completed into the new one", [&] { return stg->SaveCompleted(storage.get()); },
         S_FALSE},
        {"icon aspect refused",
         [&] {
             SIZEL z = {9, 9};
             HRESULT hr = query<IOleObject>(o.get(), IID_IOleObject)->SetExtent(DVASPECT_ICON, &z);
             return hr == DV_E_DVASPECT ? S_OK : E_FAIL;
         },
         S_FALSE},
        {"extent changed again", [&] { return qa->SetContentExtent(&other); }, S_OK},
        {"storage save to the same storage", [&] { return stg->Save(storage.get(), TRUE); },
         S_FALSE},
        {"load",
         [&] {
             seek(s.get(), 0);
             return o->Load(s.get());
         },
         S_FALSE},
    };
    for (const auto& st : steps) {
        EXPECT_EQ(st.run(), S_OK) << st.step;
        EXPECT_EQ(o->IsDirty(), st.dirty) << st.step;
        EXPECT_EQ(stg->IsDirty(), st.dirty) << st.step << " (IPersistStorage)";
    }
}

Ref<IStorage> newStorage(Ref<ILockBytes>& bytes) {
    Ref<IStorage> storage;
    EXPECT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.out()), S_OK);
    EXPECT_EQ(StgCreateDocfileOnILockBytes(bytes.get(),
                                           STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                           storage.out()),
              S_OK);
    return storage;
}

TEST(ControlPersist, StorageRoundTripThroughTheContentsStream) {
    Ref<ILockBytes> bytes;
    Ref<IStorage> storage = newStorage(bytes);
    ASSERT_TRUE(storage.get());
    {
        Ref<IPersistStorage> a = newControl<IPersistStorage>(IID_IPersistStorage);
        ASSERT_EQ(a->InitNew(storage.get()), S_OK);
        setExtent(a.get(), 4321, 1234);
        // As a container saves an embedded object: class id, then the object's own data.
        ASSERT_EQ(OleSave(a.get(), storage.get(), TRUE), S_OK);
        ASSERT_EQ(a->SaveCompleted(nullptr), S_OK);
        EXPECT_EQ(a->IsDirty(), S_FALSE);
        ASSERT_EQ(storage->Commit(STGC_DEFAULT), S_OK);
    }
    CLSID clsid = GUID_NULL;
    EXPECT_EQ(ReadClassStg(storage.get(), &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_QuenlixCsv));
    {
        Ref<IStream> s;
        ASSERT_EQ(
            storage->OpenStream(L"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, s.out()),
            S_OK);
        EXPECT_EQ(contents(s.get()), form(4321, 1234)) << "the same form as in a stream";
    }
    Ref<IPersistStorage> b = newControl<IPersistStorage>(IID_IPersistStorage);
    ASSERT_EQ(b->Load(storage.get()), S_OK);
    EXPECT_EXTENT(b.get(), 4321, 1234, "loaded");
    EXPECT_EQ(b->IsDirty(), S_FALSE);
    EXPECT_EQ(b->HandsOffStorage(), S_OK);
    EXPECT_EQ(b->SaveCompleted(nullptr), S_OK);
}

TEST(ControlPersist, StorageWithoutContentsIsRefused) {
    Ref<ILockBytes> bytes;
    Ref<IStorage> storage = newStorage(bytes);
    Ref<IPersistStorage> o = newControl<IPersistStorage>(IID_IPersistStorage);
    setExtent(o.get(), 55, 66);
    EXPECT_EQ(o->Load(storage.get()), STG_E_FILENOTFOUND);
    EXPECT_EXTENT(o.get(), 55, 66, "unchanged");
    EXPECT_EQ(o->Load(nullptr), E_POINTER);
    EXPECT_EQ(o->Save(nullptr, TRUE), E_POINTER);
    EXPECT_EQ(o->InitNew(nullptr), E_POINTER);
}

} // namespace
