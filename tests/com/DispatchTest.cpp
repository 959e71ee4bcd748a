// IQuenlixCsv beyond what the script suites (every member, late bound by name) cover: null BSTRs
// and null out pointers through the vtable, the dispatch ids clients bound by number keep, refused
// late-bound calls, and the class information.
#include "ComTestSupport.h"

#include <functional>
#include <tuple>

using namespace comtest;

namespace {

typedef IQuenlixCsv I;

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

// The scripts bind by name, so these numbers are checked here only: the members from 1 on.
TEST(ComDispatch, DispatchIdsTypeInfoAndRefusedCalls) {
    const wchar_t* const names[] = {
        L"LastErrorText",  L"LastErrorXml",   L"LastErrorHtml", L"SaveLastError", L"Crlf",
        L"Delimiter",      L"HasColumnNames", L"NumColumns",    L"NumRows",       L"GetCell",
        L"GetColumnName",  L"GetIndex",       L"GetNumCols",    L"LoadFile",      L"LoadFile2",
        L"LoadFromString", L"SaveFile",       L"SaveFile2",     L"SaveToString",  L"SetCell",
        L"SetColumnName",  L"NoSuchMember"};
    Ref<IQuenlixCsv> o = newCsv();
    for (DISPID id = 1; id <= DISPID(sizeof names / sizeof *names); ++id) {
        LPOLESTR name = const_cast<LPOLESTR>(names[id - 1]);
        DISPID got = -99;
        const bool known = id < DISPID(sizeof names / sizeof *names);
        EXPECT_EQ(o->GetIDsOfNames(IID_NULL, &name, 1, 0, &got), known ? S_OK : DISP_E_UNKNOWNNAME);
        EXPECT_EQ(got, known ? id : DISPID_UNKNOWN) << id;
        EXPECT_EQ(o->GetIDsOfNames(IID_IQuenlixCsv, &name, 1, 0, &got), DISP_E_UNKNOWNINTERFACE);
    }
    UINT count = 0;
    EXPECT_EQ(o->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    Ref<ITypeInfo> info;
    EXPECT_EQ(o->GetTypeInfo(1, 0, info.out()), DISP_E_BADINDEX);
    EXPECT_EQ(o->GetTypeInfo(0, 0, info.out()), S_OK);
    EXPECT_TRUE(info.get());
    DISPPARAMS none = {};
    VARIANT result = {};
    EXPECT_EQ(o->Invoke(5, IID_IQuenlixCsv, 0, DISPATCH_PROPERTYGET, &none, &result, 0, 0),
              DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(o->Invoke(99, IID_NULL, 0, DISPATCH_METHOD, &none, &result, 0, 0),
              DISP_E_MEMBERNOTFOUND);
}

TEST(ComDispatch, ClassInfoDescribesTheCoclassWithoutEvents) {
    Ref<IProvideClassInfo2> pci = query<IProvideClassInfo2>(newCsv().get(), IID_IProvideClassInfo2);
    Ref<ITypeInfo> info;
    ASSERT_EQ(pci->GetClassInfo(info.out()), S_OK);
    Bstr name;
    EXPECT_EQ(info->GetDocumentation(MEMBERID_NIL, name.out(), nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(name.str(), L"QuenlixCsv") << "the coclass";
    // No source interface for the default kind; other kinds are not known to the method.
    const std::tuple<DWORD, HRESULT> kinds[] = {{GUIDKIND_DEFAULT_SOURCE_DISP_IID, E_UNEXPECTED},
                                                {2, E_INVALIDARG}};
    for (const auto& [kind, want] : kinds) {
        GUID g = IID_IUnknown;
        EXPECT_EQ(pci->GetGUID(kind, &g), want) << kind;
        EXPECT_TRUE(IsEqualGUID(g, GUID_NULL)) << kind;
    }
}

} // namespace
