// The vtable and IDispatch halves of IQuenlixCsv beyond what the script suites (every member, late
// bound, under both engines) cover: null BSTRs in and out and refused null out pointers through the
// vtable; the dispatch ids themselves, argument conversions and refused late-bound calls; the
// class information.
#include "ComTestSupport.h"

#include <functional>
#include <tuple>
#include <vector>

using namespace comtest;

namespace {

typedef IQuenlixCsv I;

// A member with a LONG result: the result, or -99 when the call failed.
template <class Member, class... Args> LONG call(I* o, Member m, Args... args) {
    LONG v = -99;
    return (o->*m)(args..., &v) == S_OK ? v : -99;
}

// A null BSTR in counts as empty text; out, a BSTR is null only for a row that does not exist.
TEST(ComVtable, NullBstrsInAndOut) {
    Ref<IQuenlixCsv> o = newCsv();
    Bstr b;
    EXPECT_EQ(o->put_Delimiter(nullptr), S_OK);
    EXPECT_EQ(o->get_Delimiter(b.out()), S_OK);
    EXPECT_EQ(b.str(), L",");
    EXPECT_EQ(o->SaveToString(b.out()), S_OK);
    EXPECT_FALSE(b.isNull()) << "an empty table saves as empty text, not as a null BSTR";
    EXPECT_EQ(call(o.get(), &I::LoadFromString, nullptr), 1);
    EXPECT_EQ(call(o.get(), &I::LoadFromString, Bstr(L"a,b").get()), 1);
    EXPECT_EQ(call(o.get(), &I::SetCell, 1, 0, nullptr), 1);
    EXPECT_EQ(call(o.get(), &I::GetIndex, nullptr), -1);
    const std::tuple<LONG, LONG, bool> cells[] = {
        {1, 0, false}, {0, 7, false}, {2, 0, true}, {-1, 0, true}};
    for (const auto& [row, col, null] : cells) {
        EXPECT_EQ(o->GetCell(row, col, b.out()), S_OK);
        EXPECT_FALSE(b.isUntouched());
        EXPECT_EQ(b.isNull(), null) << row << "," << col;
        EXPECT_EQ(b.str(), L"");
    }
    EXPECT_EQ(o->GetColumnName(5, b.out()), S_OK);
    EXPECT_FALSE(b.isNull()) << "a column without a name: empty text";
}

// Each member with an out pointer, given null: E_POINTER, and the call has no effect.
TEST(ComVtable, NullOutPointersAreRefused) {
    Ref<IQuenlixCsv> o = newCsv();
    const Bstr b(L"x");
    const BSTR x = b.get();
    const std::function<HRESULT(I*)> calls[] = {
        [](I* p) { return p->get_LastErrorText(nullptr); },
        [](I* p) { return p->get_LastErrorXml(nullptr); },
        [](I* p) { return p->get_LastErrorHtml(nullptr); },
        [x](I* p) { return p->SaveLastError(x, nullptr); },
        [](I* p) { return p->get_Crlf(nullptr); },
        [](I* p) { return p->get_Delimiter(nullptr); },
        [](I* p) { return p->get_HasColumnNames(nullptr); },
        [](I* p) { return p->get_NumColumns(nullptr); },
        [](I* p) { return p->get_NumRows(nullptr); },
        [](I* p) { return p->GetCell(0, 0, nullptr); },
        [](I* p) { return p->GetColumnName(0, nullptr); },
        [x](I* p) { return p->GetIndex(x, nullptr); },
        [](I* p) { return p->GetNumCols(0, nullptr); },
        [x](I* p) { return p->LoadFile(x, nullptr); },
        [x](I* p) { return p->LoadFile2(x, x, nullptr); },
        [x](I* p) { return p->LoadFromString(x, nullptr); },
        [x](I* p) { return p->SaveFile(x, nullptr); },
        [x](I* p) { return p->SaveFile2(x, x, nullptr); },
        [](I* p) { return p->SaveToString(nullptr); },
        [x](I* p) { return p->SetCell(0, 0, x, nullptr); },
        [x](I* p) { return p->SetColumnName(0, x, nullptr); },
    };
    for (const auto& f : calls)
        EXPECT_EQ(f(o.get()), E_POINTER) << "call " << (&f - calls);
    LONG rows = -1;
    EXPECT_EQ(o->get_NumRows(&rows), S_OK);
    EXPECT_EQ(rows, 0) << "neither SetCell nor a load ran";
}

// The members in dispatch-id order, from 1.
const wchar_t* const kNames[] = {
    L"LastErrorText",  L"LastErrorXml",   L"LastErrorHtml", L"SaveLastError", L"Crlf",
    L"Delimiter",      L"HasColumnNames", L"NumColumns",    L"NumRows",       L"GetCell",
    L"GetColumnName",  L"GetIndex",       L"GetNumCols",    L"LoadFile",      L"LoadFile2",
    L"LoadFromString", L"SaveFile",       L"SaveFile2",     L"SaveToString",  L"SetCell",
    L"SetColumnName"};

TEST(ComDispatch, TypeInfoAndDispatchIdsByName) {
    Ref<IQuenlixCsv> o = newCsv();
    UINT count = 0;
    EXPECT_EQ(o->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    Ref<ITypeInfo> info;
    EXPECT_EQ(o->GetTypeInfo(1, 0, info.out()), DISP_E_BADINDEX);
    EXPECT_EQ(o->GetTypeInfo(0, 0, info.out()), S_OK);
    EXPECT_TRUE(info.get());

    std::vector<std::tuple<std::vector<const wchar_t*>, HRESULT, std::vector<DISPID>>> cases;
    for (DISPID id = 1; id <= DISPID(sizeof kNames / sizeof *kNames); ++id)
        cases.push_back({{kNames[id - 1]}, S_OK, {id}});
    cases.push_back({{L"numrows"}, S_OK, {9}});
    cases.push_back({{L"GETCELL", L"row", L"col"}, S_OK, {10, 0, 1}});
    cases.push_back({{L"SetCell", L"content"}, S_OK, {20, 2}});
    cases.push_back({{L"NoSuchMember"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}});
    for (const auto& [names, want, ids] : cases) {
        std::vector<DISPID> got(names.size(), -99);
        EXPECT_EQ(o->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(names.data()),
                                   UINT(names.size()), 0, got.data()),
                  want)
            << narrow(names[0]);
        EXPECT_EQ(got, ids) << narrow(names[0]);
    }
    LPOLESTR crlf = const_cast<LPOLESTR>(L"Crlf");
    DISPID id = 0;
    EXPECT_EQ(o->GetIDsOfNames(IID_IQuenlixCsv, &crlf, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
}

VARIANT vNum(LONG v, VARTYPE type = VT_I4) {
    VARIANT x;
    V_VT(&x) = VT_I4;
    V_I4(&x) = v;
    VariantChangeType(&x, &x, 0, type);
    return x;
}
VARIANT vStr(const wchar_t* s) {
    VARIANT x;
    V_VT(&x) = VT_BSTR;
    V_BSTR(&x) = SysAllocString(s);
    return x;
}

std::wstring failed(HRESULT hr) {
    return L"(hr " + std::to_wstring(hr) + L")";
}

// One late-bound call, arguments in source order; the result as text ("(hr 0x...)" on failure).
std::wstring invoke(IDispatch* d, DISPID id, WORD flags, std::vector<VARIANT> args,
                    const IID& iid = IID_NULL) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID named = DISPID_PROPERTYPUT;
    const bool put = flags == DISPATCH_PROPERTYPUT;
    DISPPARAMS params = {reversed.data(), put ? &named : nullptr, UINT(reversed.size()), put};
    VARIANT result;
    VariantInit(&result);
    UINT argErr = 0;
    HRESULT hr = d->Invoke(id, iid, 0, flags, &params, &result, nullptr, &argErr);
    for (VARIANT& v : args)
        VariantClear(&v);
    std::wstring out =
        hr != S_OK                  ? failed(hr)
        : V_VT(&result) == VT_I4    ? std::to_wstring(V_I4(&result))
        : V_VT(&result) == VT_BSTR  ? std::wstring(V_BSTR(&result) ? V_BSTR(&result) : L"")
        : V_VT(&result) == VT_EMPTY ? L"(empty)"
                                    : L"(type " + std::to_wstring(V_VT(&result)) + L")";
    VariantClear(&result);
    return out;
}

TEST(ComDispatch, LateBoundCallsReachTheWrappers) {
    Ref<IQuenlixCsv> o = newCsv();
    IDispatch* d = o.get();
    const WORD GET = DISPATCH_PROPERTYGET, PUT = DISPATCH_PROPERTYPUT, CALL = DISPATCH_METHOD;
    VARIANT inner = vStr(L"x,y"), byRef; // scripts pass variables by reference
    V_VT(&byRef) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&byRef) = &inner;
    // A missing row is a null BSTR, which the system's Invoke hands on as null or, under Wine, as
    // a copied empty string: no text either way.
    const std::tuple<const char*, DISPID, WORD, std::vector<VARIANT>, std::wstring> calls[] = {
        {"Delimiter = |;", 6, PUT, {vStr(L"|;")}, L"(empty)"},
        {"LoadFromString", 16, CALL, {vStr(L"a|b\r\nc|d")}, L"1"},
        {"NumRows", 9, GET, {}, L"2"},
        {"GetCell of 32-bit integers", 10, CALL, {vNum(0), vNum(0)}, L"a|b"},
        {"GetCell of 16-bit integers", 10, CALL, {vNum(1, VT_I2), vNum(0, VT_I2)}, L"c|d"},
        {"GetCell of a numeric string", 10, CALL, {vStr(L"1"), vNum(0)}, L"c|d"},
        {"GetCell beyond the row", 10, CALL, {vNum(0), vNum(5)}, L""},
        {"GetCell beyond the table", 10, CALL, {vNum(2), vNum(0)}, L""},
        {"SetCell of a reference", 20, CALL, {vNum(0), vNum(0), byRef}, L"1"},
        {"SaveToString", 19, CALL, {}, L"x,y\r\nc|d\r\n"}, // ';' was detected: no quotes
        {"unknown dispatch id", 99, CALL, {}, failed(DISP_E_MEMBERNOTFOUND)},
        {"missing argument", 10, CALL, {vNum(0)}, failed(DISP_E_BADPARAMCOUNT)},
        {"put of a read-only property", 9, PUT, {vNum(0)}, failed(DISP_E_MEMBERNOTFOUND)},
    };
    for (const auto& [what, id, flags, args, want] : calls)
        EXPECT_EQ(invoke(d, id, flags, args), want) << what;
    VariantClear(&inner);
    EXPECT_EQ(invoke(d, 5, GET, {}, IID_IQuenlixCsv), failed(DISP_E_UNKNOWNINTERFACE));
}

TEST(ComDispatch, ClassInfoDescribesTheCoclassWithoutEvents) {
    Ref<IProvideClassInfo2> pci = query<IProvideClassInfo2>(newCsv().get(), IID_IProvideClassInfo2);
    Ref<ITypeInfo> info;
    ASSERT_EQ(pci->GetClassInfo(info.out()), S_OK);
    Bstr name;
    EXPECT_EQ(info->GetDocumentation(MEMBERID_NIL, name.out(), nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(name.str(), L"QuenlixCsv") << "the coclass";
    // No source interface for the default kind; other kinds are not known to the method.
    const std::tuple<DWORD, HRESULT> kinds[] = {
        {GUIDKIND_DEFAULT_SOURCE_DISP_IID, E_UNEXPECTED}, {0, E_INVALIDARG}, {2, E_INVALIDARG}};
    for (const auto& [kind, want] : kinds) {
        GUID g = IID_IUnknown;
        EXPECT_EQ(pci->GetGUID(kind, &g), want) << kind;
        EXPECT_TRUE(IsEqualGUID(g, GUID_NULL)) << kind;
    }
}

} // namespace
