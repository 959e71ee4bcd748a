// The control's interface table as a container meets it: every interface answers with one
// identity, QueryInterface is reflexive, symmetric and transitive across the whole table, calls
// through a base interface reach the right implementation, and the class and status facts a
// container reads before it shows the control.
#include "ControlTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace comtest;

namespace {

struct Iface {
    const char* name;
    const IID* iid;
};
const Iface kTable[] = {
    {"IQuenlixCsv", &IID_IQuenlixCsv},
    {"IDispatch", &IID_IDispatch},
    {"IViewObjectEx", &IID_IViewObjectEx},
    {"IViewObject2", &IID_IViewObject2},
    {"IViewObject", &IID_IViewObject},
    {"IOleInPlaceObjectWindowless", &IID_IOleInPlaceObjectWindowless},
    {"IOleInPlaceObject", &IID_IOleInPlaceObject},
    {"IOleWindow", &IID_IOleWindow},
    {"IOleInPlaceActiveObject", &IID_IOleInPlaceActiveObject},
    {"IOleControl", &IID_IOleControl},
    {"IOleObject", &IID_IOleObject},
    {"IPersistStreamInit", &IID_IPersistStreamInit},
    {"IPersist", &IID_IPersist},
    {"ISpecifyPropertyPages", &IID_ISpecifyPropertyPages},
    {"IQuickActivate", &IID_IQuickActivate},
    {"IPersistStorage", &IID_IPersistStorage},
    {"IDataObject", &IID_IDataObject},
    {"IProvideClassInfo", &IID_IProvideClassInfo},
    {"IProvideClassInfo2", &IID_IProvideClassInfo2},
};

std::string pair(const Iface& from, const Iface& to) {
    return std::string(from.name) + " -> " + to.name;
}

TEST(ControlInterfaces, EveryInterfaceAnswersWithOneIdentity) {
    Ref<IQuenlixCsv> csv = newCsv();
    ASSERT_TRUE(csv.get());
    Ref<IUnknown> identity = query<IUnknown>(csv.get(), IID_IUnknown);
    ASSERT_TRUE(identity.get());

    std::vector<Ref<IUnknown>> got;
    for (const Iface& i : kTable) {
        Ref<IUnknown> p;
        EXPECT_EQ(identity->QueryInterface(*i.iid, p.outVoid()), S_OK) << i.name;
        ASSERT_TRUE(p.get()) << i.name;
        EXPECT_EQ(query<IUnknown>(p.get(), IID_IUnknown).get(), identity.get()) << i.name;
        got.push_back(std::move(p));
    }
    // From every interface to every other (itself included) and back: the same pointers.
    const size_t n = sizeof kTable / sizeof kTable[0];
    for (size_t a = 0; a < n; ++a)
        for (size_t b = 0; b < n; ++b) {
            Ref<IUnknown> there = query<IUnknown>(got[a].get(), *kTable[b].iid);
            EXPECT_EQ(there.get(), got[b].get()) << pair(kTable[a], kTable[b]);
            if (!there.get()) continue;
            EXPECT_EQ(query<IUnknown>(there.get(), *kTable[a].iid).get(), got[a].get())
                << pair(kTable[b], kTable[a]);
        }
}

TEST(ControlInterfaces, InterfacesOutsideTheTableAreRefused) {
    Ref<IQuenlixCsv> csv = newCsv();
    const Iface absent[] = {
        {"IPersistPropertyBag", &IID_IPersistPropertyBag},
        {"IConnectionPointContainer", &IID_IConnectionPointContainer},
        {"IOleCache", &IID_IOleCache},
        {"IRunnableObject", &IID_IRunnableObject},
        {"IPersistFile", &IID_IPersistFile},
        {"IOleInPlaceSite", &IID_IOleInPlaceSite},
        {"IClassFactory", &IID_IClassFactory},
    };
    for (const Iface& i : absent) {
        void* p = reinterpret_cast<void*>(uintptr_t(0x1234));
        EXPECT_EQ(csv->QueryInterface(*i.iid, &p), E_NOINTERFACE) << i.name;
        EXPECT_EQ(p, nullptr) << i.name;
    }
}

// A pointer for a base interface must be the sub-object whose vtable starts with that base's
// methods; a wrong one calls some other method.
TEST(ControlInterfaces, BaseInterfacesReachTheirOwnMethods) {
    Ref<IQuenlixCsv> csv = newCsv();
    CLSID clsid = GUID_NULL;
    EXPECT_EQ(query<IPersist>(csv.get(), IID_IPersist)->GetClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_QuenlixCsv)) << "IPersist";
    clsid = GUID_NULL;
    EXPECT_EQ(query<IPersistStorage>(csv.get(), IID_IPersistStorage)->GetClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_QuenlixCsv)) << "IPersistStorage";
    clsid = GUID_NULL;
    EXPECT_EQ(query<IOleObject>(csv.get(), IID_IOleObject)->GetUserClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_QuenlixCsv)) << "IOleObject";

    HWND window = reinterpret_cast<HWND>(uintptr_t(1));
    EXPECT_EQ(query<IOleWindow>(csv.get(), IID_IOleWindow)->GetWindow(&window), E_FAIL);
    EXPECT_EQ(window, nullptr) << "a windowless control has no window";
    window = reinterpret_cast<HWND>(uintptr_t(1));
    EXPECT_EQ(
        query<IOleInPlaceActiveObject>(csv.get(), IID_IOleInPlaceActiveObject)->GetWindow(&window),
        E_FAIL);
    EXPECT_EQ(window, nullptr);

    SIZEL viaView = {}, viaObject = {};
    EXPECT_EQ(query<IViewObject2>(csv.get(), IID_IViewObject2)
                  ->GetExtent(DVASPECT_CONTENT, -1, nullptr, &viaView),
              S_OK);
    EXPECT_EQ(query<IOleObject>(csv.get(), IID_IOleObject)->GetExtent(DVASPECT_CONTENT, &viaObject),
              S_OK);
    EXPECT_GT(viaView.cx, 0);
    EXPECT_GT(viaView.cy, 0);
    EXPECT_EQ(viaView.cx, viaObject.cx);
    EXPECT_EQ(viaView.cy, viaObject.cy);
}

// An outer object that counts references and queries, for aggregation.
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

TEST(ControlInterfaces, AggregatedControlInterfacesCountOnTheOuterObject) {
    Outer outer;
    Ref<IUnknown> inner;
    {
        Ref<IClassFactory> f;
        ASSERT_EQ(Dll::get().getClassObject(CLSID_QuenlixCsv, IID_IClassFactory, f.outVoid()),
                  S_OK);
        ASSERT_EQ(f->CreateInstance(&outer, IID_IUnknown, inner.outVoid()), S_OK);
    }
    for (const Iface& i : kTable) {
        IUnknown* p = nullptr;
        ASSERT_EQ(inner->QueryInterface(*i.iid, reinterpret_cast<void**>(&p)), S_OK) << i.name;
        EXPECT_EQ(outer.refs, 2) << i.name;
        const int before = outer.queries;
        void* other = nullptr;
        p->QueryInterface(IID_IUnknown, &other);
        EXPECT_EQ(outer.queries, before + 1) << i.name << " asks the outer object";
        p->Release();
        EXPECT_EQ(outer.refs, 1) << i.name;
    }
    inner.reset();
    EXPECT_EQ(Dll::get().canUnloadNow(), S_OK);
}

TEST(ControlInterfaces, MiscStatusOfEachAspect) {
    Ref<IOleObject> o = newControl<IOleObject>(IID_IOleObject);
    ASSERT_TRUE(o.get());
    const struct {
        const char* what;
        DWORD aspect;
        DWORD want;
    } cases[] = {
        // Recompose on resize, cannot link inside, inside-out, activate when visible, invisible
        // at run time, set client site first.
        {"content", DVASPECT_CONTENT, 132497},
        {"thumbnail", DVASPECT_THUMBNAIL, 0},
        {"icon", DVASPECT_ICON, 0},
        {"print", DVASPECT_DOCPRINT, 0},
    };
    for (const auto& c : cases) {
        DWORD status = 0xFFFFFFFF;
        EXPECT_EQ(o->GetMiscStatus(c.aspect, &status), S_OK) << c.what;
        EXPECT_EQ(status, c.want) << c.what;
    }
    EXPECT_EQ(DWORD(132497), DWORD(OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE |
                                   OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
                                   OLEMISC_INVISIBLEATRUNTIME | OLEMISC_SETCLIENTSITEFIRST));
    EXPECT_EQ(o->GetMiscStatus(DVASPECT_CONTENT, nullptr), E_POINTER);
}

TEST(ControlInterfaces, UserTypeComesFromTheRegistry) {
    Ref<IOleObject> o = newControl<IOleObject>(IID_IOleObject);
    ASSERT_EQ(Dll::get().registerServer(), S_OK);
    LPOLESTR name = nullptr;
    EXPECT_EQ(o->GetUserType(USERCLASSTYPE_FULL, &name), S_OK);
    ASSERT_TRUE(name);
    EXPECT_EQ(std::wstring(name), L"QuenlixCsv Class");
    CoTaskMemFree(name);

    ASSERT_EQ(Dll::get().unregisterServer(), S_OK);
    name = reinterpret_cast<LPOLESTR>(uintptr_t(1));
    EXPECT_TRUE(FAILED(o->GetUserType(USERCLASSTYPE_FULL, &name))) << "class not registered";
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(o->GetUserType(USERCLASSTYPE_FULL, nullptr), E_POINTER);
}

} // namespace
