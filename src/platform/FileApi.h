#pragma once
// The file functions of the operating system, behind one seam. The names, arguments, constants
// and error codes are those of the Windows file API, which the file layer was written against:
// the Windows build forwards to it, the Linux build has a stand-in with the same behaviour
// (path syntax, error codes, sharing between handles, the read-only attribute).
//
// Windows-only code that also includes <windows.h> must include this header first: the system
// header defines the same names as macros.
#include <cstdint>
#include <string>

namespace platform {

// An open file. Valid handles are never equal to INVALID_HANDLE_VALUE.
typedef void* FileHandle;
const FileHandle INVALID_HANDLE_VALUE = reinterpret_cast<FileHandle>(~static_cast<uintptr_t>(0));

// Access rights.
constexpr uint32_t GENERIC_READ = 0x80000000u;
constexpr uint32_t GENERIC_WRITE = 0x40000000u;
// Sharing: what other handles to the same file may do while this one is open.
constexpr uint32_t FILE_SHARE_READ = 1;
constexpr uint32_t FILE_SHARE_WRITE = 2;
// Creation dispositions.
constexpr uint32_t CREATE_NEW = 1;
constexpr uint32_t CREATE_ALWAYS = 2;
constexpr uint32_t OPEN_EXISTING = 3;
constexpr uint32_t OPEN_ALWAYS = 4;
constexpr uint32_t TRUNCATE_EXISTING = 5;
// Attributes.
constexpr uint32_t FILE_ATTRIBUTE_READONLY = 0x1;
constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr uint32_t INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
constexpr uint32_t INVALID_FILE_SIZE = 0xFFFFFFFFu;

// Error codes the file layer looks at or the tests expect.
constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
constexpr uint32_t ERROR_PATH_NOT_FOUND = 3;
constexpr uint32_t ERROR_ACCESS_DENIED = 5;
constexpr uint32_t ERROR_INVALID_HANDLE = 6;
constexpr uint32_t ERROR_SHARING_VIOLATION = 32;

// Opens or creates a file. A narrow path is text in the system ANSI code page, a wide one
// zero-terminated UTF-16. On failure: INVALID_HANDLE_VALUE, and getLastError() tells why.
FileHandle createFileA(const char* path, uint32_t access, uint32_t share, uint32_t creation,
                       uint32_t attributes);
FileHandle createFileW(const uint16_t* path, uint32_t access, uint32_t share, uint32_t creation,
                       uint32_t attributes);

// Reads up to count bytes; *bytesRead is set (0 at the end of the file). False on failure.
bool readFile(FileHandle file, void* buffer, uint32_t count, uint32_t* bytesRead);
// Writes count bytes; *bytesWritten tells how many were written. False on failure.
bool writeFile(FileHandle file, const void* data, uint32_t count, uint32_t* bytesWritten);
// Size of the file: the low 32 bits are returned and the high 32 bits stored in *sizeHigh when
// it is not null. INVALID_FILE_SIZE with a last error other than 0 means failure.
uint32_t getFileSize(FileHandle file, uint32_t* sizeHigh);
bool closeHandle(FileHandle file);

// Attributes of a file or directory; INVALID_FILE_ATTRIBUTES on failure.
uint32_t getFileAttributesA(const char* path);
uint32_t getFileAttributesW(const uint16_t* path);
bool setFileAttributesA(const char* path, uint32_t attributes);
bool setFileAttributesW(const uint16_t* path, uint32_t attributes);

// The absolute form of path. When it fits in bufferChars characters (terminator included), it is
// written to buffer and its length without the terminator returned; when it does not fit, the
// size needed (terminator included) is returned and buffer is left alone; 0 on failure.
uint32_t getFullPathNameA(const char* path, uint32_t bufferChars, char* buffer);
uint32_t getFullPathNameW(const uint16_t* path, uint32_t bufferChars, uint16_t* buffer);

// The calling thread's last error code (a Windows error code on every build).
uint32_t getLastError();
void setLastError(uint32_t code);
// Same as getLastError(); for callers outside the file functions (error texts).
uint32_t lastErrorCode();

void sleepMs(uint32_t milliseconds);

} // namespace platform
