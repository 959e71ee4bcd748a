// Linux stand-in for the system services the library asks of Windows.
#include "platform/CriticalSection.h"
#include "platform/Platform.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <linux/futex.h>
#include <linux/membarrier.h>
#include <new>
#include <pwd.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

static_assert(sizeof(std::atomic<int>) == sizeof(int) && std::atomic<int>::is_always_lock_free,
              "the lock word is waited on as a plain int");

CriticalSection::CriticalSection() = default;
CriticalSection::~CriticalSection() = default;
// The contended path: the lock word says kWaitedFor while anyone may be asleep on it, so that the
// holder's leave knows to wake one sleeper. A woken thread takes the lock as kWaitedFor again, as
// others may still sleep; the cost is at most one needless wake call.
void CriticalSection::wait(int seen) {
    if (seen != kWaitedFor) seen = state_.exchange(kWaitedFor, std::memory_order_acquire);
    while (seen != kFree) {
        syscall(SYS_futex, reinterpret_cast<int*>(&state_), FUTEX_WAIT_PRIVATE, kWaitedFor, nullptr,
                nullptr, 0);
        seen = state_.exchange(kWaitedFor, std::memory_order_acquire);
    }
}
void CriticalSection::wakeOne() {
    syscall(SYS_futex, reinterpret_cast<int*>(&state_), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}
// The private expedited barrier interrupts only the processors running this process's threads.
// A process registers for it once; a kernel without it (or a sandbox that refuses the call) gets
// no biased locks.
bool CriticalSection::processBarrier() {
    static std::atomic<int> registered{0}; // 0: not yet, 1: done, 2: refused
    int state = registered.load(std::memory_order_acquire);
    if (state == 0) {
        const long commands = syscall(SYS_membarrier, MEMBARRIER_CMD_QUERY, 0, 0);
        state =
            commands > 0 && (commands & MEMBARRIER_CMD_PRIVATE_EXPEDITED) &&
                    syscall(SYS_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0
                ? 1
                : 2;
        registered.store(state, std::memory_order_release);
    }
    return state == 1 && syscall(SYS_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0) == 0;
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
// The user whose rights the calling thread runs with, which is the effective user: the login
// name of the session (getlogin) may be another user after su or sudo. A name that would not fit
// the 400-byte buffer of the Windows call, or a user without a name, gives an empty text.
std::string userName() {
    struct passwd pw;
    struct passwd* res = nullptr;
    char scratch[2048];
    if (getpwuid_r(geteuid(), &pw, scratch, sizeof scratch, &res) != 0 || !res || !res->pw_name)
        return std::string();
    std::string name = res->pw_name;
    return name.size() < 400 ? name : std::string();
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
