// What the DLL carries besides code: version information, the project name, the toolbox picture,
// the registration script and the type library.
#include "ComTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace comtest;

namespace {

TEST(ComResources, VersionInformation) {
    const std::wstring path = Dll::path();
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00010001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00010001u);
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_DLL));

    struct Case {
        const wchar_t* name;
        const wchar_t* value;
    } cases[] = {
        {L"FileVersion", L"1, 0, 1, 1"},
        {L"ProductVersion", L"1, 0, 1, 1"},
        {L"FileDescription", L"QuenlixCsv Module"},
        {L"ProductName", L"QuenlixCsv Module"},
        {L"InternalName", L"QuenlixCsv"},
        {L"OriginalFilename", L"QuenlixCsv.DLL"},
        {L"OLESelfRegister", L""},
    };
    for (const Case& c : cases) {
        wchar_t* value = nullptr;
        const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + c.name;
        ASSERT_TRUE(
            VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &len))
            << narrow(c.name);
        EXPECT_EQ(std::wstring(value), c.value) << narrow(c.name);
    }
}

TEST(ComResources, NamePictureScriptAndTypeLibrary) {
    HMODULE m = Dll::get().module;
    wchar_t name[64] = {};
    EXPECT_EQ(LoadStringW(m, 100, name, 64), 10);
    EXPECT_STREQ(name, L"QuenlixCsv");

    // The toolbox picture: 16 by 16 pixels, 4 bits per pixel with its 16-colour palette.
    HRSRC bmp = FindResourceW(m, MAKEINTRESOURCEW(101), MAKEINTRESOURCEW(2) /* RT_BITMAP */);
    ASSERT_TRUE(bmp);
    const BITMAPINFOHEADER* bih =
        static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(m, bmp)));
    EXPECT_EQ(bih->biWidth, 16);
    EXPECT_EQ(bih->biHeight, 16);
    EXPECT_EQ(bih->biBitCount, 4);
    EXPECT_EQ(bih->biCompression, DWORD(BI_RGB));
    EXPECT_EQ(SizeofResource(m, bmp), sizeof(BITMAPINFOHEADER) + 16 * 4 + 16 * 8);

    struct Case {
        int id;
        const wchar_t* type;
    } cases[] = {{102, L"REGISTRY"}, {1, L"TYPELIB"}};
    for (const Case& c : cases) {
        HRSRC r = FindResourceW(m, MAKEINTRESOURCEW(c.id), c.type);
        ASSERT_TRUE(r) << narrow(c.type);
        EXPECT_GT(SizeofResource(m, r), 0u) << narrow(c.type);
    }
    HRSRC script = FindResourceW(m, MAKEINTRESOURCEW(102), L"REGISTRY");
    const char* text = static_cast<const char*>(LockResource(LoadResource(m, script)));
    EXPECT_NE(std::string(text, SizeofResource(m, script)).find("%MODULE%"), std::string::npos);
}

} // namespace
