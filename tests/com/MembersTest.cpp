// Every member of IQuenlixCsv called through the vtable, as an early-bound client would: values
// in and out, flags as 1 or 0, null BSTRs for missing rows, files in three charsets, and the
// last-error reports after a failing load.
#include "ComTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace comtest;

namespace {

typedef HRESULT (STDMETHODCALLTYPE IQuenlixCsv::*StringGetter)(BSTR*);
typedef HRESULT (STDMETHODCALLTYPE IQuenlixCsv::*LongGetter)(LONG*);

std::wstring str(IQuenlixCsv* o, StringGetter m) {
    Bstr b;
    EXPECT_EQ((o->*m)(b.out()), S_OK);
    EXPECT_FALSE(b.isNull());
    return b.str();
}
LONG num(IQuenlixCsv* o, LongGetter m) {
    LONG v = -99;
    EXPECT_EQ((o->*m)(&v), S_OK);
    return v;
}
LONG loadString(IQuenlixCsv* o, const std::wstring& csv) {
    LONG ok = -99;
    EXPECT_EQ(o->LoadFromString(Bstr(csv).get(), &ok), S_OK);
    return ok;
}
LONG setCell(IQuenlixCsv* o, LONG row, LONG col, const std::wstring& text) {
    LONG ok = -99;
    EXPECT_EQ(o->SetCell(row, col, Bstr(text).get(), &ok), S_OK);
    return ok;
}
// The cell, or "(null)" when the BSTR is null.
std::wstring cell(IQuenlixCsv* o, LONG row, LONG col) {
    Bstr b;
    EXPECT_EQ(o->GetCell(row, col, b.out()), S_OK);
    EXPECT_FALSE(b.isUntouched());
    return b.isNull() ? L"(null)" : b.str();
}
std::wstring saved(IQuenlixCsv* o) {
    return str(o, &IQuenlixCsv::SaveToString);
}
std::wstring text(IQuenlixCsv* o) {
    return str(o, &IQuenlixCsv::get_LastErrorText);
}

bool startsWith(const std::wstring& s, const std::wstring& p) {
    return s.compare(0, p.size(), p) == 0;
}
bool endsWith(const std::wstring& s, const std::wstring& p) {
    return s.size() >= p.size() && s.compare(s.size() - p.size(), p.size(), p) == 0;
}

TEST(ComMembers, NewObjectState) {
    Ref<IQuenlixCsv> o = newCsv();
    ASSERT_TRUE(o.get());
    EXPECT_EQ(num(o.get(), &IQuenlixCsv::get_Crlf), 1);
    EXPECT_EQ(num(o.get(), &IQuenlixCsv::get_HasColumnNames), 0);
    EXPECT_EQ(num(o.get(), &IQuenlixCsv::get_NumRows), 0);
    EXPECT_EQ(num(o.get(), &IQuenlixCsv::get_NumColumns), 0);
    EXPECT_EQ(str(o.get(), &IQuenlixCsv::get_Delimiter), L",");
    EXPECT_EQ(text(o.get()), L"QuenlixLog:\r\n");
    EXPECT_EQ(str(o.get(), &IQuenlixCsv::get_LastErrorXml), L"<QuenlixLog>\r\n</QuenlixLog>\r\n");
    EXPECT_EQ(str(o.get(), &IQuenlixCsv::get_LastErrorHtml),
              L"QuenlixLog:<blockquote>\r\n</blockquote>\r\n");
    EXPECT_EQ(saved(o.get()), L"") << "an empty table saves as an empty, non-null string";
    EXPECT_EQ(cell(o.get(), 0, 0), L"(null)");
}

TEST(ComMembers, FlagsReadBackAsOneOrZero) {
    struct Case {
        LONG written, read;
    } cases[] = {{0, 0}, {1, 1}, {-1, 1}, {2, 1}, {0x7fffffff, 1}, {LONG(0x80000000), 1}, {0, 0}};
    Ref<IQuenlixCsv> o = newCsv();
    for (const Case& c : cases) {
        EXPECT_EQ(o->put_Crlf(c.written), S_OK);
        EXPECT_EQ(num(o.get(), &IQuenlixCsv::get_Crlf), c.read) << "Crlf = " << c.written;
        EXPECT_EQ(o->put_HasColumnNames(c.written), S_OK);
        EXPECT_EQ(num(o.get(), &IQuenlixCsv::get_HasColumnNames), c.read)
            << "HasColumnNames = " << c.written;
    }
}

TEST(ComMembers, DelimiterTakesTheFirstCharacterOfWhatIsWritten) {
    struct Case {
        const wchar_t* written; // null: a null BSTR
        const wchar_t* read;
    } cases[] = {
        {L";", L";"}, {L"|;", L"|"}, {L"\t", L"\t"}, {L"", L","}, {nullptr, L","},
    };
    for (const Case& c : cases) {
        Ref<IQuenlixCsv> o = newCsv();
        Bstr in = c.written ? Bstr(c.written) : Bstr::null();
        EXPECT_EQ(o->put_Delimiter(in.get()), S_OK);
        EXPECT_EQ(str(o.get(), &IQuenlixCsv::get_Delimiter), c.read)
            << narrow(c.written ? c.written : L"(null)");
    }
}

TEST(ComMembers, DelimiterSetBeforeALoadDoesNotSurviveIt) {
    Ref<IQuenlixCsv> o = newCsv();
    EXPECT_EQ(o->put_Delimiter(Bstr(L"\t").get()), S_OK);
    EXPECT_EQ(loadString(o.get(), L"a\tb"), 1);
    EXPECT_EQ(str(o.get(), &IQuenlixCsv::get_Delimiter), L";");
    EXPECT_EQ(cell(o.get(), 0, 0), L"a\tb");
    EXPECT_EQ(o->put_Delimiter(Bstr(L"\t").get()), S_OK);
    EXPECT_EQ(cell(o.get(), 0, 0), L"a");
    EXPECT_EQ(cell(o.get(), 0, 1), L"b");
}

TEST(ComMembers, LoadFromStringShapesTheTable) {
    struct Case {
        const wchar_t* csv; // null: a null BSTR
        LONG hasColumnNames;
        LONG rows, columns, colsOfRow0;
        const wchar_t* delimiter;
    } cases[] = {
        {nullptr, 0, 0, 0, 0, L","},           {L"", 0, 0, 0, 0, L","},
        {L"a,b\r\nc,d\r\n", 0, 2, 2, 2, L","}, {L"a;b;c\nx", 0, 2, 3, 3, L";"},
        {L"a,b\n\nc\n\n\n", 0, 3, 2, 2, L","}, {L"Name,Age\nBob,7\n", 1, 1, 2, 2, L","},
        {L"Name,Age", 1, 0, 2, 0, L","},       {L"x", 0, 1, 1, 1, L";"},
    };
    for (const Case& c : cases) {
        const std::string what = narrow(c.csv ? c.csv : L"(null)");
        Ref<IQuenlixCsv> o = newCsv();
        o->put_HasColumnNames(c.hasColumnNames);
        LONG ok = -99;
        Bstr in = c.csv ? Bstr(c.csv) : Bstr::null();
        EXPECT_EQ(o->LoadFromString(in.get(), &ok), S_OK);
        EXPECT_EQ(ok, 1) << what;
        EXPECT_EQ(num(o.get(), &IQuenlixCsv::get_NumRows), c.rows) << what;
        EXPECT_EQ(num(o.get(), &IQuenlixCsv::get_NumColumns), c.columns) << what;
        LONG cols = -99;
        EXPECT_EQ(o->GetNumCols(0, &cols), S_OK);
        EXPECT_EQ(cols, c.colsOfRow0) << what;
        EXPECT_EQ(str(o.get(), &IQuenlixCsv::get_Delimiter), c.delimiter) << what;
    }
}

TEST(ComMembers, GetCellGivesNullOnlyForMissingRows) {
    Ref<IQuenlixCsv> o = newCsv();
    ASSERT_EQ(loadString(o.get(), L"a,b\nc\n\"q,1\",\"say \"\"hi\"\"\"\n"), 1);
    struct Case {
        LONG row, col;
        const wchar_t* want;
    } cases[] = {
        {0, 0, L"a"},
        {0, 1, L"b"},
        {1, 0, L"c"},
        {2, 0, L"q,1"},
        {2, 1, L"say \"hi\""},
        {1, 1, L""},
        {0, 7, L""},
        {0, -1, L""},
        {3, 0, L"(null)"},
        {-1, 0, L"(null)"},
        {1000000, 0, L"(null)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cell(o.get(), c.row, c.col), c.want) << c.row << "," << c.col;
}

TEST(ComMembers, SetCellQuotesAndGrowsTheTable) {
    struct Case {
        LONG row, col;
        const wchar_t* value;
        LONG ok;
        const wchar_t* savedText; // whole SaveToString result afterwards
    } cases[] = {
        {0, 0, L"plain", 1, L"plain,b\r\n"},
        {0, 1, L"x,y", 1, L"a,\"x,y\"\r\n"},
        {0, 0, L"say \"hi\"", 1, L"\"say \"\"hi\"\"\",b\r\n"},
        {0, 3, L"z", 1, L"a,b,,z\r\n"},
        {2, 0, L"r", 1, L"a,b\r\n\r\nr\r\n"},
        {-1, 0, L"no", 0, L"a,b\r\n"},
        {0, -1, L"no", 1, L"a,b\r\n"},
    };
    for (const Case& c : cases) {
        Ref<IQuenlixCsv> o = newCsv();
        ASSERT_EQ(loadString(o.get(), L"a,b"), 1);
        const std::string what = narrow(c.value);
        EXPECT_EQ(setCell(o.get(), c.row, c.col, c.value), c.ok) << what;
        EXPECT_EQ(saved(o.get()), c.savedText) << what;
        if (c.ok && c.col >= 0) {
            EXPECT_EQ(cell(o.get(), c.row, c.col), c.value) << what;
        }
    }
}

TEST(ComMembers, CrlfChoosesTheLineEndOfSaves) {
    Ref<IQuenlixCsv> o = newCsv();
    ASSERT_EQ(loadString(o.get(), L"a,b\nc"), 1);
    EXPECT_EQ(saved(o.get()), L"a,b\r\nc\r\n");
    o->put_Crlf(0);
    EXPECT_EQ(saved(o.get()), L"a,b\nc\n");
}

TEST(ComMembers, ColumnNames) {
    Ref<IQuenlixCsv> o = newCsv();
    o->put_HasColumnNames(1);
    ASSERT_EQ(loadString(o.get(), L"Name,Age\nBob,7\n"), 1);
    struct NameCase {
        LONG index;
        const wchar_t* want;
    } names[] = {{0, L"Name"}, {1, L"Age"}, {2, L""}, {-1, L""}, {1000001, L""}};
    for (const NameCase& c : names) {
        Bstr b;
        EXPECT_EQ(o->GetColumnName(c.index, b.out()), S_OK);
        EXPECT_FALSE(b.isNull()) << c.index;
        EXPECT_EQ(b.str(), c.want) << c.index;
    }
    struct IndexCase {
        const wchar_t* name;
        LONG want;
    } indices[] = {{L"Name", 0}, {L"Age", 1}, {L"age", -1}, {L"Bob", -1}};
    for (const IndexCase& c : indices) {
        LONG i = -99;
        EXPECT_EQ(o->GetIndex(Bstr(c.name).get(), &i), S_OK);
        EXPECT_EQ(i, c.want) << narrow(c.name);
    }
    struct SetCase {
        LONG index;
        const wchar_t* name;
        LONG ok;
    } sets[] = {{-1, L"x", 0}, {1000001, L"x", 0}, {1, L"Years", 1}};
    for (const SetCase& c : sets) {
        LONG ok = -99;
        EXPECT_EQ(o->SetColumnName(c.index, Bstr(c.name).get(), &ok), S_OK);
        EXPECT_EQ(ok, c.ok) << c.index;
    }
    LONG i = -99;
    o->GetIndex(Bstr(L"Years").get(), &i);
    EXPECT_EQ(i, 1);
    EXPECT_EQ(saved(o.get()), L"Name,Years\r\nBob,7\r\n");
}

// Sample texts beyond ASCII: accents, CJK, and a character outside the 16-bit range, which
// travels as a surrogate pair; "utf-8" encodes each surrogate on its own in three bytes.
struct Sample {
    const wchar_t* text;
    const char* utf8;
};
const Sample kSamples[] = {
    {L"caf\u00e9", "caf\xc3\xa9"},
    {L"\u4e2d\u6587", "\xe4\xb8\xad\xe6\x96\x87"},
    {L"\U0001F600", "\xed\xa0\xbd\xed\xb8\x80"},
    {L"a,\u00fc", "\"a,\xc3\xbc\""},
};

std::string utf16Bytes(const std::wstring& s) {
    return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2);
}

TEST(ComMembers, NonAsciiCellsSurviveNamedCharsetFiles) {
    struct Charset {
        const wchar_t* name;
        bool utf8; // else UTF-16LE
    } charsets[] = {{L"utf-8", true}, {L"unicode", false}};
    for (const Charset& cs : charsets) {
        for (const Sample& s : kSamples) {
            const std::string what = narrow(cs.name) + " " + narrow(s.text);
            const std::wstring path = scratchDir() + L"charset.csv";
            Ref<IQuenlixCsv> out = newCsv();
            ASSERT_EQ(setCell(out.get(), 0, 0, s.text), 1) << what;
            LONG ok = -99;
            EXPECT_EQ(out->SaveFile2(Bstr(path).get(), Bstr(cs.name).get(), &ok), S_OK);
            EXPECT_EQ(ok, 1) << what;
            const std::wstring quoted = std::wstring(s.text).find(L',') != std::wstring::npos
                                            ? L"\"" + std::wstring(s.text) + L"\""
                                            : std::wstring(s.text);
            const std::string want =
                cs.utf8 ? std::string(s.utf8) + "\r\n" : utf16Bytes(quoted + L"\r\n");
            EXPECT_EQ(readFileBytes(path), want) << what << ": no byte-order mark, exact bytes";

            Ref<IQuenlixCsv> in = newCsv();
            EXPECT_EQ(in->LoadFile2(Bstr(path).get(), Bstr(cs.name).get(), &ok), S_OK);
            EXPECT_EQ(ok, 1) << what;
            EXPECT_EQ(cell(in.get(), 0, 0), s.text) << what;
        }
    }
}

TEST(ComMembers, AnsiFilesUseTheSystemCodePage) {
    // What the system's own converter makes of the text is the expected file content.
    const std::wstring textW = L"n,caf\u00e9\r\n";
    BOOL lossy = FALSE;
    char ansi[64];
    int n = WideCharToMultiByte(CP_ACP, 0, textW.c_str(), int(textW.size()), ansi, sizeof ansi,
                                nullptr, &lossy);
    const std::wstring path = scratchDir() + L"ansi.csv";
    Ref<IQuenlixCsv> out = newCsv();
    ASSERT_EQ(loadString(out.get(), L"n,caf\u00e9"), 1);
    LONG ok = -99;
    EXPECT_EQ(out->SaveFile(Bstr(path).get(), &ok), S_OK);
    EXPECT_EQ(ok, 1);
    if (!lossy) {
        EXPECT_EQ(readFileBytes(path), std::string(ansi, n)) << "code page " << GetACP();
    }

    Ref<IQuenlixCsv> in = newCsv();
    EXPECT_EQ(in->LoadFile(Bstr(path).get(), &ok), S_OK);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(cell(in.get(), 0, 0), L"n");
    if (!lossy) {
        EXPECT_EQ(cell(in.get(), 0, 1), L"caf\u00e9");
    }
    EXPECT_TRUE(startsWith(text(in.get()), L"QuenlixLog:\r\n  LoadFile:\r\n"));
    EXPECT_TRUE(endsWith(text(in.get()), L"    Success.\r\n"));
}

TEST(ComMembers, FailedLoadEmptiesTheTableAndExplainsItself) {
    Ref<IQuenlixCsv> o = newCsv();
    ASSERT_EQ(loadString(o.get(), L"a,b\nc,d"), 1);
    const std::wstring missing = scratchDir() + L"no-such-file.csv";
    LONG ok = -99;
    EXPECT_EQ(o->LoadFile(Bstr(missing).get(), &ok), S_OK);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(num(o.get(), &IQuenlixCsv::get_NumRows), 0);
    EXPECT_EQ(cell(o.get(), 0, 0), L"(null)");

    const std::wstring t = text(o.get());
    EXPECT_TRUE(startsWith(t, L"QuenlixLog:\r\n  LoadFile:\r\n    DllDate: Mar 10 2009\r\n"
                              L"    Username: "))
        << narrow(t);
    EXPECT_NE(t.find(L"\r\n    WindowsError: 0x2\r\n"), std::wstring::npos) << narrow(t);
    EXPECT_TRUE(endsWith(t, L"\r\n    Failed.\r\n")) << narrow(t);

    const std::wstring x = str(o.get(), &IQuenlixCsv::get_LastErrorXml);
    EXPECT_TRUE(startsWith(x, L"<QuenlixLog>\r\n<LoadFile>\r\n<DllDate>Mar 10 2009</DllDate>\r\n"))
        << narrow(x);
    EXPECT_NE(x.find(L"\r\n<WindowsError>0x2</WindowsError>\r\n"), std::wstring::npos);
    EXPECT_TRUE(endsWith(x, L"\r\n<error>Failed.</error>\r\n</LoadFile>\r\n</QuenlixLog>\r\n"));

    const std::wstring h = str(o.get(), &IQuenlixCsv::get_LastErrorHtml);
    EXPECT_TRUE(startsWith(h, L"QuenlixLog:<blockquote>\r\nLoadFile:<blockquote>\r\n"
                              L"DllDate: Mar 10 2009<br>\r\n"))
        << narrow(h);
    EXPECT_TRUE(endsWith(h, L"\r\nFailed.<br>\r\n</blockquote>\r\n</blockquote>\r\n"));

    // Cell and property calls are not logged: the report still describes the failed load.
    cell(o.get(), 0, 0);
    setCell(o.get(), 0, 0, L"x");
    o->put_Crlf(0);
    EXPECT_EQ(text(o.get()), t);
}

TEST(ComMembers, SaveLastErrorWritesTheXmlReport) {
    Ref<IQuenlixCsv> o = newCsv();
    LONG ok = -99;
    o->LoadFile(Bstr(scratchDir() + L"missing.csv").get(), &ok);
    const std::wstring xml = str(o.get(), &IQuenlixCsv::get_LastErrorXml);

    struct Case {
        const char* what;
        Bstr path;
        LONG want;
    };
    Case cases[] = {
        {"file in the scratch folder", Bstr(scratchDir() + L"report.xml"), 1},
        {"blank path", Bstr(L"  "), 0},
        {"empty path", Bstr(L""), 0},
        {"null path", Bstr::null(), 0},
        {"folder that does not exist", Bstr(scratchDir() + L"no\\such\\dir\\r.xml"), 0},
    };
    for (Case& c : cases) {
        EXPECT_EQ(o->SaveLastError(c.path.get(), &ok), S_OK);
        EXPECT_EQ(ok, c.want) << c.what;
    }
    EXPECT_EQ(readFileBytes(scratchDir() + L"report.xml"), narrow(xml));
    EXPECT_EQ(str(o.get(), &IQuenlixCsv::get_LastErrorXml), xml) << "saving does not log";
}

// A vtable caller that passes a null out pointer gets E_POINTER, and the call has no effect.
TEST(ComMembers, NullOutPointersAreRefused) {
    Ref<IQuenlixCsv> o = newCsv();
    Bstr b(L"x");
    const std::vector<std::pair<const char*, std::function<HRESULT(IQuenlixCsv*)>>> calls = {
        {"LastErrorText", [](IQuenlixCsv* p) { return p->get_LastErrorText(nullptr); }},
        {"LastErrorXml", [](IQuenlixCsv* p) { return p->get_LastErrorXml(nullptr); }},
        {"LastErrorHtml", [](IQuenlixCsv* p) { return p->get_LastErrorHtml(nullptr); }},
        {"SaveLastError", [&](IQuenlixCsv* p) { return p->SaveLastError(b.get(), nullptr); }},
        {"Crlf", [](IQuenlixCsv* p) { return p->get_Crlf(nullptr); }},
        {"Delimiter", [](IQuenlixCsv* p) { return p->get_Delimiter(nullptr); }},
        {"HasColumnNames", [](IQuenlixCsv* p) { return p->get_HasColumnNames(nullptr); }},
        {"NumColumns", [](IQuenlixCsv* p) { return p->get_NumColumns(nullptr); }},
        {"NumRows", [](IQuenlixCsv* p) { return p->get_NumRows(nullptr); }},
        {"GetCell", [](IQuenlixCsv* p) { return p->GetCell(0, 0, nullptr); }},
        {"GetColumnName", [](IQuenlixCsv* p) { return p->GetColumnName(0, nullptr); }},
        {"GetIndex", [&](IQuenlixCsv* p) { return p->GetIndex(b.get(), nullptr); }},
        {"GetNumCols", [](IQuenlixCsv* p) { return p->GetNumCols(0, nullptr); }},
        {"LoadFile", [&](IQuenlixCsv* p) { return p->LoadFile(b.get(), nullptr); }},
        {"LoadFile2", [&](IQuenlixCsv* p) { return p->LoadFile2(b.get(), b.get(), nullptr); }},
        {"LoadFromString", [&](IQuenlixCsv* p) { return p->LoadFromString(b.get(), nullptr); }},
        {"SaveFile", [&](IQuenlixCsv* p) { return p->SaveFile(b.get(), nullptr); }},
        {"SaveFile2", [&](IQuenlixCsv* p) { return p->SaveFile2(b.get(), b.get(), nullptr); }},
        {"SaveToString", [](IQuenlixCsv* p) { return p->SaveToString(nullptr); }},
        {"SetCell", [&](IQuenlixCsv* p) { return p->SetCell(0, 0, b.get(), nullptr); }},
        {"SetColumnName", [&](IQuenlixCsv* p) { return p->SetColumnName(0, b.get(), nullptr); }},
    };
    for (const auto& c : calls)
        EXPECT_EQ(c.second(o.get()), E_POINTER) << c.first;
    EXPECT_EQ(num(o.get(), &IQuenlixCsv::get_NumRows), 0) << "neither SetCell nor a load ran";
    EXPECT_EQ(text(o.get()), L"QuenlixLog:\r\n") << "no logged method ran";
}

} // namespace
