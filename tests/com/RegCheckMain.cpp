// qx_com_regcheck: compares the registry with what a registration of QuenlixCsv.dll must leave,
// as data/registry.txt lists it, in the view of a bitness (default: the checker's own, so that a
// 64-bit checker reads what the 32-bit regsvr32 wrote). Prints a line per difference; exits 1 if
// there is any, 2 on bad usage.
//   qx_com_regcheck registered PATH-OF-DLL [64|32]   exactly the expected entries, pointing at PATH
//   qx_com_regcheck unregistered [64|32]             none of them, and the CLSID key still there
//   (with "shared-progids" last: the ProgID keys, which that system keeps once for both views and
//   the other bitness may still hold, are not looked at)
#include "com/QuenlixCsvIdl.h"
#include "platform/TempDir.h"

#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

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

// The view: HKEY_CLASSES_ROOT as regsvr32 from System32 or SysWOW64 sees it.
int bits = sizeof(void*) * 8;

// %T the type library's key in the view, %K the class key, %C and %L the class's and the library's
// ids, %M the module path.
std::string expand(std::string s, const std::string& module = "") {
    const std::string clsid = guidString(CLSID_QuenlixCsv);
    const std::pair<std::string, std::string> vars[] = {
        {"%T", "TypeLib\\%L\\1.0\\0\\win" + std::to_string(bits)},
        {"%K", "CLSID\\" + clsid},
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
        out.insert(expand(e.substr(0, e.find_first_of("\\ "))));
    }
    return out;
}

// Adds the key at path and every key below it, as "PATH [NAME] = DATA" for a string value ("" names
// the default value) or "key PATH" for a key without values.
void readTree(const std::string& path, std::set<std::string>& out) {
    HKEY k = nullptr;
    const REGSAM view = bits == 64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | view, &k) != ERROR_SUCCESS)
        return;
    wchar_t name[256], data[1024];
    DWORD i = 0, nameLen = 256, type = 0, bytes = sizeof data - sizeof(wchar_t);
    for (; RegEnumValueW(k, i, name, &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(data),
                         &bytes) == ERROR_SUCCESS;
         ++i, nameLen = 256, bytes = sizeof data - sizeof(wchar_t)) {
        data[bytes / sizeof(wchar_t)] = 0;
        out.insert(path + " [" + narrow(name) +
                   "] = " + (type == REG_SZ ? narrow(data) : "(not a string)"));
    }
    if (i == 0) out.insert("key " + path);
    for (i = 0; RegEnumKeyW(k, i, name, 256) == ERROR_SUCCESS; ++i)
        readTree(path + "\\" + narrow(name), out);
    RegCloseKey(k);
}

bool exists(const std::string& path) {
    std::set<std::string> entries;
    readTree(path, entries);
    return !entries.empty();
}

// Every missing, extra or different key and value under the four ProgID keys and the class key,
// and a type library not registered to modulePath. Empty when the registry is exactly right.
std::vector<std::string> registeredDifferences(const std::string& modulePath) {
    std::set<std::string> want, got;
    for (const std::string& e : entries())
        want.insert(expand(e, modulePath));
    for (const std::string& root : roots())
        readTree(root, got);
    // The type library is registered by the system's own function; only where it points is ours.
    readTree(expand("%T"), got);
    want.insert(expand("%T [] = %M", modulePath));
    std::vector<std::string> diffs;
    for (const std::string& s : want)
        if (!got.count(s)) diffs.push_back("missing: " + s);
    for (const std::string& s : got)
        if (!want.count(s)) diffs.push_back("extra: " + s);
    return diffs;
}

// What is left in the view after unregistration (ProgID keys, class key, the type library's entry
// for the view's bitness), and a removed CLSID key, which unregistration must leave alone.
std::vector<std::string> unregisteredLeftovers(bool sharedProgIds) {
    std::vector<std::string> left;
    for (const std::string& root : roots())
        if ((!sharedProgIds || root.compare(0, 6, "CLSID\\") == 0) && exists(root))
            left.push_back(root + " still present");
    if (exists(expand("%T"))) left.push_back(expand("%T still registered"));
    if (!exists("CLSID")) left.push_back("the CLSID key itself was removed");
    return left;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> args(argv + 1, argv + argc);
    const bool sharedProgIds = args.size() > 1 && args.back() == L"shared-progids";
    if (sharedProgIds) args.pop_back();
    const bool registered = !args.empty() && args[0] == L"registered";
    const size_t viewAt = registered ? 2 : 1; // where the optional 64 or 32 is
    if (args.size() == viewAt + 1) bits = args.back() == L"64" ? 64 : args.back() == L"32" ? 32 : 0;
    if (args.size() < viewAt || args.size() > viewAt + 1 || !bits ||
        (!registered && args[0] != L"unregistered")) {
        std::printf("usage: qx_com_regcheck registered DLL [64|32] | unregistered [64|32] "
                    "[shared-progids]\n");
        return 2;
    }
    std::vector<std::string> problems;
    wchar_t path[MAX_PATH * 2] = {};
    if (registered) {
        // The full path as registration wrote it: the DLL's own module path, as the loader
        // reports it, when it can be loaded (same bitness); otherwise the path made absolute.
        HMODULE m = LoadLibraryExW(args[1].c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        if (!(m && GetModuleFileNameW(m, path, MAX_PATH * 2)) &&
            !GetFullPathNameW(args[1].c_str(), MAX_PATH * 2, path, nullptr))
            problems.push_back("cannot find the DLL");
        else
            problems = registeredDifferences(narrow(path));
    } else {
        problems = unregisteredLeftovers(sharedProgIds);
    }
    for (const std::string& p : problems)
        std::printf("regcheck FAIL (%d-bit view): %s\n", bits, p.c_str());
    if (problems.empty()) std::printf("regcheck pass: %ls (%d-bit view)\n", argv[1], bits);
    return problems.empty() ? 0 : 1;
}
