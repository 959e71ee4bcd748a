// The DLL's exports, its class factory and the object's identity, as a client that loaded the
// library by path sees them.
#include "ComTestSupport.h"

#include <gtest/gtest.h>

#include <ocidl.h>

using namespace comtest;

namespace {

const GUID kForeignClass = {
    0x5d0c1a8e, 0x7f0b, 0x4c2e, {0x9b, 0x31, 0x62, 0x8a, 0x40, 0x11, 0xd2, 0x7c}};

HRESULT canUnload() {
    return Dll::get().canUnloadNow();
}

Ref<IClassFactory> factory() {
    Ref<IClassFactory> f;
    EXPECT_EQ(Dll::get().getClassObject(CLSID_QuenlixCsv, IID_IClassFactory, f.outVoid()), S_OK);
    return f;
}

// An outer object for aggregation: counts its references and records the interfaces it is asked
// for, so a test can see which calls the inner object delegated.
class Outer : public IUnknown {
public:
    LONG refs = 1;
    int queries = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        ++queries;
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

TEST(ComExports, DllGetClassObjectRejectsWhatItCannotServe) {
    struct Case {
        const char* what;
        const GUID* clsid;
        const IID* iid;
        HRESULT want;
    } cases[] = {
        {"foreign class", &kForeignClass, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"null class", &GUID_NULL, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"interface id as class", &IID_IQuenlixCsv, &IID_IUnknown, CLASS_E_CLASSNOTAVAILABLE},
        {"factory lacks IDispatch", &CLSID_QuenlixCsv, &IID_IDispatch, E_NOINTERFACE},
    };
    for (const Case& c : cases) {
        void* out = reinterpret_cast<void*>(uintptr_t(0x1234));
        EXPECT_EQ(Dll::get().getClassObject(*c.clsid, *c.iid, &out), c.want) << c.what;
        EXPECT_EQ(out, nullptr) << c.what;
    }
    EXPECT_EQ(Dll::get().getClassObject(CLSID_QuenlixCsv, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(Dll::get().getClassObject(kForeignClass, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(canUnload(), S_OK);
}

TEST(ComExports, FactoryIsOneObjectKeptByTheModule) {
    Ref<IClassFactory> a = factory();
    Ref<IUnknown> b;
    ASSERT_EQ(Dll::get().getClassObject(CLSID_QuenlixCsv, IID_IUnknown, b.outVoid()), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(a.get()), b.get());
}

TEST(ComExports, CanUnloadNowFollowsObjectsLocksAndFactoryReferences) {
    ASSERT_EQ(canUnload(), S_OK);
    Ref<IClassFactory> f = factory();
    EXPECT_EQ(canUnload(), S_FALSE) << "a client holds the factory";

    Ref<IQuenlixCsv> one, two;
    ASSERT_EQ(f->CreateInstance(nullptr, IID_IQuenlixCsv, one.outVoid()), S_OK);
    ASSERT_EQ(f->CreateInstance(nullptr, IID_IQuenlixCsv, two.outVoid()), S_OK);
    f.reset();
    EXPECT_EQ(canUnload(), S_FALSE) << "two objects alive";
    one.reset();
    EXPECT_EQ(canUnload(), S_FALSE) << "one object alive";
    two.reset();
    EXPECT_EQ(canUnload(), S_OK) << "all released";

    f = factory();
    EXPECT_EQ(f->LockServer(TRUE), S_OK);
    f.reset();
    EXPECT_EQ(canUnload(), S_FALSE) << "server locked";
    f = factory();
    EXPECT_EQ(f->LockServer(FALSE), S_OK);
    f.reset();
    EXPECT_EQ(canUnload(), S_OK) << "lock released";
}

TEST(ComExports, CreateInstanceFailuresLeaveNothingAlive) {
    Ref<IClassFactory> f = factory();
    Outer outer;
    struct Case {
        const char* what;
        IUnknown* outer;
        const IID* iid;
        HRESULT want;
    } cases[] = {
        {"interface the object lacks", nullptr, &IID_IPersistFile, E_NOINTERFACE},
        {"aggregated, asking for other than IUnknown", &outer, &IID_IQuenlixCsv,
         CLASS_E_NOAGGREGATION},
    };
    for (const Case& c : cases) {
        void* out = reinterpret_cast<void*>(uintptr_t(0x1234));
        EXPECT_EQ(f->CreateInstance(c.outer, *c.iid, &out), c.want) << c.what;
        EXPECT_EQ(out, nullptr) << c.what;
    }
    EXPECT_EQ(f->CreateInstance(nullptr, IID_IQuenlixCsv, nullptr), E_POINTER);
    EXPECT_EQ(outer.refs, 1);
    f.reset();
    EXPECT_EQ(canUnload(), S_OK);
}

TEST(ComExports, AggregatedObjectDelegatesToItsOuterObject) {
    Outer outer;
    Ref<IUnknown> inner;
    {
        Ref<IClassFactory> f = factory();
        ASSERT_EQ(f->CreateInstance(&outer, IID_IUnknown, inner.outVoid()), S_OK);
    }
    EXPECT_EQ(outer.refs, 1) << "the inner IUnknown counts on its own";

    IQuenlixCsv* csv = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IQuenlixCsv, reinterpret_cast<void**>(&csv)), S_OK);
    EXPECT_EQ(outer.refs, 2) << "interfaces handed out count on the outer object";
    void* other = nullptr;
    EXPECT_EQ(csv->QueryInterface(IID_IPersist, &other), E_NOINTERFACE);
    EXPECT_EQ(outer.queries, 1) << "the interface's QueryInterface went to the outer object";
    LONG crlf = -1;
    EXPECT_EQ(csv->get_Crlf(&crlf), S_OK);
    EXPECT_EQ(crlf, 1);
    csv->Release();
    EXPECT_EQ(outer.refs, 1);

    EXPECT_EQ(canUnload(), S_FALSE);
    inner.reset();
    EXPECT_EQ(canUnload(), S_OK);
}

TEST(ComExports, QueryInterfaceAnswersTheObjectsInterfacesWithOneIdentity) {
    Ref<IQuenlixCsv> csv = newCsv();
    ASSERT_TRUE(csv.get());
    Ref<IUnknown> viaCsv, viaDispatch;
    Ref<IDispatch> dispatch;
    ASSERT_EQ(csv->QueryInterface(IID_IUnknown, viaCsv.outVoid()), S_OK);
    ASSERT_EQ(csv->QueryInterface(IID_IDispatch, dispatch.outVoid()), S_OK);
    ASSERT_EQ(dispatch->QueryInterface(IID_IUnknown, viaDispatch.outVoid()), S_OK);
    EXPECT_EQ(viaCsv.get(), viaDispatch.get());

    struct Case {
        const char* what;
        const IID* iid;
        HRESULT want;
    } cases[] = {
        {"IQuenlixCsv", &IID_IQuenlixCsv, S_OK},
        {"IDispatch", &IID_IDispatch, S_OK},
        {"IProvideClassInfo", &IID_IProvideClassInfo, S_OK},
        {"IProvideClassInfo2", &IID_IProvideClassInfo2, S_OK},
        {"IPersist", &IID_IPersist, S_OK},
        {"IPersistFile", &IID_IPersistFile, E_NOINTERFACE},
        {"IClassFactory", &IID_IClassFactory, E_NOINTERFACE},
    };
    for (const Case& c : cases) {
        Ref<IUnknown> p;
        EXPECT_EQ(viaCsv->QueryInterface(*c.iid, p.outVoid()), c.want) << c.what;
        EXPECT_EQ(p.get() != nullptr, c.want == S_OK) << c.what;
    }
    EXPECT_EQ(csv->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

} // namespace
