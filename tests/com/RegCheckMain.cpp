// qx_com_regcheck: compares the registry with what a registration of QuenlixCsv.dll must leave,
// as data/registry.txt lists it.
//   qx_com_regcheck registered PATH-OF-DLL [64|32]   exactly the expected entries, pointing at PATH
//   qx_com_regcheck unregistered [64|32]             none of them, and the CLSID key still there
//   (with "shared-progids" last: the ProgID keys, which that system keeps once for both views and
//   the other bitness may still hold, are not looked at)
// 64 or 32 names the registry view to read (default: the checker's own bitness), so a 64-bit
// checker reads what the 32-bit regsvr32 wrote. Prints one line per difference and exits with 1
// when there is any, 2 on bad usage.
#include "com/QuenlixCsvIdl.h"
#include "platform/TempDir.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

namespace {

// The registry view a registration writes to: the 64-bit or the 32-bit one, as regsvr32 from
// System32 or SysWOW64 (a 64-bit or a 32-bit process) sees HKEY_CLASSES_ROOT.
enum class View { Bits64 = 64, Bits32 = 32 };
constexpr View kOwnView = sizeof(void*) == 8 ? View::Bits64 : View::Bits32;

std::string narrow(const std::wstring& s) {
    std::string out;
    for (wchar_t c : s)
        out += c < 0x80 ? char(c) : '?';
    return out;
}

std::string guidString(const GUID& g) {
    wchar_t buf[40];
    StringFromGUID2(g, buf, 40);
    return narrow(buf);
}

std::string expand(std::string s, const std::string& module) {
    const std::string clsid = guidString(CLSID_QuenlixCsv);
    const std::pair<std::string, std::string> vars[] = {{"%K", "CLSID\\" + clsid},
                                                        {"%C", clsid},
                                                        {"%L", guidString(LIBID_QUENLIXCSVLib)},
                                                        {"%M", module}};
    for (const auto& [name, value] : vars)
        for (size_t at; (at = s.find(name)) != std::string::npos;)
            s.replace(at, name.size(), value);
    return s;
}

// The entries of data/registry.txt (in the form of readTree below), and the keys they lie under:
// the ProgID keys and the class key %K.
std::vector<std::string> entries() {
    std::vector<std::string> out;
    for (const auto& row : testfs::caseRows("com/data/registry.txt"))
        out.push_back(testfs::unescape(row[0]));
    return out;
}
std::set<std::string> roots() {
    std::set<std::string> out;
    for (std::string e : entries()) {
        e = e.compare(0, 4, "key ") ? e : e.substr(4);
        out.insert(e.substr(0, e.find_first_of("\\ ")));
    }
    return out;
}

REGSAM viewFlag(View view) {
    return view == View::Bits64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

// The type library's key for the view's bitness: "win64" or "win32" under the shared TypeLib key.
std::string typeLibKey(View view) {
    return expand(
        view == View::Bits64 ? "TypeLib\\%L\\1.0\\0\\win64" : "TypeLib\\%L\\1.0\\0\\win32", "");
}

// Adds the key at path and every key below it, as "PATH [NAME] = DATA" for a string value ("" names
// the default value) or "key PATH" for a key without values.
void readTree(const std::wstring& path, View view, std::set<std::string>& out) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | viewFlag(view), &k) !=
        ERROR_SUCCESS)
        return;
    wchar_t name[256], data[1024];
    DWORD i = 0, nameLen = 256, type = 0, bytes = sizeof data - sizeof(wchar_t);
    for (; RegEnumValueW(k, i, name, &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(data),
                         &bytes) == ERROR_SUCCESS;
         ++i, nameLen = 256, bytes = sizeof data - sizeof(wchar_t)) {
        data[bytes / sizeof(wchar_t)] = 0;
        out.insert(narrow(path + L" [" + name + L"] = ") +
                   (type == REG_SZ ? narrow(data) : "(not a string)"));
    }
    if (i == 0) out.insert("key " + narrow(path));
    for (i = 0; RegEnumKeyW(k, i, name, 256) == ERROR_SUCCESS; ++i)
        readTree(path + L"\\" + name, view, out);
    RegCloseKey(k);
}

bool exists(const std::string& path, View view) {
    std::set<std::string> entries;
    readTree(std::wstring(path.begin(), path.end()), view, entries);
    return !entries.empty();
}

// Every missing, extra or different key and value under the four ProgID keys and the class key,
// and a type library not registered to modulePath. Empty when the registry is exactly right.
std::vector<std::string> registeredDifferences(const std::wstring& modulePath, View view) {
    std::set<std::string> want, got;
    for (const std::string& e : entries())
        want.insert(expand(e, narrow(modulePath)));
    for (const std::string& root : roots()) {
        const std::string r = expand(root, "");
        readTree(std::wstring(r.begin(), r.end()), view, got);
    }
    // The type library is registered by the system's own function; only where it points is ours.
    const std::string lib = typeLibKey(view);
    readTree(std::wstring(lib.begin(), lib.end()), view, got);
    want.insert(lib + " [] = " + narrow(modulePath));
    std::vector<std::string> diffs;
    for (const std::string& s : want)
        if (!got.count(s)) diffs.push_back("missing: " + s);
    for (const std::string& s : got)
        if (!want.count(s)) diffs.push_back("extra: " + s);
    return diffs;
}

// What is left in the view after unregistration (ProgID keys, class key, the type library's entry
// for the view's bitness), and a removed CLSID key, which unregistration must leave alone.
std::vector<std::string> unregisteredLeftovers(View view, bool sharedProgIds) {
    std::vector<std::string> left;
    for (const std::string& root : roots())
        if ((!sharedProgIds || root[0] == '%') && exists(expand(root, ""), view))
            left.push_back(expand(root, "") + " still present");
    if (exists(typeLibKey(view), view)) left.push_back(typeLibKey(view) + " still registered");
    if (!exists("CLSID", view)) left.push_back("the CLSID key itself was removed");
    return left;
}

bool parseView(int argc, wchar_t** argv, int at, View& view) {
    if (argc == at) return true;
    const bool is64 = std::wcscmp(argv[at], L"64") == 0, is32 = std::wcscmp(argv[at], L"32") == 0;
    view = is64 ? View::Bits64 : View::Bits32;
    return argc == at + 1 && (is64 || is32);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> problems;
    View view = kOwnView;
    const bool sharedProgIds = argc > 2 && std::wcscmp(argv[argc - 1], L"shared-progids") == 0;
    if (sharedProgIds) --argc;
    if (argc >= 3 && std::wcscmp(argv[1], L"registered") == 0 && parseView(argc, argv, 3, view)) {
        // The full path as registration wrote it: the DLL's own module path, as the loader
        // reports it, when it can be loaded (same bitness); otherwise the path made absolute.
        wchar_t path[MAX_PATH * 2] = {};
        HMODULE m = LoadLibraryExW(argv[2], nullptr, DONT_RESOLVE_DLL_REFERENCES);
        if (!(m && GetModuleFileNameW(m, path, MAX_PATH * 2)) &&
            !GetFullPathNameW(argv[2], MAX_PATH * 2, path, nullptr))
            problems.push_back("cannot find the DLL");
        else
            problems = registeredDifferences(path, view);
    } else if (argc >= 2 && std::wcscmp(argv[1], L"unregistered") == 0 &&
               parseView(argc, argv, 2, view)) {
        problems = unregisteredLeftovers(view, sharedProgIds);
    } else {
        std::printf("usage: qx_com_regcheck registered DLL [64|32] | unregistered [64|32] "
                    "[shared-progids]\n");
        return 2;
    }
    for (const std::string& p : problems)
        std::printf("regcheck FAIL (%d-bit view): %s\n", int(view), p.c_str());
    if (problems.empty()) std::printf("regcheck pass: %ls (%d-bit view)\n", argv[1], int(view));
    return problems.empty() ? 0 : 1;
}
