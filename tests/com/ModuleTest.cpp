// The DLL's exports and class factory. Its registration is checked after regsvr32 by
// run_scripts.sh, its resources in the file by check_image.py.
#include "ComTestSupport.h"

#include <tuple>

using namespace comtest;

namespace {

const GUID kForeignClass = {
    0x5d0c1a8e, 0x7f0b, 0x4c2e, {0x9b, 0x31, 0x62, 0x8a, 0x40, 0x11, 0xd2, 0x7c}};

TEST(ComExports, RefusedRequestsAnswerNullAndLeaveNothingAlive) {
    Outer outer;
    Ref<IClassFactory> f = factory();
    // Class (null: CreateInstance on the factory), interface, outer object, result.
    const std::tuple<const GUID*, const IID*, IUnknown*, HRESULT> cases[] = {
        {&kForeignClass, &IID_IClassFactory, nullptr, CLASS_E_CLASSNOTAVAILABLE},
        {&CLSID_QuenlixCsv, &IID_IDispatch, nullptr, E_NOINTERFACE},
        {nullptr, &IID_IPersistFile, nullptr, E_NOINTERFACE},
        {nullptr, &IID_IQuenlixCsv, &outer, CLASS_E_NOAGGREGATION}, // aggregated: IUnknown only
    };
    for (const auto& [clsid, iid, outerObject, want] : cases) {
        void* out = reinterpret_cast<void*>(uintptr_t(0x1234));
        EXPECT_EQ(clsid ? Dll::get().getClassObject(*clsid, *iid, &out)
                        : f->CreateInstance(outerObject, *iid, &out),
                  want);
        EXPECT_EQ(out, nullptr) << want;
    }
    EXPECT_EQ(Dll::get().getClassObject(CLSID_QuenlixCsv, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(Dll::get().getClassObject(kForeignClass, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(f->CreateInstance(nullptr, IID_IQuenlixCsv, nullptr), E_POINTER);
    f.reset();
    EXPECT_EQ(outer.refs, 1);
    EXPECT_EQ(Dll::get().canUnloadNow(), S_OK);
}

// The module may be unloaded only when no factory reference, object or lock is left.
TEST(ComExports, CanUnloadNowFollowsFactoryReferencesObjectsAndLocks) {
    EXPECT_EQ(Dll::get().canUnloadNow(), S_OK) << "nothing held";
    Ref<IClassFactory> f = factory();
    EXPECT_EQ(Dll::get().canUnloadNow(), S_FALSE) << "factory held";
    Ref<IQuenlixCsv> a, b;
    f->CreateInstance(nullptr, IID_IQuenlixCsv, a.outVoid());
    f->CreateInstance(nullptr, IID_IQuenlixCsv, b.outVoid());
    f.reset();
    for (Ref<IQuenlixCsv>* held : {&a, &b}) {
        EXPECT_EQ(Dll::get().canUnloadNow(), S_FALSE) << "objects alive, factory let go";
        held->reset();
    }
    EXPECT_EQ(Dll::get().canUnloadNow(), S_OK) << "none";
    factory()->LockServer(TRUE);
    EXPECT_EQ(Dll::get().canUnloadNow(), S_FALSE) << "server locked";
    factory()->LockServer(FALSE);
    EXPECT_EQ(Dll::get().canUnloadNow(), S_OK) << "lock released";
}

} // namespace
