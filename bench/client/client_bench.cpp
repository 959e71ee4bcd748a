// Times what a compiled client does with a table file, the same way in every build:
//   load a file (LoadFile2, "utf-8"), read every cell; and load, change every tenth cell (every
//   fiftieth to a value that needs quotes), save (SaveFile2, "utf-8").
//
//   client_bench core FILE OUT REPETITIONS          the document object linked in (any build)
//   client_bench dll  FILE OUT REPETITIONS DLL      QuenlixCsv.dll through IQuenlixCsv's vtable
//                                                   (Windows builds)
//
// The dll pass also times the BSTRs alone: one SysAllocStringLen and SysFreeString per cell, of
// the lengths the read gave, with no component involved. That is what the interface's contract
// (a new string per GetCell) costs the process whatever the component does, so it bounds how fast
// any read through the interface can be.
//
// bench/compare runs it natively on Linux, and under Wine as core and as dll for each Windows
// build, so the table shows what the DLL costs against the native build, and how much of that
// is Wine's and the compiler's (core under Wine) rather than the automation layer's. Prints one
// JSON object: {"read": [seconds...], "edit": [seconds...], "cells": N} ("bstr": [seconds...] as
// well for dll). Times are wall clock of a single thread on an otherwise idle machine; the object's
// creation and release are timed with the work, as a client pays for them.
#include "csv/ClsCsv.h"
#include "text/XString.h"

#ifdef _WIN32
#include "com/QuenlixCsvIdl.h"
#include <windows.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string editedValue(long k) {
    return (k % 50 == 0 ? "a,b" : "new") + std::to_string(k % 1000);
}

// The two operations over the document object itself.
struct CoreClient {
    static const bool kBstrs = false;
    long bstrs() { return 0; }
    XString file, out, utf8;
    std::vector<std::unique_ptr<XString>> values;
    CoreClient(const char* f, const char* o) {
        file.setFromUtf8(f);
        out.setFromUtf8(o);
        utf8.setFromUtf8("utf-8");
        for (long k = 0; k < 1000; ++k)
            values.emplace_back(new XString), values.back()->setFromUtf8(editedValue(k).c_str());
    }
    long read() {
        ClsCsv csv;
        if (!csv.LoadFile2(file, utf8)) return -1;
        XString cell;
        long cells = 0, bytes = 0;
        for (int r = 0, rows = csv.get_NumRows(); r < rows; ++r)
            for (int c = 0, cols = csv.GetNumCols(r); c < cols; ++c, ++cells) {
                csv.GetCell(r, c, cell);
                bytes += cell.getUtf8Sb().getSize();
            }
        return bytes >= 0 ? cells : -1;
    }
    bool edit() {
        ClsCsv csv;
        if (!csv.LoadFile2(file, utf8)) return false;
        long k = 0;
        for (int r = 0, rows = csv.get_NumRows(); r < rows; ++r)
            for (int c = 0, cols = csv.GetNumCols(r); c < cols; ++c, ++k)
                if (k % 10 == 0) csv.SetCell(r, c, *values[k % 1000]);
        return csv.SaveFile2(out, utf8);
    }
};

#ifdef _WIN32
std::wstring wide(const char* s) {
    std::wstring w(MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s, -1, &w[0], static_cast<int>(w.size()));
    w.pop_back();
    return w;
}

// The same through the DLL, as an early-bound client calls it: BSTRs in and out, one object per
// operation from the class factory.
struct DllClient {
    static const bool kBstrs = true;
    IClassFactory* factory = nullptr;
    BSTR file, out, utf8;
    std::vector<BSTR> values;
    std::vector<unsigned> lengths; // of the cells the last read gave
    DllClient(const char* f, const char* o, const char* dll) {
        HMODULE m = LoadLibraryW(wide(dll).c_str());
        auto get = m ? reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
                           reinterpret_cast<void*>(GetProcAddress(m, "DllGetClassObject")))
                     : nullptr;
        if (!get ||
            FAILED(get(CLSID_QuenlixCsv, IID_IClassFactory, reinterpret_cast<void**>(&factory))))
            factory = nullptr;
        file = SysAllocString(wide(f).c_str());
        out = SysAllocString(wide(o).c_str());
        utf8 = SysAllocString(L"utf-8");
        for (long k = 0; k < 1000; ++k)
            values.push_back(SysAllocString(wide(editedValue(k).c_str()).c_str()));
    }
    IQuenlixCsv* create() {
        IQuenlixCsv* csv = nullptr;
        if (!factory || FAILED(factory->CreateInstance(nullptr, IID_IQuenlixCsv,
                                                       reinterpret_cast<void**>(&csv))))
            return nullptr;
        return csv;
    }
    long read() {
        IQuenlixCsv* csv = create();
        long ok = 0, rows = 0, cells = 0, bytes = 0;
        if (!csv || FAILED(csv->LoadFile2(file, utf8, &ok)) || !ok) return -1;
        csv->get_NumRows(&rows);
        lengths.clear();
        for (long r = 0; r < rows; ++r) {
            long cols = 0;
            csv->GetNumCols(r, &cols);
            for (long c = 0; c < cols; ++c, ++cells) {
                BSTR cell = nullptr;
                csv->GetCell(r, c, &cell);
                bytes += SysStringLen(cell);
                lengths.push_back(SysStringLen(cell));
                SysFreeString(cell);
            }
        }
        csv->Release();
        return bytes >= 0 ? cells : -1;
    }
    // A string of each length the read gave, made and freed as a client of GetCell does.
    long bstrs() {
        static const wchar_t kFill[64] = {L'x'};
        long units = 0;
        for (unsigned n : lengths) {
            BSTR s = SysAllocStringLen(n <= 64 ? kFill : nullptr, n);
            units += SysStringLen(s);
            SysFreeString(s);
        }
        return units;
    }
    bool edit() {
        IQuenlixCsv* csv = create();
        long ok = 0, rows = 0, k = 0, done = 0;
        if (!csv || FAILED(csv->LoadFile2(file, utf8, &ok)) || !ok) return false;
        csv->get_NumRows(&rows);
        for (long r = 0; r < rows; ++r) {
            long cols = 0;
            csv->GetNumCols(r, &cols);
            for (long c = 0; c < cols; ++c, ++k)
                if (k % 10 == 0) csv->SetCell(r, c, values[k % 1000], &done);
        }
        csv->SaveFile2(out, utf8, &ok);
        csv->Release();
        return ok != 0;
    }
};
#endif

template <class Client> int run(Client& client, int repetitions) {
    std::vector<double> read, edit, bstr;
    long cells = 0;
    for (int i = 0; i < repetitions; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        cells = client.read();
        auto t1 = std::chrono::steady_clock::now();
        const bool edited = client.edit();
        auto t2 = std::chrono::steady_clock::now();
        const long units = client.bstrs();
        auto t3 = std::chrono::steady_clock::now();
        if (cells < 0 || !edited || units < 0) {
            std::fprintf(stderr, "client_bench: a load or save failed\n");
            return 1;
        }
        read.push_back(std::chrono::duration<double>(t1 - t0).count());
        edit.push_back(std::chrono::duration<double>(t2 - t1).count());
        bstr.push_back(std::chrono::duration<double>(t3 - t2).count());
    }
    auto list = [](const std::vector<double>& v) {
        std::string s;
        for (double d : v)
            s += (s.empty() ? "" : ", ") + std::to_string(d);
        return s;
    };
    std::printf("{\"read\": [%s], \"edit\": [%s], ", list(read).c_str(), list(edit).c_str());
    if (Client::kBstrs) std::printf("\"bstr\": [%s], ", list(bstr).c_str());
    std::printf("\"cells\": %ld}\n", cells);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 5 && std::strcmp(argv[1], "core") == 0) {
        CoreClient client(argv[2], argv[3]);
        return run(client, std::atoi(argv[4]));
    }
#ifdef _WIN32
    if (argc >= 6 && std::strcmp(argv[1], "dll") == 0) {
        CoInitialize(nullptr);
        DllClient client(argv[2], argv[3], argv[5]);
        if (!client.factory) {
            std::fprintf(stderr, "client_bench: cannot get the class factory of %s\n", argv[5]);
            return 1;
        }
        return run(client, std::atoi(argv[4]));
    }
#endif
    std::fprintf(stderr, "usage: client_bench core FILE OUT N | dll FILE OUT N DLL\n");
    return 2;
}
