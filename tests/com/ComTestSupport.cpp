#include "ComTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace comtest {

namespace {

template <class F> void exportOf(HMODULE m, const char* name, F& f) {
    f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name)));
}

} // namespace

Dll& Dll::get() {
    static Dll d = [] {
        std::wstring path = L"Z:" QX_COM_DLL_PATH; // Wine shows the Linux root as drive Z:
        std::replace(path.begin(), path.end(), L'/', L'\\');
        Dll d;
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); // one apartment, as a script host has
        if (!(d.module = LoadLibraryW(path.c_str()))) {
            std::fprintf(stderr, "cannot load %ls (%lu)\n", path.c_str(), GetLastError());
            std::abort();
        }
        exportOf(d.module, "DllGetClassObject", d.getClassObject);
        exportOf(d.module, "DllCanUnloadNow", d.canUnloadNow);
        return d;
    }();
    return d;
}

Ref<IClassFactory> factory() {
    Ref<IClassFactory> f;
    EXPECT_EQ(Dll::get().getClassObject(CLSID_QuenlixCsv, IID_IClassFactory, f.outVoid()), S_OK);
    return f;
}

Ref<IQuenlixCsv> newCsv() {
    Ref<IQuenlixCsv> obj;
    if (Ref<IClassFactory> f = factory(); f.get())
        f->CreateInstance(nullptr, IID_IQuenlixCsv, obj.outVoid());
    return obj;
}

} // namespace comtest
