// qx_com_regcheck: compares the registry with what a registration of QuenlixCsv.dll must leave.
//   qx_com_regcheck registered PATH-OF-DLL [64|32]   exactly the expected entries, pointing at PATH
//   qx_com_regcheck unregistered [64|32]             none of them, and the CLSID key still there
// 64 or 32 names the registry view to read (default: the checker's own bitness), so a 64-bit
// checker reads what the 32-bit regsvr32 wrote. Prints one line per difference and exits with 1
// when there is any, 2 on bad usage.
#include "ExpectedRegistry.h"

#include <cstdio>
#include <cwchar>

namespace {

bool parseView(int argc, wchar_t** argv, int at, regcheck::View& view) {
    if (argc == at) return true;
    const bool is64 = std::wcscmp(argv[at], L"64") == 0, is32 = std::wcscmp(argv[at], L"32") == 0;
    view = is64 ? regcheck::View::Bits64 : regcheck::View::Bits32;
    return argc == at + 1 && (is64 || is32);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> problems;
    regcheck::View view = regcheck::kOwnView;
    if (argc >= 3 && std::wcscmp(argv[1], L"registered") == 0 && parseView(argc, argv, 3, view)) {
        // The full path as registration wrote it: the DLL's own module path, as the loader
        // reports it, when it can be loaded (same bitness); otherwise the path made absolute.
        wchar_t path[MAX_PATH * 2] = {};
        HMODULE m = LoadLibraryExW(argv[2], nullptr, DONT_RESOLVE_DLL_REFERENCES);
        if (!(m && GetModuleFileNameW(m, path, MAX_PATH * 2)) &&
            !GetFullPathNameW(argv[2], MAX_PATH * 2, path, nullptr))
            problems.push_back("cannot find the DLL");
        else
            problems = regcheck::registeredDifferences(path, view);
    } else if (argc >= 2 && std::wcscmp(argv[1], L"unregistered") == 0 &&
               parseView(argc, argv, 2, view)) {
        problems = regcheck::unregisteredLeftovers(view);
    } else {
        std::printf("usage: qx_com_regcheck registered DLL [64|32] | unregistered [64|32]\n");
        return 2;
    }
    for (const std::string& p : problems)
        std::printf("regcheck FAIL (%d-bit view): %s\n", int(view), p.c_str());
    if (problems.empty()) std::printf("regcheck pass: %ls (%d-bit view)\n", argv[1], int(view));
    return problems.empty() ? 0 : 1;
}
