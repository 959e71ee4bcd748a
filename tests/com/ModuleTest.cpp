// The module as a client meets it: the DLL's exports and class factory; IQuenlixCsv beyond what
// the script suite (every member, late bound by name) covers: null BSTRs and null out pointers
// through the vtable, the dispatch ids clients bound by number keep, refused late-bound calls and
// the class information; and the registration-script reader beyond the one script the registry
// checks run. The registration itself is checked after regsvr32 by run_scripts.sh, the resources
// in the file by check_image.py.
#include "ComTestSupport.h"
#include "com/RegScript.h"

#include <string>
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

// The module may be unloaded when no object or server lock is left, though a client may still
// hold the factory.
TEST(ComExports, CanUnloadNowFollowsObjectsAndLocks) {
    EXPECT_EQ(Dll::get().canUnloadNow(), S_OK) << "nothing held";
    Ref<IClassFactory> f = factory();
    EXPECT_EQ(Dll::get().canUnloadNow(), S_OK) << "only the factory held";
    Ref<IQuenlixCsv> a, b;
    f->CreateInstance(nullptr, IID_IQuenlixCsv, a.outVoid());
    f->CreateInstance(nullptr, IID_IQuenlixCsv, b.outVoid());
    b.reset();
    EXPECT_EQ(Dll::get().canUnloadNow(), S_FALSE) << "an object alive, factory held";
    f.reset();
    EXPECT_EQ(Dll::get().canUnloadNow(), S_FALSE) << "an object alive, factory let go";
    a.reset();
    EXPECT_EQ(Dll::get().canUnloadNow(), S_OK) << "none";
    factory()->LockServer(TRUE);
    EXPECT_EQ(Dll::get().canUnloadNow(), S_FALSE) << "server locked";
    factory()->LockServer(FALSE);
    EXPECT_EQ(Dll::get().canUnloadNow(), S_OK) << "lock released";
}

// Out, a BSTR is null only for a row that does not exist (null BSTRs in are the text layer's).
TEST(ComVtable, BstrsOutAreNullOnlyForMissingRows) {
    Ref<IQuenlixCsv> o = newCsv();
    Bstr b;
    EXPECT_EQ(o->SaveToString(b.out()), S_OK);
    EXPECT_FALSE(b.isNull()) << "an empty table saves as empty text, not as a null BSTR";
    LONG ok = 0;
    EXPECT_EQ(o->LoadFromString(Bstr(L"a,b\n,").get(), &ok), S_OK);
    EXPECT_EQ(ok, 1);
    const std::tuple<LONG, LONG, bool> cells[] = {
        {1, 0, false}, {0, 7, false}, {2, 0, true}, {-1, 0, true}};
    for (const auto& [row, col, null] : cells) {
        EXPECT_EQ(o->GetCell(row, col, b.out()), S_OK);
        EXPECT_EQ(b.isNull(), null) << row << "," << col;
        EXPECT_EQ(b.str(), L"") << row << "," << col;
    }
    EXPECT_EQ(o->GetColumnName(5, b.out()), S_OK);
    EXPECT_FALSE(b.isNull()) << "a column without a name: empty text";
}

// Each member with an out pointer, as the type library lays out the vtable, given null:
// E_POINTER, and the call has no effect.
TEST(ComVtable, NullOutPointersAreRefused) {
    Ref<IQuenlixCsv> o = newCsv();
    Ref<ITypeInfo> dispatch, vtable;
    HREFTYPE half = 0;
    ASSERT_EQ(o->GetTypeInfo(0, 0, dispatch.out()), S_OK);
    ASSERT_EQ(dispatch->GetRefTypeOfImplType(-1, &half), S_OK);
    ASSERT_EQ(dispatch->GetRefTypeInfo(half, vtable.out()), S_OK);
    const Bstr x(L"x");
    int withOut = 0;
    FUNCDESC* fd = nullptr;
    for (UINT i = 0; SUCCEEDED(vtable->GetFuncDesc(i, &fd)); ++i, vtable->ReleaseFuncDesc(fd)) {
        VARIANT args[4] = {}, result = {};
        VARIANTARG* argp[4];
        VARTYPE types[4];
        ASSERT_LE(fd->cParams, 4) << "member " << fd->memid;
        for (SHORT p = 0; p < fd->cParams; ++p) { // BSTR x, LONG 0, out pointer null
            const VARTYPE t = fd->lprgelemdescParam[p].tdesc.vt;
            types[p] = args[p].vt = t == VT_PTR ? VT_BYREF | VT_I4 : t;
            args[p].bstrVal = t == VT_BSTR ? x.get() : nullptr;
            argp[p] = &args[p];
        }
        if (!fd->cParams || args[fd->cParams - 1].vt != (VT_BYREF | VT_I4)) continue;
        ++withOut;
        EXPECT_EQ(DispCallFunc(o.get(), fd->oVft, CC_STDCALL, VT_ERROR, fd->cParams, types, argp,
                               &result),
                  S_OK);
        EXPECT_EQ(result.scode, E_POINTER) << "member " << fd->memid;
    }
    EXPECT_EQ(withOut, 21) << "every member but the three property puts";
    LONG rows = -1;
    EXPECT_EQ(o->get_NumRows(&rows), S_OK);
    EXPECT_EQ(rows, 0) << "neither SetCell nor a load ran";
}

// The scripts bind by name, so these numbers (data/dispatch-ids.txt) are checked here only; then
// the type information, refused late-bound calls and the class information.
TEST(ComDispatch, DispatchIdsTypeAndClassInfoAndRefusedCalls) {
    Ref<IQuenlixCsv> o = newCsv();
    for (const auto& row : testfs::caseRows("com/data/dispatch-ids.txt")) {
        ASSERT_EQ(row.size(), 2u);
        std::wstring text(row[1].begin(), row[1].end());
        LPOLESTR name = text.data();
        const DISPID want = std::stoi(row[0]);
        DISPID got = -99;
        EXPECT_EQ(o->GetIDsOfNames(IID_NULL, &name, 1, 0, &got),
                  want == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK);
        EXPECT_EQ(got, want) << row[1];
        EXPECT_EQ(o->GetIDsOfNames(IID_IQuenlixCsv, &name, 1, 0, &got), DISP_E_UNKNOWNINTERFACE);
    }
    UINT count = 0;
    EXPECT_EQ(o->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    Ref<ITypeInfo> info;
    EXPECT_EQ(o->GetTypeInfo(1, 0, info.out()), DISP_E_BADINDEX);
    DISPPARAMS none = {};
    VARIANT result = {};
    EXPECT_EQ(o->Invoke(5, IID_IQuenlixCsv, 0, DISPATCH_PROPERTYGET, &none, &result, 0, 0),
              DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(o->Invoke(99, IID_NULL, 0, DISPATCH_METHOD, &none, &result, 0, 0),
              DISP_E_MEMBERNOTFOUND);
    // The class information: the coclass, without events.
    Ref<IProvideClassInfo2> pci = query<IProvideClassInfo2>(o.get(), IID_IProvideClassInfo2);
    ASSERT_EQ(pci->GetClassInfo(info.out()), S_OK);
    Bstr name;
    EXPECT_EQ(info->GetDocumentation(MEMBERID_NIL, name.out(), nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(name.str(), L"QuenlixCsv");
    // No source interface for the default kind; other kinds are not known to the method.
    const std::tuple<DWORD, HRESULT> kinds[] = {{GUIDKIND_DEFAULT_SOURCE_DISP_IID, E_UNEXPECTED},
                                                {2, E_INVALIDARG}};
    for (const auto& [kind, want] : kinds) {
        GUID g = IID_IUnknown;
        EXPECT_EQ(pci->GetGUID(kind, &g), want) << kind;
        EXPECT_TRUE(IsEqualGUID(g, GUID_NULL)) << kind;
    }
}

// Lines the reader must refuse, and %NAME% expansion into a buffer of the caller's size (the
// module path is the installer's, of any length).
TEST(RegScript, RefusedLinesAndExpansionLimits) {
    const RegScriptVariable vars[] = {{"MODULE", L"C:\\dir with 100%\\Q.dll"}, {"CLSID", L"{G}"}};
    for (const auto& c : testfs::caseRows("com/data/regscript.txt")) {
        ASSERT_EQ(c.size(), c[0] == "expand" ? 4u : 2u);
        const std::string in = testfs::unescape(c[1]);
        RegScript r;
        if (c[0] == "refuse") {
            EXPECT_FALSE(r.parse(in.c_str(), int(in.size()))) << in;
            EXPECT_EQ(r.errorLine(), 1) << in;
            continue;
        }
        const std::string want = c[3] == "-" ? "" : testfs::unescape(c[3]);
        wchar_t out[64] = {};
        const int n = RegScript::expand(RegScriptText{in.c_str(), int(in.size())}, vars, 2, out,
                                        std::stoi(c[2]));
        EXPECT_EQ(n, c[3] == "-" ? -1 : int(want.size())) << in;
        EXPECT_EQ(std::wstring(n >= 0 ? out : L""), std::wstring(want.begin(), want.end())) << in;
    }
}

} // namespace
