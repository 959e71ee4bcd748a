// Linux stand-in for the system services the library asks of Windows.
#include "platform/CriticalSection.h"
#include "platform/Platform.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <pwd.h>
#include <time.h>
#include <unistd.h>

static_assert(sizeof(std::recursive_mutex) <= 64, "CriticalSection storage too small");

CriticalSection::CriticalSection() {
    new (storage_) std::recursive_mutex();
}
CriticalSection::~CriticalSection() {
    reinterpret_cast<std::recursive_mutex*>(storage_)->~recursive_mutex();
}
void CriticalSection::enter() {
    reinterpret_cast<std::recursive_mutex*>(storage_)->lock();
}
void CriticalSection::leave() {
    reinterpret_cast<std::recursive_mutex*>(storage_)->unlock();
}

namespace platform {

static std::atomic<int> g_ansiOverride{0};

// A Linux system has no ANSI code page of its own; the one a US Windows system has stands in.
int ansiCodePage() {
    int cp = g_ansiOverride.load();
    return cp ? cp : 1252;
}
int oemCodePage() {
    return 437;
}
void setAnsiCodePageOverride(int codePage) {
    g_ansiOverride = codePage;
}

int osMajorVersion() {
    return 10;
}

std::string userName() {
    char buf[400];
    if (getlogin_r(buf, sizeof buf) == 0) return buf;
    struct passwd pw;
    struct passwd* res = nullptr;
    char scratch[1024];
    if (getpwuid_r(geteuid(), &pw, scratch, sizeof scratch, &res) == 0 && res && res->pw_name)
        return res->pw_name;
    const char* env = std::getenv("USER");
    return env ? env : "";
}

uint32_t tickCount() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                                 static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

void fatalFault(const char* what) {
    std::fprintf(stderr, "QuenlixCsv fatal fault: %s\n", what ? what : "");
    std::fflush(stderr);
    std::abort();
}

} // namespace platform
