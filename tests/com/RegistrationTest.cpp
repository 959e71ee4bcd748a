// DllRegisterServer and DllUnregisterServer called in-process: the exact set of entries, stale
// subkeys removed by re-registration, and unregistration that leaves the CLSID key and what other
// programs put under the ProgID keys.
#include "ComTestSupport.h"
#include "ExpectedRegistry.h"

#include <gtest/gtest.h>

using namespace comtest;

namespace {

std::wstring loadedPath() {
    wchar_t buf[MAX_PATH * 2];
    GetModuleFileNameW(Dll::get().module, buf, MAX_PATH * 2);
    return buf;
}

std::string lines(const std::vector<std::string>& v) {
    std::string out;
    for (const std::string& s : v)
        out += "\n  " + s;
    return out;
}

bool createKey(const std::wstring& path, const wchar_t* valueName = nullptr) {
    HKEY k = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k,
                        nullptr) != ERROR_SUCCESS)
        return false;
    if (valueName) RegSetValueExW(k, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4);
    RegCloseKey(k);
    return true;
}

bool keyExists(const std::wstring& path) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
        return false;
    RegCloseKey(k);
    return true;
}

TEST(ComRegistration, RegisterWritesExactlyTheTableAndAgainLeavesExactlyIt) {
    ASSERT_EQ(Dll::get().registerServer(), S_OK);
    EXPECT_EQ(lines(regcheck::registeredDifferences(loadedPath())), "") << "first registration";

    // Whatever was left under the class key and the keys it replaces goes on re-registration.
    const std::wstring cls = L"CLSID\\" + regcheck::clsidString();
    const struct {
        std::wstring path;
        const wchar_t* value;
    } stale[] = {
        {cls + L"\\Stale", nullptr},
        {cls, L"StaleValue"},
        {cls + L"\\Programmable\\Old", nullptr},
        {cls + L"\\Control\\Old", nullptr},
        {cls + L"\\Insertable\\Old", nullptr},
        {cls + L"\\ToolboxBitmap32", L"Old"},
        {cls + L"\\MiscStatus\\1\\Old", nullptr},
    };
    for (const auto& s : stale)
        ASSERT_TRUE(createKey(s.path, s.value));
    ASSERT_EQ(Dll::get().registerServer(), S_OK);
    EXPECT_EQ(lines(regcheck::registeredDifferences(loadedPath())), "") << "second registration";
}

TEST(ComRegistration, UnregisterRemovesEverythingButTheClsidKey) {
    ASSERT_EQ(Dll::get().registerServer(), S_OK);
    EXPECT_EQ(Dll::get().unregisterServer(), S_OK);
    EXPECT_EQ(lines(regcheck::unregisteredLeftovers()), "");
    EXPECT_EQ(Dll::get().unregisterServer(), S_OK) << "nothing left to remove is no error";
    EXPECT_EQ(lines(regcheck::unregisteredLeftovers()), "");
}

TEST(ComRegistration, UnregisterKeepsKeysThatHoldForeignEntries) {
    ASSERT_EQ(Dll::get().registerServer(), S_OK);
    ASSERT_TRUE(createKey(L"Quenlix.Csv\\AddedByAnotherProgram"));
    EXPECT_EQ(Dll::get().unregisterServer(), S_OK);
    EXPECT_TRUE(keyExists(L"Quenlix.Csv\\AddedByAnotherProgram"));
    EXPECT_FALSE(keyExists(L"Quenlix.Csv\\CLSID"));
    EXPECT_FALSE(keyExists(L"Quenlix.Csv\\CurVer"));
    EXPECT_FALSE(keyExists(L"Quenlix.Csv.1"));
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Quenlix.Csv");
    EXPECT_EQ(lines(regcheck::unregisteredLeftovers()), "");
}

} // namespace
