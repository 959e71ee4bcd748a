// The object's interface table as a container meets it: each of the 19 interfaces answers, with
// one identity; no other interface answers; an aggregated object counts every interface on its
// outer object; the miscellaneous status.
#include "ControlTestSupport.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace comtest;

namespace {

#define IFACE(name) std::make_tuple(#name, &IID_##name)
const std::tuple<const char*, const IID*> kTable[] = {
    IFACE(IQuenlixCsv),
    IFACE(IDispatch),
    IFACE(IViewObjectEx),
    IFACE(IViewObject2),
    IFACE(IViewObject),
    IFACE(IOleInPlaceObjectWindowless),
    IFACE(IOleInPlaceObject),
    IFACE(IOleWindow),
    IFACE(IOleInPlaceActiveObject),
    IFACE(IOleControl),
    IFACE(IOleObject),
    IFACE(IPersistStreamInit),
    IFACE(IPersist),
    IFACE(ISpecifyPropertyPages),
    IFACE(IQuickActivate),
    IFACE(IPersistStorage),
    IFACE(IDataObject),
    IFACE(IProvideClassInfo),
    IFACE(IProvideClassInfo2),
};
const std::tuple<const char*, const IID*> kAbsent[] = {
    IFACE(IPersistPropertyBag), IFACE(IConnectionPointContainer), IFACE(IOleCache),
    IFACE(IPersistFile),        IFACE(IOleInPlaceSite),           IFACE(IClassFactory)};

TEST(ControlInterfaces, TheTableAnswersWithOneIdentityAndNothingElseAnswers) {
    Ref<IUnknown> identity = query<IUnknown>(newCsv().get(), IID_IUnknown);
    ASSERT_TRUE(identity.get());
    for (const auto& [name, iid] : kTable) {
        Ref<IUnknown> p;
        EXPECT_EQ(identity->QueryInterface(*iid, p.outVoid()), S_OK) << name;
        ASSERT_TRUE(p.get()) << name;
        EXPECT_EQ(query<IUnknown>(p.get(), IID_IUnknown).get(), identity.get()) << name;
        EXPECT_EQ(query<IUnknown>(p.get(), *iid).get(), p.get()) << name << " from itself";
    }
    for (const auto& [name, iid] : kAbsent) {
        void* p = reinterpret_cast<void*>(uintptr_t(0x1234));
        EXPECT_EQ(identity->QueryInterface(*iid, &p), E_NOINTERFACE) << name;
        EXPECT_EQ(p, nullptr) << name;
    }
    EXPECT_EQ(identity->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST(ControlInterfaces, AggregatedObjectCountsEveryInterfaceOnTheOuterObject) {
    Outer outer;
    Ref<IUnknown> inner;
    {
        Ref<IClassFactory> f;
        ASSERT_EQ(Dll::get().getClassObject(CLSID_QuenlixCsv, IID_IClassFactory, f.outVoid()),
                  S_OK);
        ASSERT_EQ(f->CreateInstance(&outer, IID_IUnknown, inner.outVoid()), S_OK);
    }
    EXPECT_EQ(outer.refs, 1) << "the inner IUnknown counts on its own";
    for (const auto& [name, iid] : kTable) {
        IUnknown* p = nullptr;
        ASSERT_EQ(inner->QueryInterface(*iid, reinterpret_cast<void**>(&p)), S_OK) << name;
        EXPECT_EQ(outer.refs, 2) << name;
        void* other = nullptr;
        p->QueryInterface(IID_IUnknown, &other);
        EXPECT_EQ(outer.queries, 1) << name << " asks the outer object";
        outer.queries = 0;
        p->Release();
        EXPECT_EQ(outer.refs, 1) << name;
    }
    EXPECT_EQ(Dll::get().canUnloadNow(), S_FALSE);
    inner.reset();
    EXPECT_EQ(Dll::get().canUnloadNow(), S_OK);
}

TEST(ControlInterfaces, MiscStatusOfEachAspect) {
    Ref<IOleObject> o = newControl<IOleObject>(IID_IOleObject);
    // Content: recompose on resize, cannot link inside, inside-out, activate when visible,
    // invisible at run time, set client site first.
    const std::tuple<DWORD, DWORD> cases[] = {{DVASPECT_CONTENT, 132497},
                                              {DVASPECT_THUMBNAIL, 0},
                                              {DVASPECT_ICON, 0},
                                              {DVASPECT_DOCPRINT, 0}};
    for (const auto& [aspect, want] : cases) {
        DWORD status = 0xFFFFFFFF;
        EXPECT_EQ(o->GetMiscStatus(aspect, &status), S_OK) << aspect;
        EXPECT_EQ(status, want) << aspect;
    }
    EXPECT_EQ(o->GetMiscStatus(DVASPECT_CONTENT, nullptr), E_POINTER);
}

} // namespace
