#include "ComTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace comtest {

namespace {

// Apartment for the whole run, as a script host or form would have.
class ApartmentEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    }
    void TearDown() override { CoUninitialize(); }
};
const testing::Environment* const apartment =
    testing::AddGlobalTestEnvironment(new ApartmentEnvironment);

template <class F> F exportOf(HMODULE m, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name)));
}

} // namespace

std::wstring Dll::path() {
    // The DLL this build made (Wine shows the Linux root as drive Z:), unless QX_COM_DLL names
    // another one.
    wchar_t env[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"QX_COM_DLL", env, MAX_PATH);
    std::wstring p =
        n > 0 && n < MAX_PATH ? std::wstring(env) : std::wstring(L"Z:" QX_COM_DLL_PATH);
    for (wchar_t& c : p)
        if (c == L'/') c = L'\\';
    return p;
}

Dll& Dll::get() {
    static Dll dll = [] {
        Dll d;
        d.module = LoadLibraryW(path().c_str());
        if (!d.module) {
            std::fprintf(stderr, "cannot load %s (error %lu)\n", narrow(path()).c_str(),
                         GetLastError());
            std::abort();
        }
        d.getClassObject = exportOf<GetClassObjectFn>(d.module, "DllGetClassObject");
        d.canUnloadNow = exportOf<NoArgFn>(d.module, "DllCanUnloadNow");
        d.registerServer = exportOf<NoArgFn>(d.module, "DllRegisterServer");
        d.unregisterServer = exportOf<NoArgFn>(d.module, "DllUnregisterServer");
        return d;
    }();
    return dll;
}

Ref<IQuenlixCsv> newCsv() {
    Ref<IClassFactory> factory;
    Ref<IQuenlixCsv> obj;
    if (SUCCEEDED(
            Dll::get().getClassObject(CLSID_QuenlixCsv, IID_IClassFactory, factory.outVoid())))
        factory->CreateInstance(nullptr, IID_IQuenlixCsv, obj.outVoid());
    return obj;
}

std::string narrow(const std::wstring& s) {
    int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), int(s.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring scratchDir() {
    static std::wstring dir = [] {
        wchar_t tmp[MAX_PATH];
        GetTempPathW(MAX_PATH, tmp);
        std::wstring d =
            std::wstring(tmp) + L"qx_com_tests_" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(d.c_str(), nullptr);
        return d + L"\\";
    }();
    return dir;
}

std::string readFileBytes(const std::wstring& path) {
    std::string out;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return out;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
        out.append(buf, got);
    CloseHandle(h);
    return out;
}

bool writeFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    bool ok = WriteFile(h, bytes.data(), DWORD(bytes.size()), &put, nullptr) && put == bytes.size();
    CloseHandle(h);
    return ok;
}

} // namespace comtest
