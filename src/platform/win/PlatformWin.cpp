// Windows implementation of the system services the library uses.
#include "platform/CriticalSection.h"
#include "platform/Platform.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <windows.h>

static_assert(sizeof(CRITICAL_SECTION) <= 64, "CriticalSection storage too small");

CriticalSection::CriticalSection() {
    InitializeCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_));
}
CriticalSection::~CriticalSection() {
    DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_));
}
void CriticalSection::enterLock() {
    EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_));
}
void CriticalSection::leaveLock() {
    LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_));
}

// FlushProcessWriteBuffers makes every processor running a thread of the process pass a full
// barrier. It is looked up rather than linked, so that a system without it loads the library and
// only goes without biased locks.
bool CriticalSection::processBarrier() {
    using Flush = VOID(WINAPI*)(VOID);
    static const Flush flush = [] {
        HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        return kernel ? reinterpret_cast<Flush>(reinterpret_cast<void*>(
                            GetProcAddress(kernel, "FlushProcessWriteBuffers")))
                      : nullptr;
    }();
    if (!flush) return false;
    flush();
    return true;
}

namespace platform {

static std::atomic<int> g_ansiOverride{0};

int ansiCodePage() {
    int cp = g_ansiOverride.load();
    return cp ? cp : static_cast<int>(GetACP());
}
int oemCodePage() {
    return static_cast<int>(GetOEMCP());
}
void setAnsiCodePageOverride(int codePage) {
    g_ansiOverride = codePage;
}

int osMajorVersion() {
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info; // 148 bytes
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info)) return 0;
#pragma GCC diagnostic pop
    return static_cast<int>(info.dwMajorVersion);
}

std::string userName() {
    char buf[400];
    DWORD n = sizeof buf;
    if (!GetUserNameA(buf, &n)) return std::string();
    return std::string(buf);
}

uint32_t tickCount() {
    return GetTickCount();
}

std::string errorMessageText(uint32_t code) {
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string out;
    if (n && text) out.assign(text, n);
    if (text) LocalFree(text);
    return out;
}

void fatalFault(const char* what) {
    std::fprintf(stderr, "QuenlixCsv fatal fault: %s\n", what ? what : "");
    std::fflush(stderr);
    std::abort();
}

} // namespace platform
