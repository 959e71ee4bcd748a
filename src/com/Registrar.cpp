#include "com/Registrar.h"

#include "com/ComModule.h"
#include "com/QuenlixCsvIdl.h"
#include "com/RegScript.h"

#include <ole2.h>

namespace {

const int kScriptResourceId = 102;
const int kTextCap = 2048;
const HRESULT kBadScript = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

// The script and the texts its variables stand for.
struct Script {
    RegScript script;
    wchar_t module[kTextCap];
    wchar_t clsid[40];
    wchar_t libid[40];
    RegScriptVariable vars[3];

    HRESULT load() {
        if (!ComModule::modulePath(module, kTextCap))
            return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
        StringFromGUID2(CLSID_QuenlixCsv, clsid, 40);
        StringFromGUID2(LIBID_QUENLIXCSVLib, libid, 40);
        vars[0] = {"MODULE", module};
        vars[1] = {"CLSID", clsid};
        vars[2] = {"LIBID", libid};

        HINSTANCE inst = ComModule::instance();
        HRSRC res = FindResourceW(inst, MAKEINTRESOURCEW(kScriptResourceId), L"REGISTRY");
        HGLOBAL mem = res ? LoadResource(inst, res) : nullptr;
        const char* text = mem ? static_cast<const char*>(LockResource(mem)) : nullptr;
        if (!text) return HRESULT_FROM_WIN32(GetLastError());
        return script.parse(text, SizeofResource(inst, res)) ? S_OK : kBadScript;
    }

    bool expand(RegScriptText t, wchar_t* out) const {
        return RegScript::expand(t, vars, 3, out, kTextCap) >= 0;
    }
};

// Key or value text of one entry, expanded.
struct EntryText {
    wchar_t path[kTextCap];
    wchar_t name[kTextCap];
    wchar_t data[kTextCap];
};

bool expandEntry(const Script& s, const RegScriptEntry& e, EntryText& t) {
    t.name[0] = 0;
    t.data[0] = 0;
    if (!s.expand(e.path, t.path)) return false;
    if (e.kind == RegScriptKind::Value && !s.expand(e.name, t.name)) return false;
    return !e.hasData || s.expand(e.data, t.data);
}

HRESULT fromWin32(LONG rc) {
    return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc);
}

// The registry view of the other bitness: a 64-bit and a 32-bit build of this library register
// side by side, each in the view of its own process (on 32-bit Windows there is one view, and
// the flag is ignored).
const REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

HRESULT writeEntry(const RegScriptEntry& e, const EntryText& t, REGSAM view = 0) {
    if (e.kind == RegScriptKind::Replace) {
        LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, t.path);
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return fromWin32(rc);
    }
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, t.path, 0, nullptr, 0, KEY_SET_VALUE | view,
                              nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) return fromWin32(rc);
    if (e.hasData) {
        DWORD bytes = static_cast<DWORD>((lstrlenW(t.data) + 1) * sizeof(wchar_t));
        rc = RegSetValueExW(key, e.kind == RegScriptKind::Value ? t.name : nullptr, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(t.data), bytes);
    }
    RegCloseKey(key);
    return fromWin32(rc);
}

void removeEntry(const RegScriptEntry& e, const EntryText& t) {
    switch (e.kind) {
    case RegScriptKind::Keep:
        return;
    case RegScriptKind::Replace:
        RegDeleteTreeW(HKEY_CLASSES_ROOT, t.path);
        return;
    case RegScriptKind::Value:
    case RegScriptKind::Key:
        break;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, t.path, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS)
        return;
    if (e.kind == RegScriptKind::Value) {
        RegDeleteValueW(key, t.name);
        RegCloseKey(key);
        return;
    }
    if (e.hasData) RegDeleteValueW(key, nullptr);
    // Something another program put under the key keeps it (the script's own subkeys are gone
    // already: they come after their parent in the script and are removed first).
    DWORD subkeys = 0, values = 0;
    LONG rc = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    if (rc == ERROR_SUCCESS && subkeys == 0 && values == 0)
        RegDeleteKeyW(HKEY_CLASSES_ROOT, t.path);
}

HRESULT loadOwnTypeLib(const Script& s, ITypeLib** lib) {
    return LoadTypeLibEx(s.module, REGKIND_NONE, lib);
}

typedef HRESULT(WINAPI* UnRegisterTypeLibFn)(REFGUID, WORD, WORD, LCID, SYSKIND);

void unregisterTypeLib(const Script& s) {
    HMODULE oleaut = LoadLibraryW(L"oleaut32.dll");
    if (!oleaut) return;
    FARPROC proc = GetProcAddress(oleaut, "UnRegisterTypeLib");
    ITypeLib* lib = nullptr;
    if (proc && SUCCEEDED(loadOwnTypeLib(s, &lib))) {
        TLIBATTR* attr = nullptr;
        if (SUCCEEDED(lib->GetLibAttr(&attr))) {
            auto fn = reinterpret_cast<UnRegisterTypeLibFn>(reinterpret_cast<void*>(proc));
            fn(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
            lib->ReleaseTLibAttr(attr);
        }
        lib->Release();
    }
    FreeLibrary(oleaut);
}

} // namespace

HRESULT Registrar::registerServer() {
    Script s;
    HRESULT hr = s.load();
    if (FAILED(hr)) return hr;
    EntryText t;
    for (int i = 0; i < s.script.count(); ++i) {
        const RegScriptEntry& e = s.script.entry(i);
        if (!expandEntry(s, e, t)) return kBadScript;
        hr = writeEntry(e, t);
        if (FAILED(hr)) return hr;
    }
    ITypeLib* lib = nullptr;
    hr = loadOwnTypeLib(s, &lib);
    if (FAILED(hr)) return hr;
    hr = RegisterTypeLib(lib, s.module, nullptr);
    lib->Release();
    return hr;
}

namespace {

bool isClassEntry(const EntryText& t) {
    return CompareStringOrdinal(t.path, 5, L"CLSID", 5, TRUE) == CSTR_EQUAL;
}

// Whether the other bitness's build is still registered: its class key in the other view names
// a server.
bool otherViewHasServer(const Script& s) {
    wchar_t path[80] = L"CLSID\\";
    lstrcatW(path, s.clsid);
    lstrcatW(path, L"\\InprocServer32");
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_QUERY_VALUE | kOtherView, &key) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

} // namespace

HRESULT Registrar::unregisterServer() {
    Script s;
    if (SUCCEEDED(s.load())) {
        EntryText t;
        for (int i = s.script.count() - 1; i >= 0; --i) {
            const RegScriptEntry& e = s.script.entry(i);
            if (expandEntry(s, e, t)) removeEntry(e, t);
        }
        // Where the system shares the ProgID keys between the two views (class keys never are),
        // removing ours took the other build's names too: write them back while it is registered.
        // Where each view has its own, this finds them in place and changes nothing.
        if (otherViewHasServer(s)) {
            for (int i = 0; i < s.script.count(); ++i) {
                const RegScriptEntry& e = s.script.entry(i);
                if (expandEntry(s, e, t) && !isClassEntry(t)) writeEntry(e, t, kOtherView);
            }
        }
    }
    unregisterTypeLib(s);
    return S_OK;
}
