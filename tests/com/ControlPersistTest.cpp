// The control's persisted state as a container saves and loads it: the extent through
// IPersistStreamInit (a memory stream, alone or among other objects' data) and IPersistStorage (a
// compound file in memory), the bytes of the stream form, damaged streams, and the dirty flag.
#include "ControlTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>

using namespace comtest;

namespace {

Ref<IStream> memoryStream(const std::string& bytes = std::string()) {
    Ref<IStream> s;
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, s.out()), S_OK);
    s->Write(bytes.data(), ULONG(bytes.size()), nullptr);
    return s;
}

ULONGLONG seek(IStream* s, LONGLONG to, DWORD origin = STREAM_SEEK_SET) {
    LARGE_INTEGER move;
    move.QuadPart = to;
    ULARGE_INTEGER now = {};
    s->Seek(move, origin, &now);
    return now.QuadPart;
}

std::string contents(IStream* s) {
    std::string out(size_t(seek(s, 0, STREAM_SEEK_END)), '\0');
    seek(s, 0);
    ULONG got = 0;
    s->Read(&out[0], ULONG(out.size()), &got);
    return out.substr(0, got);
}

// The stream form: tag, block size, then _cx and _cy, all little-endian.
std::string form(ULONG cx, ULONG cy, ULONG block = 8) {
    std::string out = "QXEX";
    for (ULONG v : {block, cx, cy})
        for (int i = 0; i < 4; ++i)
            out += char((v >> (8 * i)) & 0xFF);
    return out + std::string(block - 8, 'x');
}

std::tuple<LONG, LONG> extentOf(IUnknown* o) {
    SIZEL s = {-1, -1};
    EXPECT_EQ(query<IOleObject>(o, IID_IOleObject)->GetExtent(DVASPECT_CONTENT, &s), S_OK);
    return {s.cx, s.cy};
}

HRESULT setExtent(IUnknown* o, LONG cx, LONG cy, DWORD aspect = DVASPECT_CONTENT) {
    SIZEL s = {cx, cy};
    return query<IOleObject>(o, IID_IOleObject)->SetExtent(aspect, &s);
}

Ref<IStorage> newStorage() {
    Ref<ILockBytes> bytes;
    Ref<IStorage> storage;
    EXPECT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.out()), S_OK);
    EXPECT_EQ(StgCreateDocfileOnILockBytes(bytes.get(),
                                           STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                           storage.out()),
              S_OK);
    return storage;
}

TEST(ControlPersist, StreamRoundTripKeepsTheExtentInItsForm) {
    const std::tuple<LONG, LONG> cases[] = {{1234, 5678}, {0, 0}, {0x7FFFFFFF, 0x10000}};
    for (const auto& [cx, cy] : cases) {
        Ref<IPersistStreamInit> a = newControl<IPersistStreamInit>(IID_IPersistStreamInit);
        Ref<IPersistStreamInit> b = newControl<IPersistStreamInit>(IID_IPersistStreamInit);
        setExtent(a.get(), cx, cy);
        Ref<IStream> s = memoryStream();
        ASSERT_EQ(a->Save(s.get(), TRUE), S_OK) << cx;
        EXPECT_EQ(a->IsDirty(), S_FALSE) << cx;
        ULARGE_INTEGER max = {};
        EXPECT_EQ(a->GetSizeMax(&max), S_OK);
        EXPECT_EQ(max.QuadPart, 16u) << cx;
        EXPECT_EQ(contents(s.get()), form(cx, cy)) << cx;
        seek(s.get(), 0);
        ASSERT_EQ(b->Load(s.get()), S_OK) << cx;
        EXPECT_EQ(extentOf(b.get()), std::make_tuple(cx, cy));
        EXPECT_EQ(b->IsDirty(), S_FALSE) << cx;
    }
}

TEST(ControlPersist, LoadTakesExactlyItsOwnBytesAndRefusesDamage) {
    const std::string tail = "next object";
    // Bytes, the result, then (on success) the extent and the stream position afterwards.
    const std::tuple<std::string, HRESULT, LONG, LONG, ULONGLONG> cases[] = {
        {form(300, 200) + tail, S_OK, 300, 200, 16},
        {form(301, 201, 12) + tail, S_OK, 301, 201, 20}, // a longer block is skipped
        {"QXEY" + form(1, 2).substr(4), STG_E_INVALIDHEADER, 77, 88, 0},
        {form(1, 2).replace(4, 1, "\x04"), STG_E_INVALIDHEADER, 77, 88, 0},
        {form(1, 2).replace(4, 4, "\xff\xff\xff\x7f"), STG_E_INVALIDHEADER, 77, 88, 0},
        {form(1, 2).substr(0, 13), STG_E_READFAULT, 77, 88, 0},
        {"", STG_E_READFAULT, 77, 88, 0},
    };
    for (const auto& [bytes, want, cx, cy, consumed] : cases) {
        Ref<IPersistStreamInit> o = newControl<IPersistStreamInit>(IID_IPersistStreamInit);
        setExtent(o.get(), 77, 88);
        Ref<IStream> s = memoryStream(bytes);
        seek(s.get(), 0);
        EXPECT_EQ(o->Load(s.get()), want) << testing::PrintToString(bytes);
        EXPECT_EQ(extentOf(o.get()), std::make_tuple(cx, cy)) << "unchanged by a failed load";
        EXPECT_EQ(want == S_OK ? seek(s.get(), 0, STREAM_SEEK_CUR) : 0, consumed);
    }
    Ref<IPersistStreamInit> o = newControl<IPersistStreamInit>(IID_IPersistStreamInit);
    EXPECT_EQ(o->Load(nullptr), E_POINTER);
    EXPECT_EQ(o->Save(nullptr, TRUE), E_POINTER);
}

// One object through a container's sequence of calls; after each, both IsDirty answers.
TEST(ControlPersist, DirtyFollowsExtentChangesSinceTheLastSave) {
    Ref<IPersistStreamInit> o = newControl<IPersistStreamInit>(IID_IPersistStreamInit);
    Ref<IPersistStorage> stg = query<IPersistStorage>(o.get(), IID_IPersistStorage);
    Ref<IStorage> storage = newStorage();
    Ref<IStream> s = memoryStream();
    LONG natCx = 0, natCy = 0;
    std::tie(natCx, natCy) = extentOf(o.get());
    const std::tuple<const char*, std::function<HRESULT()>, HRESULT> steps[] = {
        {"new extent", [&] { return setExtent(o.get(), natCx + 1, natCy); }, S_OK},
        {"InitNew: the natural extent",
         [&] {
             o->InitNew();
             return extentOf(o.get()) == std::make_tuple(natCx, natCy) ? S_OK : E_FAIL;
         },
         S_FALSE},
        {"new extent", [&] { return setExtent(o.get(), 5, 6); }, S_OK},
        {"save keeping the flag", [&] { return o->Save(s.get(), FALSE); }, S_OK},
        {"save clearing the flag", [&] { return o->Save(s.get(), TRUE); }, S_FALSE},
        {"icon aspect refused",
         [&] { return setExtent(o.get(), 9, 9, DVASPECT_ICON) == DV_E_DVASPECT ? S_OK : E_FAIL; },
         S_FALSE},
        {"content extent", [&] { return setExtent(o.get(), 7, 8); }, S_OK},
        {"storage save as", [&] { return stg->Save(storage.get(), FALSE); }, S_OK},
        {"save completed, no new storage", [&] { return stg->SaveCompleted(nullptr); }, S_OK},
        {"save completed into it", [&] { return stg->SaveCompleted(storage.get()); }, S_FALSE},
        {"changed again", [&] { return setExtent(o.get(), 9, 9); }, S_OK},
        {"storage save in place", [&] { return stg->Save(storage.get(), TRUE); }, S_FALSE},
        {"changed, then loaded",
         [&] {
             setExtent(o.get(), 1, 1);
             seek(s.get(), 0);
             return o->Load(s.get());
         },
         S_FALSE},
    };
    for (const auto& [step, run, dirty] : steps) {
        EXPECT_EQ(run(), S_OK) << step;
        EXPECT_EQ(o->IsDirty(), dirty) << step;
        EXPECT_EQ(stg->IsDirty(), dirty) << step << " (IPersistStorage)";
    }
    EXPECT_EQ(extentOf(o.get()), std::make_tuple(5, 6)) << "the first save, loaded";
}

TEST(ControlPersist, StorageRoundTripThroughTheContentsStream) {
    Ref<IStorage> storage = newStorage();
    Ref<IPersistStorage> a = newControl<IPersistStorage>(IID_IPersistStorage);
    ASSERT_EQ(a->InitNew(storage.get()), S_OK);
    setExtent(a.get(), 4321, 1234);
    // As a container saves an embedded object: the class, then the object's own data.
    ASSERT_EQ(OleSave(a.get(), storage.get(), TRUE), S_OK);
    ASSERT_EQ(storage->Commit(STGC_DEFAULT), S_OK);
    CLSID clsid = GUID_NULL;
    EXPECT_EQ(ReadClassStg(storage.get(), &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_QuenlixCsv));
    Ref<IStream> s;
    ASSERT_EQ(
        storage->OpenStream(L"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, s.out()),
        S_OK);
    EXPECT_EQ(contents(s.get()), form(4321, 1234)) << "the same form as in a stream";
    s.reset();
    Ref<IPersistStorage> b = newControl<IPersistStorage>(IID_IPersistStorage);
    ASSERT_EQ(b->Load(storage.get()), S_OK);
    EXPECT_EQ(extentOf(b.get()), std::make_tuple(4321, 1234));
    EXPECT_EQ(b->IsDirty(), S_FALSE);

    Ref<IPersistStorage> c = newControl<IPersistStorage>(IID_IPersistStorage);
    setExtent(c.get(), 55, 66);
    EXPECT_EQ(c->Load(newStorage().get()), STG_E_FILENOTFOUND) << "no Contents stream";
    EXPECT_EQ(extentOf(c.get()), std::make_tuple(55, 66));
    EXPECT_EQ(c->Load(nullptr), E_POINTER);
}

} // namespace
