// Every member of IQuenlixCsv through the vtable, as an early-bound client calls it: what the
// wrappers add to the table engine (tested on its own under tests/csv): flags as 1 or 0, null and
// empty BSTRs in and out, file names and charsets passed on, reports after a failed load, and
// E_POINTER for a missing out pointer.
#include "ComTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <tuple>
#include <vector>

using namespace comtest;

namespace {

typedef IQuenlixCsv I;

std::wstring str(I* o, HRESULT (STDMETHODCALLTYPE I::*get)(BSTR*)) {
    Bstr b;
    EXPECT_EQ((o->*get)(b.out()), S_OK);
    EXPECT_FALSE(b.isNull());
    return b.str();
}
LONG num(I* o, HRESULT (STDMETHODCALLTYPE I::*get)(LONG*)) {
    LONG v = -99;
    EXPECT_EQ((o->*get)(&v), S_OK);
    return v;
}
// The cell, or "(null)" for a null BSTR.
std::wstring cell(I* o, LONG row, LONG col) {
    Bstr b;
    EXPECT_EQ(o->GetCell(row, col, b.out()), S_OK);
    EXPECT_FALSE(b.isUntouched());
    return b.isNull() ? L"(null)" : b.str();
}
// A member with a LONG result: the result, or -99 when the call failed.
template <class Member, class... Args> LONG call(I* o, Member m, Args... args) {
    LONG v = -99;
    return (o->*m)(args..., &v) == S_OK ? v : -99;
}

// Flags read back as 1 or 0 whatever was written; a null BSTR in counts as empty text; out, a
// BSTR is null only for a row that does not exist.
TEST(ComMembers, FlagsCountsAndBstrsInAndOut) {
    Ref<IQuenlixCsv> o = newCsv();
    ASSERT_TRUE(o.get());
    for (LONG w : {1L, -1L, 2L, LONG(INT_MAX), LONG(INT_MIN), 0L}) {
        EXPECT_EQ(o->put_Crlf(w), S_OK);
        EXPECT_EQ(o->put_HasColumnNames(w), S_OK);
        EXPECT_EQ(num(o.get(), &I::get_Crlf), w ? 1 : 0) << w;
        EXPECT_EQ(num(o.get(), &I::get_HasColumnNames), w ? 1 : 0) << w;
    }
    // Written (null: a null BSTR), read back: the first character, or no change.
    const std::tuple<const wchar_t*, const wchar_t*> delimiters[] = {
        {nullptr, L","}, {L"", L","}, {L"|;", L"|"}, {nullptr, L"|"}};
    for (const auto& [written, read] : delimiters) {
        EXPECT_EQ(o->put_Delimiter(Bstr(written).get()), S_OK);
        EXPECT_EQ(str(o.get(), &I::get_Delimiter), read);
    }
    EXPECT_EQ(str(o.get(), &I::SaveToString), L"") << "empty, but not a null BSTR";
    EXPECT_EQ(call(o.get(), &I::LoadFromString, nullptr), 1);
    EXPECT_EQ(call(o.get(), &I::LoadFromString, Bstr(L"a,b\r\nc").get()), 1);
    EXPECT_EQ(call(o.get(), &I::SetCell, 2, 0, nullptr), 1);
    EXPECT_EQ(call(o.get(), &I::SetCell, -1, 0, Bstr(L"x").get()), 0);
    EXPECT_EQ(num(o.get(), &I::get_NumRows), 3);
    EXPECT_EQ(num(o.get(), &I::get_NumColumns), 2);
    EXPECT_EQ(call(o.get(), &I::GetNumCols, 1), 1);
    const std::tuple<LONG, LONG, const wchar_t*> cells[] = {
        {0, 1, L"b"}, {1, 1, L""}, {2, 0, L""}, {3, 0, L"(null)"}, {-1, 0, L"(null)"}};
    for (const auto& [row, col, want] : cells)
        EXPECT_EQ(cell(o.get(), row, col), want) << row << "," << col;

    o->put_HasColumnNames(1);
    EXPECT_EQ(call(o.get(), &I::LoadFromString, Bstr(L"Name,Age").get()), 1);
    Bstr name;
    EXPECT_EQ(o->GetColumnName(5, name.out()), S_OK);
    EXPECT_FALSE(name.isNull()) << "a column without a name: empty text";
    EXPECT_EQ(call(o.get(), &I::SetColumnName, 1, Bstr(L"Years").get()), 1);
    EXPECT_EQ(call(o.get(), &I::GetIndex, Bstr(L"Years").get()), 1);
    EXPECT_EQ(call(o.get(), &I::GetIndex, nullptr), -1);
}

std::string utf16Bytes(const std::wstring& s) {
    return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2);
}

// Accents, CJK, a character beyond 16 bits (a surrogate pair, which "utf-8" writes as two
// three-byte sequences) and a value that needs quoting, each in its own file.
TEST(ComMembers, FilesInNamedCharsetsAndTheSystemCodePage) {
    const std::tuple<const wchar_t*, const char*> samples[] = {
        {L"caf\u00e9", "caf\xc3\xa9"},
        {L"\u4e2d\u6587", "\xe4\xb8\xad\xe6\x96\x87"},
        {L"\U0001F600", "\xed\xa0\xbd\xed\xb8\x80"},
        {L"a,\u00fc", "\"a,\xc3\xbc\""},
    };
    const Bstr path(scratchDir() + L"charset.csv");
    const std::tuple<const wchar_t*, bool> charsets[] = {{L"utf-8", true}, {L"unicode", false}};
    for (const auto& [charset, isUtf8] : charsets)
        for (const auto& [text, utf8] : samples) {
            const std::string what = narrow(charset) + " " + narrow(text);
            Ref<IQuenlixCsv> out = newCsv(), in = newCsv();
            EXPECT_EQ(call(out.get(), &I::SetCell, 0, 0, Bstr(text).get()), 1);
            EXPECT_EQ(call(out.get(), &I::SaveFile2, path.get(), Bstr(charset).get()), 1) << what;
            const std::wstring quoted = utf8[0] == '"' ? L"\"" + std::wstring(text) + L"\"" : text;
            EXPECT_EQ(readFileBytes(path.str()),
                      isUtf8 ? utf8 + std::string("\r\n") : utf16Bytes(quoted + L"\r\n"))
                << what << ": exact bytes, no byte-order mark";
            EXPECT_EQ(call(in.get(), &I::LoadFile2, path.get(), Bstr(charset).get()), 1) << what;
            EXPECT_EQ(cell(in.get(), 0, 0), text) << what;
        }

    // Without a charset: the system's code page, as its own converter writes it.
    const std::wstring text = L"n,caf\u00e9\r\n";
    BOOL lossy = FALSE;
    char ansi[64];
    int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), int(text.size()), ansi, sizeof ansi,
                                nullptr, &lossy);
    Ref<IQuenlixCsv> out = newCsv(), in = newCsv();
    EXPECT_EQ(call(out.get(), &I::LoadFromString, Bstr(text).get()), 1);
    EXPECT_EQ(call(out.get(), &I::SaveFile, path.get()), 1);
    EXPECT_EQ(call(in.get(), &I::LoadFile, path.get()), 1);
    if (!lossy) { // else the code page cannot hold the text
        EXPECT_EQ(readFileBytes(path.str()), std::string(ansi, n)) << GetACP();
        EXPECT_EQ(cell(in.get(), 0, 1), L"caf\u00e9");
    }
}

TEST(ComMembers, FailedLoadEmptiesTheTableAndExplainsItselfInEachForm) {
    Ref<IQuenlixCsv> o = newCsv();
    EXPECT_EQ(call(o.get(), &I::LoadFromString, Bstr(L"a,b").get()), 1);
    const Bstr missing(scratchDir() + L"no-such-file.csv");
    EXPECT_EQ(call(o.get(), &I::LoadFile, missing.get()), 0);
    EXPECT_EQ(num(o.get(), &I::get_NumRows), 0);
    EXPECT_EQ(cell(o.get(), 0, 0), L"(null)");
    // Each report: how it starts, a line it holds, how it ends.
    const std::tuple<HRESULT (STDMETHODCALLTYPE I::*)(BSTR*), const wchar_t*, const wchar_t*,
                     std::wstring>
        reports[] = {
            {&I::get_LastErrorText,
             L"QuenlixLog:\r\n  LoadFile:\r\n    DllDate: Mar 10 2009\r\n    Username: ",
             L"\r\n    WindowsError: 0x2\r\n", L"\r\n    Failed.\r\n"},
            {&I::get_LastErrorXml,
             L"<QuenlixLog>\r\n<LoadFile>\r\n<DllDate>Mar 10 2009</DllDate>\r\n",
             L"\r\n<WindowsError>0x2</WindowsError>\r\n",
             L"\r\n<error>Failed.</error>\r\n</LoadFile>\r\n</QuenlixLog>\r\n"},
            {&I::get_LastErrorHtml,
             L"QuenlixLog:<blockquote>\r\nLoadFile:<blockquote>\r\nDllDate: Mar 10 2009<br>\r\n",
             L"\r\nWindowsError: 0x2<br>\r\n",
             L"\r\nFailed.<br>\r\n</blockquote>\r\n</blockquote>\r\n"},
        };
    for (const auto& [get, head, line, tail] : reports) {
        const std::wstring t = str(o.get(), get);
        EXPECT_EQ(t.rfind(head, 0), 0u) << narrow(t);
        EXPECT_NE(t.find(line), std::wstring::npos) << narrow(t);
        EXPECT_EQ(t.size() > tail.size() ? t.substr(t.size() - tail.size()) : t, tail) << narrow(t);
    }
    // Cell and property calls are not logged: the report still describes the failed load.
    const std::wstring xml = str(o.get(), &I::get_LastErrorXml);
    EXPECT_EQ(call(o.get(), &I::SetCell, 0, 0, Bstr(L"x").get()), 1);
    o->put_Crlf(0);
    EXPECT_EQ(str(o.get(), &I::get_LastErrorXml), xml);

    const std::tuple<std::wstring, LONG> saves[] = {{scratchDir() + L"report.xml", 1},
                                                    {L"  ", 0},
                                                    {L"", 0},
                                                    {scratchDir() + L"no\\such\\dir\\r.xml", 0}};
    for (const auto& [path, ok] : saves)
        EXPECT_EQ(call(o.get(), &I::SaveLastError, Bstr(path).get()), ok) << narrow(path);
    EXPECT_EQ(readFileBytes(scratchDir() + L"report.xml"), narrow(xml));
    EXPECT_EQ(str(o.get(), &I::get_LastErrorXml), xml) << "saving does not log";
}

// Each member with an out pointer, given null: E_POINTER, and the call has no effect.
TEST(ComMembers, NullOutPointersAreRefused) {
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
    EXPECT_EQ(num(o.get(), &I::get_NumRows), 0) << "neither SetCell nor a load ran";
    EXPECT_EQ(str(o.get(), &I::get_LastErrorText), L"QuenlixLog:\r\n") << "no logged call ran";
}

} // namespace
