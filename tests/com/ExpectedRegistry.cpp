#include "ExpectedRegistry.h"

#include "com/QuenlixCsvIdl.h"

#include <map>

namespace regcheck {

namespace {

// A registry key: its string values ("" is the default value) and its subkeys.
struct Node {
    std::map<std::wstring, std::wstring> values;
    std::map<std::wstring, Node> keys;
};

std::string narrow(const std::wstring& s) {
    std::string out;
    for (wchar_t c : s)
        out += c < 0x80 ? char(c) : '?';
    return out;
}

std::wstring guidString(const GUID& g) {
    wchar_t buf[40];
    StringFromGUID2(g, buf, 40);
    return buf;
}

Node key(std::wstring defaultValue) {
    Node n;
    n.values[L""] = std::move(defaultValue);
    return n;
}

Node keyOnly() {
    return Node();
}

// The four ProgID keys and the class key, as a registration must leave them.
std::map<std::wstring, Node> expectedRoots(const std::wstring& module) {
    const std::wstring clsid = guidString(CLSID_QuenlixCsv);
    std::map<std::wstring, Node> roots;

    Node& p1 = roots[L"QuenlixCsv.QuenlixCsv.1"] = key(L"QuenlixCsv Class");
    p1.keys[L"CLSID"] = key(clsid);
    p1.keys[L"Insertable"] = keyOnly();
    Node& p2 = roots[L"QuenlixCsv.QuenlixCsv"] = key(L"QuenlixCsv Class");
    p2.keys[L"CLSID"] = key(clsid);
    p2.keys[L"CurVer"] = key(L"QuenlixCsv.QuenlixCsv.1");
    Node& p3 = roots[L"Quenlix.Csv.1"] = key(L"Quenlix Csv");
    p3.keys[L"CLSID"] = key(clsid);
    p3.keys[L"Insertable"] = keyOnly();
    Node& p4 = roots[L"Quenlix.Csv"] = key(L"Quenlix Csv");
    p4.keys[L"CLSID"] = key(clsid);
    p4.keys[L"CurVer"] = key(L"Quenlix.Csv.1");

    Node& c = roots[L"CLSID\\" + clsid] = key(L"QuenlixCsv Class");
    c.keys[L"ProgID"] = key(L"QuenlixCsv.QuenlixCsv.1");
    c.keys[L"VersionIndependentProgID"] = key(L"QuenlixCsv.QuenlixCsv");
    c.keys[L"Programmable"] = keyOnly();
    Node& inproc = c.keys[L"InprocServer32"] = key(module);
    inproc.values[L"ThreadingModel"] = L"Apartment";
    c.keys[L"Control"] = keyOnly();
    c.keys[L"Insertable"] = keyOnly();
    c.keys[L"ToolboxBitmap32"] = key(module + L", 101");
    Node& misc = c.keys[L"MiscStatus"] = key(L"0");
    misc.keys[L"1"] = key(L"132497");
    c.keys[L"TypeLib"] = key(guidString(LIBID_QUENLIXCSVLib));
    c.keys[L"Version"] = key(L"1.0");
    return roots;
}

bool exists(const std::wstring& path) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
        return false;
    RegCloseKey(k);
    return true;
}

// Reads a key with everything under it; false when it does not exist.
bool readTree(HKEY parent, const std::wstring& path, Node& out, std::vector<std::string>& diffs) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD nameLen = 256, type = 0, bytes = 0;
        if (RegEnumValueW(k, i, name, &nameLen, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS)
            break;
        std::wstring data(bytes / sizeof(wchar_t) + 1, L'\0');
        nameLen = 256;
        DWORD size = DWORD(data.size() * sizeof(wchar_t));
        RegEnumValueW(k, i, name, &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]),
                      &size);
        data.resize(wcsnlen(data.c_str(), data.size()));
        if (type != REG_SZ)
            diffs.push_back(narrow(path) + ": value '" + narrow(name) + "' is not REG_SZ");
        out.values[name] = data;
    }
    for (DWORD i = 0;; ++i) {
        DWORD nameLen = 256;
        if (RegEnumKeyExW(k, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        readTree(k, name, out.keys[name], diffs);
    }
    RegCloseKey(k);
    return true;
}

void compare(const std::wstring& path, const Node& want, const Node& got,
             std::vector<std::string>& diffs) {
    for (const auto& v : want.values) {
        auto it = got.values.find(v.first);
        const std::string where = narrow(path) + " value '" + narrow(v.first) + "'";
        if (it == got.values.end())
            diffs.push_back(where + " missing");
        else if (it->second != v.second)
            diffs.push_back(where + " is '" + narrow(it->second) + "', want '" + narrow(v.second) +
                            "'");
    }
    for (const auto& v : got.values)
        if (!want.values.count(v.first))
            diffs.push_back(narrow(path) + " has extra value '" + narrow(v.first) + "'");
    for (const auto& k : want.keys) {
        auto it = got.keys.find(k.first);
        if (it == got.keys.end())
            diffs.push_back(narrow(path + L"\\" + k.first) + " missing");
        else
            compare(path + L"\\" + k.first, k.second, it->second, diffs);
    }
    for (const auto& k : got.keys)
        if (!want.keys.count(k.first))
            diffs.push_back(narrow(path + L"\\" + k.first) + " is extra");
}

std::wstring typeLibPath() {
    return L"TypeLib\\" + guidString(LIBID_QUENLIXCSVLib);
}

} // namespace

std::wstring clsidString() {
    return guidString(CLSID_QuenlixCsv);
}

std::vector<std::string> registeredDifferences(const std::wstring& modulePath) {
    std::vector<std::string> diffs;
    for (const auto& root : expectedRoots(modulePath)) {
        Node got;
        if (!readTree(HKEY_CLASSES_ROOT, root.first, got, diffs))
            diffs.push_back(narrow(root.first) + " missing");
        else
            compare(root.first, root.second, got, diffs);
    }
    // The type library is registered by the system's own function; only where it points is ours.
    Node lib;
    if (!readTree(HKEY_CLASSES_ROOT, typeLibPath() + L"\\1.0\\0\\win32", lib, diffs))
        diffs.push_back("type library not registered");
    else if (lib.values[L""] != modulePath)
        diffs.push_back("type library registered to '" + narrow(lib.values[L""]) + "'");
    return diffs;
}

std::vector<std::string> unregisteredLeftovers() {
    std::vector<std::string> left;
    for (const auto& root : expectedRoots(L""))
        if (exists(root.first)) left.push_back(narrow(root.first) + " still present");
    if (exists(typeLibPath() + L"\\1.0")) left.push_back("type library still registered");
    if (!exists(L"CLSID")) left.push_back("the CLSID key itself was removed");
    return left;
}

} // namespace regcheck
