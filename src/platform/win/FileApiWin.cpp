// The file functions on Windows: thin forwards to the system, plus the test-only failure seam.
#include "platform/FileApi.h"

#ifdef QX_FAULT_INJECTION
#include "platform/FaultInjection.h"
#endif

// The system header defines the same names as macros; keep our values at hand to compare.
namespace {
constexpr uint32_t kOurGenericRead = platform::GENERIC_READ;
constexpr uint32_t kOurGenericWrite = platform::GENERIC_WRITE;
constexpr uint32_t kOurShareRead = platform::FILE_SHARE_READ;
constexpr uint32_t kOurShareWrite = platform::FILE_SHARE_WRITE;
constexpr uint32_t kOurCreateNew = platform::CREATE_NEW;
constexpr uint32_t kOurCreateAlways = platform::CREATE_ALWAYS;
constexpr uint32_t kOurOpenExisting = platform::OPEN_EXISTING;
constexpr uint32_t kOurOpenAlways = platform::OPEN_ALWAYS;
constexpr uint32_t kOurTruncateExisting = platform::TRUNCATE_EXISTING;
constexpr uint32_t kOurReadOnly = platform::FILE_ATTRIBUTE_READONLY;
constexpr uint32_t kOurDirectory = platform::FILE_ATTRIBUTE_DIRECTORY;
constexpr uint32_t kOurNormal = platform::FILE_ATTRIBUTE_NORMAL;
constexpr uint32_t kOurInvalidAttributes = platform::INVALID_FILE_ATTRIBUTES;
constexpr uint32_t kOurInvalidSize = platform::INVALID_FILE_SIZE;
} // namespace

#include <windows.h>

static_assert(kOurGenericRead == GENERIC_READ && kOurGenericWrite == GENERIC_WRITE, "access");
static_assert(kOurShareRead == FILE_SHARE_READ && kOurShareWrite == FILE_SHARE_WRITE, "sharing");
static_assert(kOurCreateNew == CREATE_NEW && kOurCreateAlways == CREATE_ALWAYS &&
                  kOurOpenExisting == OPEN_EXISTING && kOurOpenAlways == OPEN_ALWAYS &&
                  kOurTruncateExisting == TRUNCATE_EXISTING,
              "creation");
static_assert(kOurReadOnly == FILE_ATTRIBUTE_READONLY &&
                  kOurDirectory == FILE_ATTRIBUTE_DIRECTORY &&
                  kOurNormal == FILE_ATTRIBUTE_NORMAL &&
                  kOurInvalidAttributes == INVALID_FILE_ATTRIBUTES,
              "attributes");
static_assert(kOurInvalidSize == INVALID_FILE_SIZE, "size");
static_assert(sizeof(wchar_t) == sizeof(uint16_t), "UTF-16 paths are passed as wchar_t");

namespace platform {

namespace {
bool injectedOpenFailure() {
#ifdef QX_FAULT_INJECTION
    ++FileFaultInjection::openCalls;
    uint32_t code = 0;
    if (FileFaultInjection::takeOpenError(code)) {
        SetLastError(code);
        return true;
    }
#endif
    return false;
}
} // namespace

FileHandle createFileA(const char* path, uint32_t access, uint32_t share, uint32_t creation,
                       uint32_t attributes) {
    if (injectedOpenFailure()) return INVALID_HANDLE_VALUE;
    return CreateFileA(path, access, share, nullptr, creation, attributes, nullptr);
}

FileHandle createFileW(const uint16_t* path, uint32_t access, uint32_t share, uint32_t creation,
                       uint32_t attributes) {
    if (injectedOpenFailure()) return INVALID_HANDLE_VALUE;
    return CreateFileW(reinterpret_cast<const wchar_t*>(path), access, share, nullptr, creation,
                       attributes, nullptr);
}

bool readFile(FileHandle file, void* buffer, uint32_t count, uint32_t* bytesRead) {
    *bytesRead = 0;
#ifdef QX_FAULT_INJECTION
    if (uint32_t code = FileFaultInjection::readError.load()) {
        SetLastError(code);
        return false;
    }
    long limit = FileFaultInjection::readLimit.load();
    if (limit >= 0 && count > static_cast<unsigned long>(limit))
        count = static_cast<uint32_t>(limit);
#endif
    DWORD n = 0;
    BOOL ok = ReadFile(file, buffer, count, &n, nullptr);
    *bytesRead = n;
    return ok != FALSE;
}

bool writeFile(FileHandle file, const void* data, uint32_t count, uint32_t* bytesWritten) {
    *bytesWritten = 0;
    bool cut = false;
#ifdef QX_FAULT_INJECTION
    long limit = FileFaultInjection::writeLimit.load();
    if (limit >= 0 && count > static_cast<unsigned long>(limit)) {
        count = static_cast<uint32_t>(limit);
        cut = true;
    }
#endif
    DWORD n = 0;
    BOOL ok = WriteFile(file, data, count, &n, nullptr);
    *bytesWritten = n;
    if (ok && cut) {
        SetLastError(ERROR_DISK_FULL);
        return false;
    }
    return ok != FALSE;
}

uint32_t getFileSize(FileHandle file, uint32_t* sizeHigh) {
    if (sizeHigh) *sizeHigh = 0;
#ifdef QX_FAULT_INJECTION
    if (uint32_t code = FileFaultInjection::sizeError.load()) {
        SetLastError(code);
        return INVALID_FILE_SIZE;
    }
#endif
    // A size whose low half is all ones is told from a failure by a last error of 0.
    SetLastError(NO_ERROR);
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    if (sizeHigh) *sizeHigh = high;
    return low;
}

bool closeHandle(FileHandle file) {
    return CloseHandle(file) != FALSE;
}

uint32_t getFileAttributesA(const char* path) {
    return GetFileAttributesA(path);
}
uint32_t getFileAttributesW(const uint16_t* path) {
    return GetFileAttributesW(reinterpret_cast<const wchar_t*>(path));
}
bool setFileAttributesA(const char* path, uint32_t attributes) {
    return SetFileAttributesA(path, attributes) != FALSE;
}
bool setFileAttributesW(const uint16_t* path, uint32_t attributes) {
    return SetFileAttributesW(reinterpret_cast<const wchar_t*>(path), attributes) != FALSE;
}

uint32_t getFullPathNameA(const char* path, uint32_t bufferChars, char* buffer) {
    return GetFullPathNameA(path, bufferChars, buffer, nullptr);
}
uint32_t getFullPathNameW(const uint16_t* path, uint32_t bufferChars, uint16_t* buffer) {
    return GetFullPathNameW(reinterpret_cast<const wchar_t*>(path), bufferChars,
                            reinterpret_cast<wchar_t*>(buffer), nullptr);
}

uint32_t getLastError() {
    return GetLastError();
}
void setLastError(uint32_t code) {
    SetLastError(code);
}
uint32_t lastErrorCode() {
    return GetLastError();
}

void sleepMs(uint32_t milliseconds) {
    Sleep(milliseconds);
}

} // namespace platform
