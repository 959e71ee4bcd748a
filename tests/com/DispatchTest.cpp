// The type library carried in the DLL and the IDispatch half of the object: the interface's
// members, dispatch ids, vtable slots, help strings and parameter directions, and late-bound
// calls that end in the same wrappers as vtable calls.
#include "ComTestSupport.h"

#include <gtest/gtest.h>

#include <ocidl.h>

#include <vector>

using namespace comtest;

namespace {

enum Dir { In, OutRet };
struct Param {
    Dir dir;
    VARTYPE type;        // VT_BSTR or VT_I4
    const wchar_t* name; // null for the unnamed value of a property put
};
struct Member {
    const wchar_t* name;
    DISPID id;
    INVOKEKIND kind;
    std::vector<Param> params;
};
const INVOKEKIND GET = INVOKE_PROPERTYGET, PUT = INVOKE_PROPERTYPUT, FUNC = INVOKE_FUNC;

// The interface as clients compiled against it rely on it, in vtable order after IDispatch.
const std::vector<Member> kMembers = {
    {L"LastErrorText", 1, GET, {{OutRet, VT_BSTR, L"pVal"}}},
    {L"LastErrorXml", 2, GET, {{OutRet, VT_BSTR, L"pVal"}}},
    {L"LastErrorHtml", 3, GET, {{OutRet, VT_BSTR, L"pVal"}}},
    {L"SaveLastError", 4, FUNC, {{In, VT_BSTR, L"logFilename"}, {OutRet, VT_I4, L"success"}}},
    {L"Crlf", 5, GET, {{OutRet, VT_I4, L"propVal"}}},
    {L"Crlf", 5, PUT, {{In, VT_I4, nullptr}}},
    {L"Delimiter", 6, GET, {{OutRet, VT_BSTR, L"propVal"}}},
    {L"Delimiter", 6, PUT, {{In, VT_BSTR, nullptr}}},
    {L"HasColumnNames", 7, GET, {{OutRet, VT_I4, L"propVal"}}},
    {L"HasColumnNames", 7, PUT, {{In, VT_I4, nullptr}}},
    {L"NumColumns", 8, GET, {{OutRet, VT_I4, L"propVal"}}},
    {L"NumRows", 9, GET, {{OutRet, VT_I4, L"propVal"}}},
    {L"GetCell", 10, FUNC, {{In, VT_I4, L"row"}, {In, VT_I4, L"col"}, {OutRet, VT_BSTR, L"pVal"}}},
    {L"GetColumnName", 11, FUNC, {{In, VT_I4, L"index"}, {OutRet, VT_BSTR, L"pVal"}}},
    {L"GetIndex", 12, FUNC, {{In, VT_BSTR, L"columnName"}, {OutRet, VT_I4, L"pVal"}}},
    {L"GetNumCols", 13, FUNC, {{In, VT_I4, L"row"}, {OutRet, VT_I4, L"pVal"}}},
    {L"LoadFile", 14, FUNC, {{In, VT_BSTR, L"filename"}, {OutRet, VT_I4, L"pVal"}}},
    {L"LoadFile2",
     15,
     FUNC,
     {{In, VT_BSTR, L"filename"}, {In, VT_BSTR, L"charset"}, {OutRet, VT_I4, L"pVal"}}},
    {L"LoadFromString", 16, FUNC, {{In, VT_BSTR, L"csvData"}, {OutRet, VT_I4, L"pVal"}}},
    {L"SaveFile", 17, FUNC, {{In, VT_BSTR, L"filename"}, {OutRet, VT_I4, L"pVal"}}},
    {L"SaveFile2",
     18,
     FUNC,
     {{In, VT_BSTR, L"filename"}, {In, VT_BSTR, L"charset"}, {OutRet, VT_I4, L"pVal"}}},
    {L"SaveToString", 19, FUNC, {{OutRet, VT_BSTR, L"pVal"}}},
    {L"SetCell",
     20,
     FUNC,
     {{In, VT_I4, L"row"},
      {In, VT_I4, L"col"},
      {In, VT_BSTR, L"content"},
      {OutRet, VT_I4, L"pVal"}}},
    {L"SetColumnName",
     21,
     FUNC,
     {{In, VT_I4, L"index"}, {In, VT_BSTR, L"columnName"}, {OutRet, VT_I4, L"pVal"}}},
};

Ref<ITypeLib> dllTypeLib() {
    Ref<ITypeLib> lib;
    EXPECT_EQ(LoadTypeLibEx(Dll::path().c_str(), REGKIND_NONE, lib.out()), S_OK);
    return lib;
}

std::wstring doc(ITypeInfo* info, MEMBERID id) {
    BSTR name = nullptr, help = nullptr;
    info->GetDocumentation(id, &name, &help, nullptr, nullptr);
    std::wstring h = help ? help : L"";
    SysFreeString(name);
    SysFreeString(help);
    return h;
}

TEST(ComTypeLib, LibraryClassAndInterfaceAttributes) {
    Ref<ITypeLib> lib = dllTypeLib();
    ASSERT_TRUE(lib.get());
    TLIBATTR* la = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&la), S_OK);
    EXPECT_TRUE(IsEqualGUID(la->guid, LIBID_QUENLIXCSVLib));
    EXPECT_EQ(la->wMajorVerNum, 1);
    EXPECT_EQ(la->wMinorVerNum, 0);
    EXPECT_EQ(la->syskind, SYS_WIN32);
    lib->ReleaseTLibAttr(la);
    BSTR name = nullptr, help = nullptr;
    ASSERT_EQ(lib->GetDocumentation(-1, &name, &help, nullptr, nullptr), S_OK);
    EXPECT_STREQ(name, L"QUENLIXCSVLib");
    EXPECT_STREQ(help, L"QuenlixCsv 1.0 Type Library");
    SysFreeString(name);
    SysFreeString(help);

    struct Case {
        const GUID* guid;
        bool vtableHalf; // of a dual interface
        const wchar_t* help;
        TYPEKIND kind;
        WORD flags; // that must be set
    } cases[] = {
        {&CLSID_QuenlixCsv, false, L"QuenlixCsv Class", TKIND_COCLASS, TYPEFLAG_FCANCREATE},
        {&IID_IQuenlixCsv, false, L"IQuenlixCsv Interface", TKIND_DISPATCH,
         TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE},
        {&IID_IQuenlixCsv, true, L"IQuenlixCsv Interface", TKIND_INTERFACE,
         TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE},
    };
    for (const Case& c : cases) {
        Ref<ITypeInfo> info;
        ASSERT_EQ(lib->GetTypeInfoOfGuid(*c.guid, info.out()), S_OK) << narrow(c.help);
        if (c.vtableHalf) {
            HREFTYPE ref = 0;
            ASSERT_EQ(info->GetRefTypeOfImplType(-1, &ref), S_OK);
            Ref<ITypeInfo> half;
            ASSERT_EQ(info->GetRefTypeInfo(ref, half.out()), S_OK);
            info = std::move(half);
        }
        TYPEATTR* ta = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&ta), S_OK);
        EXPECT_EQ(ta->typekind, c.kind) << narrow(c.help);
        EXPECT_EQ(ta->wTypeFlags & c.flags, c.flags) << narrow(c.help);
        info->ReleaseTypeAttr(ta);
        EXPECT_EQ(doc(info.get(), MEMBERID_NIL), c.help);
    }
}

TEST(ComTypeLib, InterfaceMembersInVtableOrder) {
    Ref<ITypeLib> lib = dllTypeLib();
    ASSERT_TRUE(lib.get());
    Ref<ITypeInfo> dispatchHalf, vtableHalf;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(IID_IQuenlixCsv, dispatchHalf.out()), S_OK);
    HREFTYPE ref = 0;
    ASSERT_EQ(dispatchHalf->GetRefTypeOfImplType(-1, &ref), S_OK);
    ASSERT_EQ(dispatchHalf->GetRefTypeInfo(ref, vtableHalf.out()), S_OK);
    TYPEATTR* ta = nullptr;
    ASSERT_EQ(vtableHalf->GetTypeAttr(&ta), S_OK);
    EXPECT_EQ(size_t(ta->cFuncs), kMembers.size());
    EXPECT_EQ(size_t(ta->cbSizeVft), (7 + kMembers.size()) * sizeof(void*));
    vtableHalf->ReleaseTypeAttr(ta);

    for (size_t i = 0; i < kMembers.size(); ++i) {
        const Member& m = kMembers[i];
        const std::string what = narrow(m.name) + (m.kind == PUT ? " put" : "");
        FUNCDESC* fd = nullptr;
        ASSERT_EQ(vtableHalf->GetFuncDesc(UINT(i), &fd), S_OK) << what;
        EXPECT_EQ(fd->memid, m.id) << what;
        EXPECT_EQ(fd->invkind, m.kind) << what;
        EXPECT_EQ(fd->oVft, SHORT((7 + i) * sizeof(void*))) << what;
        EXPECT_EQ(fd->elemdescFunc.tdesc.vt, VT_HRESULT) << what;
        ASSERT_EQ(size_t(fd->cParams), m.params.size()) << what;
        // Member name, then parameter names (a property put's value has none).
        BSTR names[8] = {};
        UINT numNames = 0;
        vtableHalf->GetNames(fd->memid, names, 8, &numNames);
        if (m.kind != PUT) {
            EXPECT_EQ(size_t(numNames), m.params.size() + 1) << what;
        }
        for (size_t p = 0; p < m.params.size(); ++p) {
            const ELEMDESC& e = fd->lprgelemdescParam[p];
            const Param& want = m.params[p];
            if (want.dir == In) {
                EXPECT_EQ(e.tdesc.vt, want.type) << what << " param " << p;
                EXPECT_EQ(e.paramdesc.wParamFlags & (PARAMFLAG_FIN | PARAMFLAG_FOUT), PARAMFLAG_FIN)
                    << what << " param " << p;
            } else {
                ASSERT_EQ(e.tdesc.vt, VT_PTR) << what;
                EXPECT_EQ(e.tdesc.lptdesc->vt, want.type) << what;
                EXPECT_EQ(e.paramdesc.wParamFlags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL) << what;
            }
            if (want.name && m.kind != PUT && numNames > p + 1) {
                EXPECT_STREQ(names[p + 1], want.name) << what;
            }
        }
        for (UINT n = 0; n < numNames; ++n)
            SysFreeString(names[n]);
        vtableHalf->ReleaseFuncDesc(fd);
        const std::wstring help = std::wstring(m.kind == FUNC ? L"method " : L"property ") + m.name;
        EXPECT_EQ(doc(vtableHalf.get(), m.id), help) << what;
    }
}

TEST(ComDispatch, TypeInfoAndNames) {
    Ref<IQuenlixCsv> o = newCsv();
    ASSERT_TRUE(o.get());
    UINT count = 0;
    EXPECT_EQ(o->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    Ref<ITypeInfo> info;
    EXPECT_EQ(o->GetTypeInfo(1, 0, info.out()), DISP_E_BADINDEX);
    ASSERT_EQ(o->GetTypeInfo(0, 0, info.out()), S_OK);
    TYPEATTR* ta = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&ta), S_OK);
    EXPECT_TRUE(IsEqualGUID(ta->guid, IID_IQuenlixCsv));
    info->ReleaseTypeAttr(ta);

    for (const Member& m : kMembers) {
        LPOLESTR name = const_cast<LPOLESTR>(m.name);
        DISPID id = -99;
        EXPECT_EQ(o->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK) << narrow(m.name);
        EXPECT_EQ(id, m.id) << narrow(m.name);
    }
    struct Case {
        std::vector<const wchar_t*> names;
        HRESULT want;
        std::vector<DISPID> ids;
    } cases[] = {
        {{L"numrows"}, S_OK, {9}},
        {{L"GETCELL", L"row", L"col"}, S_OK, {10, 0, 1}},
        {{L"SetCell", L"content"}, S_OK, {20, 2}},
        {{L"NoSuchMember"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
    };
    for (const Case& c : cases) {
        std::vector<LPOLESTR> names;
        for (const wchar_t* n : c.names)
            names.push_back(const_cast<LPOLESTR>(n));
        std::vector<DISPID> ids(names.size(), -99);
        EXPECT_EQ(o->GetIDsOfNames(IID_NULL, names.data(), UINT(names.size()), 0, ids.data()),
                  c.want)
            << narrow(c.names[0]);
        EXPECT_EQ(ids, c.ids) << narrow(c.names[0]);
    }
    LPOLESTR crlf = const_cast<LPOLESTR>(L"Crlf");
    DISPID id = 0;
    EXPECT_EQ(o->GetIDsOfNames(IID_IQuenlixCsv, &crlf, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
}

// One late-bound call: arguments are given in source order here and reversed for Invoke.
struct Call {
    IDispatch* d;
    HRESULT hr = S_OK;
    VARIANT result;

    Call(IDispatch* disp, DISPID id, WORD flags, std::vector<VARIANT> args) : d(disp) {
        VariantInit(&result);
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params = {reversed.data(), flags == DISPATCH_PROPERTYPUT ? &named : nullptr,
                             UINT(reversed.size()), flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
        EXCEPINFO ei = {};
        UINT argErr = 0;
        hr = d->Invoke(id, IID_NULL, 0, flags, &params, &result, &ei, &argErr);
        for (VARIANT& v : args)
            VariantClear(&v);
    }
    ~Call() { VariantClear(&result); }
};
VARIANT vI4(LONG v) {
    VARIANT x;
    V_VT(&x) = VT_I4;
    V_I4(&x) = v;
    return x;
}
VARIANT vI2(SHORT v) {
    VARIANT x;
    V_VT(&x) = VT_I2;
    V_I2(&x) = v;
    return x;
}
VARIANT vStr(const wchar_t* s) {
    VARIANT x;
    V_VT(&x) = VT_BSTR;
    V_BSTR(&x) = SysAllocString(s);
    return x;
}
const WORD kGet = DISPATCH_PROPERTYGET, kPut = DISPATCH_PROPERTYPUT, kMethod = DISPATCH_METHOD;

TEST(ComDispatch, InvokeReachesTheWrappers) {
    Ref<IQuenlixCsv> o = newCsv();
    ASSERT_TRUE(o.get());
    IDispatch* d = o.get();
    {
        Call put(d, 5, kPut, {vI4(-1)});
        EXPECT_EQ(put.hr, S_OK);
        Call get(d, 5, kGet, {});
        EXPECT_EQ(get.hr, S_OK);
        EXPECT_EQ(V_VT(&get.result), VT_I4);
        EXPECT_EQ(V_I4(&get.result), 1) << "Crlf written as -1 reads back as 1";
    }
    {
        Call put(d, 6, kPut, {vStr(L"|;")});
        EXPECT_EQ(put.hr, S_OK);
        Call get(d, 6, kGet, {});
        ASSERT_EQ(V_VT(&get.result), VT_BSTR);
        EXPECT_STREQ(V_BSTR(&get.result), L"|");
    }
    {
        Call load(d, 16, kMethod, {vStr(L"a|b\r\nc|d")});
        ASSERT_EQ(V_VT(&load.result), VT_I4);
        EXPECT_EQ(V_I4(&load.result), 1);
        Call rows(d, 9, kGet, {});
        EXPECT_EQ(V_I4(&rows.result), 2);
    }
    struct CellCase {
        VARIANT row, col;
        const wchar_t* want; // null: a null BSTR
    } cells[] = {
        {vI4(0), vI4(0), L"a|b"},     // the load detected ';', so the row is one cell
        {vI2(1), vI2(0), L"c|d"},     // 16-bit integers, as scripts pass small numbers
        {vStr(L"1"), vI4(0), L"c|d"}, // a numeric string is converted
        {vI4(0), vI4(5), L""},        // a column beyond the row: empty text
        {vI4(2), vI4(0), nullptr},    // a row beyond NumRows: a null BSTR, still S_OK
    };
    for (CellCase& c : cells) {
        Call get(d, 10, kMethod, {c.row, c.col});
        EXPECT_EQ(get.hr, S_OK);
        ASSERT_EQ(V_VT(&get.result), VT_BSTR);
        if (c.want) {
            EXPECT_STREQ(V_BSTR(&get.result), c.want);
        } else {
            // The wrapper stores a null BSTR (ComMembers.GetCellGivesNullOnlyForMissingRows);
            // the system's ITypeInfo::Invoke hands it on as a null or, under Wine, as a copied
            // empty string. Either way no text.
            EXPECT_EQ(SysStringLen(V_BSTR(&get.result)), 0u);
        }
    }
    {
        // Scripts pass variables by reference.
        VARIANT inner = vStr(L"x,y");
        VARIANT byRef;
        V_VT(&byRef) = VT_VARIANT | VT_BYREF;
        V_VARIANTREF(&byRef) = &inner;
        Call set(d, 20, kMethod, {vI4(0), vI4(0), byRef});
        EXPECT_EQ(set.hr, S_OK);
        EXPECT_EQ(V_I4(&set.result), 1);
        VariantClear(&inner);
        Call saved(d, 19, kMethod, {});
        ASSERT_EQ(V_VT(&saved.result), VT_BSTR);
        EXPECT_STREQ(V_BSTR(&saved.result), L"x,y\r\nc|d\r\n")
            << "no quoting: ';' is the delimiter";
    }
}

TEST(ComDispatch, InvokeRefusesWhatTheInterfaceDoesNotHave) {
    Ref<IQuenlixCsv> o = newCsv();
    ASSERT_TRUE(o.get());
    struct Case {
        const char* what;
        DISPID id;
        WORD flags;
        int numArgs;
        HRESULT want;
    } cases[] = {
        {"unknown dispatch id", 99, kMethod, 0, DISP_E_MEMBERNOTFOUND},
        {"missing argument", 10, kMethod, 1, DISP_E_BADPARAMCOUNT},
        {"put of a read-only property", 9, kPut, 1, DISP_E_MEMBERNOTFOUND},
    };
    for (const Case& c : cases) {
        std::vector<VARIANT> args;
        for (int i = 0; i < c.numArgs; ++i)
            args.push_back(vI4(0));
        Call call(o.get(), c.id, c.flags, args);
        EXPECT_EQ(call.hr, c.want) << c.what;
    }
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    VARIANT r;
    VariantInit(&r);
    EXPECT_EQ(o->Invoke(5, IID_IQuenlixCsv, 0, kGet, &none, &r, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
}

TEST(ComDispatch, ClassInfoDescribesTheCoclass) {
    Ref<IQuenlixCsv> o = newCsv();
    Ref<IProvideClassInfo2> pci;
    ASSERT_EQ(o->QueryInterface(IID_IProvideClassInfo2, pci.outVoid()), S_OK);
    Ref<ITypeInfo> info;
    ASSERT_EQ(pci->GetClassInfo(info.out()), S_OK);
    TYPEATTR* ta = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&ta), S_OK);
    EXPECT_TRUE(IsEqualGUID(ta->guid, CLSID_QuenlixCsv));
    EXPECT_EQ(ta->typekind, TKIND_COCLASS);
    info->ReleaseTypeAttr(ta);
    GUID g = IID_IUnknown;
    EXPECT_EQ(pci->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &g), E_UNEXPECTED)
        << "no event interface";
    EXPECT_TRUE(IsEqualGUID(g, GUID_NULL));
    // Kinds the method does not know are E_INVALIDARG (which the default source kind must never
    // answer).
    for (DWORD kind : {DWORD(0), DWORD(2)}) {
        g = IID_IUnknown;
        EXPECT_EQ(pci->GetGUID(kind, &g), E_INVALIDARG) << kind;
        EXPECT_TRUE(IsEqualGUID(g, GUID_NULL)) << kind;
    }
}

} // namespace
