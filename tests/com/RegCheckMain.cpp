// qx_com_regcheck: compares the registry with what a registration of QuenlixCsv.dll must leave.
//   qx_com_regcheck registered PATH-OF-DLL    exactly the expected entries, pointing at PATH
//   qx_com_regcheck unregistered              none of them, and the CLSID key still there
// Prints one line per difference and exits with 1 when there is any, 2 on bad usage.
#include "ExpectedRegistry.h"

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> problems;
    if (argc == 3 && std::wcscmp(argv[1], L"registered") == 0) {
        // The path as the system reports it for the loaded library, as registration wrote it.
        wchar_t path[MAX_PATH * 2] = {};
        HMODULE m = LoadLibraryExW(argv[2], nullptr, DONT_RESOLVE_DLL_REFERENCES);
        if (!m || !GetModuleFileNameW(m, path, MAX_PATH * 2))
            problems.push_back("cannot load DLL");
        else
            problems = regcheck::registeredDifferences(path);
    } else if (argc == 2 && std::wcscmp(argv[1], L"unregistered") == 0) {
        problems = regcheck::unregisteredLeftovers();
    } else {
        std::printf("usage: qx_com_regcheck registered DLL | unregistered\n");
        return 2;
    }
    for (const std::string& p : problems)
        std::printf("regcheck FAIL: %s\n", p.c_str());
    if (problems.empty()) std::printf("regcheck pass: %ls\n", argv[1]);
    return problems.empty() ? 0 : 1;
}
