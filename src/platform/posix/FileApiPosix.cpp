// Linux stand-in for the Windows file functions. It behaves as the file layer expects the system
// to behave, so that the same code paths (and the same tests) run on both builds:
//
// - Paths use Windows syntax. "\" and "/" both separate directories. A leading "\\?\" is
//   accepted and stripped, and such a path skips the 260-character limit and is otherwise taken
//   as it stands; "\\?\UNC\server\share" and "\\server\share" are network paths, which the
//   stand-in has none of (error 53). The drive "Z:" is the root of the file system, as under a
//   Windows emulator; any other drive letter fails with error 3. A path without a drive is taken
//   on the root ("\tmp\a.csv" is /tmp/a.csv) or, when relative, against the current directory.
// - Narrow paths are text in the ANSI code page (platform::ansiCodePage()); the code pages 1252
//   and 28591 and UTF-8 are known here, and with any other code page only 7-bit names can be
//   used (error 123 otherwise). Wide paths are UTF-16. Both become UTF-8 for the file system;
//   an unpaired surrogate is kept in the 3-byte form so that every name converts back.
// - errno becomes the Windows error code; ENOENT is told apart as 2 (file missing) or 3 (a
//   directory on the way is missing).
// - The read-only attribute is the owner's write permission, and it is honoured even for a
//   privileged user: opening such a file for writing fails with error 5, as on Windows.
// - Sharing modes hold between the handles of this process: every open file is entered in one
//   table (device and inode, access, sharing) under a mutex, and an open that conflicts with a
//   handle in the table fails with error 32 (sharing violation) until that handle is closed.
#include "platform/FileApi.h"
#include "platform/Memory.h"
#include "platform/Platform.h"

#ifdef QX_FAULT_INJECTION
#include "platform/FaultInjection.h"
#endif

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kErrorBadNetPath = 53;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorInvalidName = 123;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorFilenameTooLong = 206;
constexpr size_t kMaxPath = 260;

thread_local uint32_t t_lastError = 0;

// ---- text: UTF-16, UTF-8 and the ANSI code page ---------------------------------------------

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string utf16ToUtf8(const uint16_t* s) {
    std::string out;
    for (size_t i = 0; s[i]; ++i) {
        uint32_t u = s[i];
        if (u >= 0xD800 && u < 0xDC00 && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            u = 0x10000 + ((u - 0xD800) << 10) + (s[i + 1] - 0xDC00u);
            ++i;
        }
        appendUtf8(out, u);
    }
    return out;
}

// Decodes one UTF-8 sequence at s[i] (surrogates in the 3-byte form accepted); bytes that do not
// form a sequence give U+FFFD one at a time.
uint32_t decodeUtf8(const std::string& s, size_t& i) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
        ++i;
        return b;
    }
    int extra = (b >= 0xC2 && b < 0xE0)   ? 1
                : (b >= 0xE0 && b < 0xF0) ? 2
                : (b >= 0xF0 && b < 0xF5) ? 3
                                          : 0;
    if (extra == 0 || i + extra >= s.size()) {
        ++i;
        return 0xFFFD;
    }
    uint32_t cp = b & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        unsigned char c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    static const uint32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF) {
        ++i;
        return 0xFFFD;
    }
    i += static_cast<size_t>(extra) + 1;
    return cp;
}

std::vector<uint16_t> utf8ToUtf16(const std::string& s) {
    std::vector<uint16_t> out;
    for (size_t i = 0; i < s.size();) {
        uint32_t cp = decodeUtf8(s, i);
        if (cp >= 0x10000) {
            out.push_back(static_cast<uint16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<uint16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<uint16_t>(cp));
        }
    }
    return out;
}

// Code page 1252 differs from Latin-1 only in 0x80..0x9F; the five bytes it leaves undefined map
// to the C1 controls of the same value, as the system's converter maps them.
const uint16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool ansiToUtf8(const char* s, std::string& out) {
    int cp = ansiCodePage();
    out.clear();
    if (cp == 65001) {
        out = s;
        return true;
    }
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p; ++p) {
        if (*p < 0x80) {
            out += static_cast<char>(*p);
        } else if (cp == 1252) {
            appendUtf8(out, *p < 0xA0 ? kCp1252High[*p - 0x80] : *p);
        } else if (cp == 28591) {
            appendUtf8(out, *p);
        } else {
            return false;
        }
    }
    return true;
}

// Characters the code page lacks become "?", as the system's converter writes them.
std::string utf8ToAnsi(const std::string& s) {
    int cp = ansiCodePage();
    if (cp == 65001) return s;
    std::string out;
    for (size_t i = 0; i < s.size();) {
        uint32_t u = decodeUtf8(s, i);
        char c = '?';
        if (u < 0x80) {
            c = static_cast<char>(u);
        } else if (cp == 1252 && u >= 0xA0 && u <= 0xFF) {
            c = static_cast<char>(u);
        } else if (cp == 1252) {
            for (int k = 0; k < 32; ++k) {
                if (kCp1252High[k] == u) c = static_cast<char>(0x80 + k);
            }
        } else if (cp == 28591 && u <= 0xFF) {
            c = static_cast<char>(u);
        }
        out += c;
    }
    return out;
}

size_t utf16Length(const std::string& utf8) {
    size_t n = 0;
    for (size_t i = 0; i < utf8.size();)
        n += decodeUtf8(utf8, i) >= 0x10000 ? 2 : 1;
    return n;
}

// ---- paths ----------------------------------------------------------------------------------

struct WinPath {
    bool prefixed = false; // began with "\\?\"
    bool unc = false;      // \\server\share\...
    char drive = 0;        // upper-case drive letter, or 0
    bool trailing = false; // ended in a separator: names a directory, as on Windows
    std::vector<std::string> parts;
};

bool startsWithNoCase(const std::string& s, size_t at, const char* prefix) {
    for (size_t k = 0; prefix[k]; ++k) {
        if (at + k >= s.size()) return false;
        char a = s[at + k];
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
        if (a != prefix[k]) return false;
    }
    return true;
}

void pushParts(std::vector<std::string>& parts, const std::string& s, size_t from, char sep,
               bool literal) {
    size_t i = from;
    while (i <= s.size()) {
        size_t j = s.find(sep, i);
        if (j == std::string::npos) j = s.size();
        std::string part = s.substr(i, j - i);
        if (literal) {
            if (!part.empty()) parts.push_back(part);
        } else if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
}

// Splits a UTF-8 path in Windows syntax and makes it absolute; false (error 123) only for an
// empty path or when the current directory cannot be read.
bool parseWinPath(const std::string& in, WinPath& out, uint32_t& error) {
    std::string s = in;
    for (char& c : s) {
        if (c == '/') c = '\\';
    }
    if (s.empty()) {
        error = kErrorInvalidName;
        return false;
    }
    out.trailing = s.back() == '\\';
    size_t at = 0;
    if (s.compare(0, 4, "\\\\?\\") == 0) {
        out.prefixed = true;
        at = 4;
        if (startsWithNoCase(s, at, "UNC\\")) {
            out.unc = true;
            at += 4;
        }
    } else if (s.compare(0, 2, "\\\\") == 0) {
        out.unc = true;
        at = 2;
    }
    if (out.unc) {
        // The server and share names form the root, which ".." does not climb out of.
        std::vector<std::string> all;
        pushParts(all, s, at, '\\', true);
        size_t root = all.size() < 2 ? all.size() : 2;
        out.parts.assign(all.begin(), all.begin() + static_cast<long>(root));
        std::vector<std::string> rest;
        for (size_t k = root; k < all.size(); ++k) {
            if (out.prefixed) {
                rest.push_back(all[k]);
            } else if (all[k] == "..") {
                if (!rest.empty()) rest.pop_back();
            } else if (all[k] != ".") {
                rest.push_back(all[k]);
            }
        }
        out.parts.insert(out.parts.end(), rest.begin(), rest.end());
        return true;
    }
    bool rooted = false;
    if (s.size() >= at + 2 && s[at + 1] == ':' &&
        ((s[at] >= 'A' && s[at] <= 'Z') || (s[at] >= 'a' && s[at] <= 'z'))) {
        out.drive = s[at] >= 'a' ? static_cast<char>(s[at] - 32) : s[at];
        at += 2;
    }
    if (at < s.size() && s[at] == '\\') rooted = true;
    if (!rooted) {
        // Relative (also "Z:name"): against the current directory, which is on drive Z.
        std::vector<char> cwd(4096);
        while (!getcwd(cwd.data(), cwd.size())) {
            if (errno != ERANGE || cwd.size() > (1u << 20)) {
                error = kErrorInvalidName;
                return false;
            }
            cwd.resize(cwd.size() * 2);
        }
        pushParts(out.parts, std::string(cwd.data()), 0, '/', out.prefixed);
    }
    pushParts(out.parts, s, at, '\\', out.prefixed);
    return true;
}

std::string joinParts(const std::vector<std::string>& parts, char sep) {
    std::string out;
    for (const std::string& p : parts) {
        out += sep;
        out += p;
    }
    return out;
}

// The absolute Windows form of path, in the style it was given: with its drive letter when it had
// one, without when it had none; a "\\?\" path comes back as it stands.
bool fullWinPath(const std::string& path, std::string& out, uint32_t& error) {
    WinPath wp;
    if (!parseWinPath(path, wp, error)) return false;
    if (wp.prefixed) {
        out = path;
        return true;
    }
    if (wp.unc) {
        out = "\\" + joinParts(wp.parts, '\\');
        return true;
    }
    out.clear();
    if (wp.drive) {
        out += wp.drive;
        out += ':';
    }
    out += wp.parts.empty() ? std::string("\\") : joinParts(wp.parts, '\\');
    if (wp.trailing && !wp.parts.empty()) out += '\\';
    return true;
}

// The Linux path for a Windows path, or the error the system would give.
bool hostPath(const std::string& path, std::string& host, uint32_t& error) {
    WinPath wp;
    if (path.empty()) {
        error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    if (!parseWinPath(path, wp, error)) return false;
    if (wp.unc) {
        error = kErrorBadNetPath;
        return false;
    }
    if (wp.drive && wp.drive != 'Z') {
        error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    host = wp.parts.empty() ? std::string("/") : joinParts(wp.parts, '/');
    if (wp.trailing && !wp.parts.empty()) host += '/'; // open() then refuses a file
    // Without the long-path prefix the whole path, drive letter included, must stay below 260.
    if (!wp.prefixed && utf16Length(host) + 2 >= kMaxPath) {
        error = kErrorFilenameTooLong;
        return false;
    }
    return true;
}

// ---- errors ---------------------------------------------------------------------------------

bool parentMissing(const std::string& host) {
    size_t slash = host.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return false;
    struct stat st;
    return stat(host.substr(0, slash).c_str(), &st) != 0 || !S_ISDIR(st.st_mode);
}

uint32_t mapErrno(int e, const std::string& host) {
    switch (e) {
    case ENOENT:
        return parentMissing(host) ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return kErrorFileExists;
    case ENAMETOOLONG:
        return kErrorFilenameTooLong;
    case EINVAL:
        return kErrorInvalidName;
    case ENOSPC:
    case EDQUOT:
        return kErrorDiskFull;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case ENOMEM:
        return kErrorNotEnoughMemory;
    case EMFILE:
    case ENFILE:
        return 4; // too many open files
    default:
        return kErrorGenFailure;
    }
}

bool fail(uint32_t code) {
    t_lastError = code;
    return false;
}

// ---- the table of open files ----------------------------------------------------------------

struct OpenFile {
    int fd;
    uint32_t access;
    uint32_t share;
    dev_t dev;
    ino_t ino;
    OpenFile* next;
};

std::mutex& tableMutex() {
    static std::mutex m;
    return m;
}
OpenFile* g_openFiles = nullptr; // guarded by tableMutex()

bool conflicts(const OpenFile& e, uint32_t access, uint32_t share) {
    return ((access & GENERIC_READ) && !(e.share & FILE_SHARE_READ)) ||
           ((access & GENERIC_WRITE) && !(e.share & FILE_SHARE_WRITE)) ||
           ((e.access & GENERIC_READ) && !(share & FILE_SHARE_READ)) ||
           ((e.access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE));
}

// The descriptor and access of a handle in the table; false (error 6) for anything else.
bool lookUp(FileHandle h, int& fd, uint32_t& access) {
    std::lock_guard<std::mutex> lock(tableMutex());
    for (OpenFile* e = g_openFiles; e; e = e->next) {
        if (e == h) {
            fd = e->fd;
            access = e->access;
            return true;
        }
    }
    return fail(ERROR_INVALID_HANDLE);
}

FileHandle createFileUtf8(const std::string& path, uint32_t access, uint32_t share,
                          uint32_t creation, uint32_t attributes) {
#ifdef QX_FAULT_INJECTION
    ++FileFaultInjection::openCalls;
    uint32_t code = 0;
    if (FileFaultInjection::takeOpenError(code)) {
        fail(code);
        return INVALID_HANDLE_VALUE;
    }
#endif
    std::string host;
    uint32_t error = 0;
    if (!hostPath(path, host, error)) {
        fail(error);
        return INVALID_HANDLE_VALUE;
    }
    int flags = O_CLOEXEC;
    bool wantRead = (access & GENERIC_READ) != 0, wantWrite = (access & GENERIC_WRITE) != 0;
    flags |= wantRead && wantWrite ? O_RDWR : wantWrite ? O_WRONLY : wantRead ? O_RDONLY : O_PATH;
    bool truncate = false;
    switch (creation) {
    case CREATE_NEW:
        flags |= O_CREAT | O_EXCL;
        break;
    case CREATE_ALWAYS:
        flags |= O_CREAT;
        truncate = true;
        break;
    case OPEN_EXISTING:
        break;
    case OPEN_ALWAYS:
        flags |= O_CREAT;
        break;
    case TRUNCATE_EXISTING:
        if (!wantWrite) {
            fail(kErrorInvalidParameter);
            return INVALID_HANDLE_VALUE;
        }
        truncate = true;
        break;
    default:
        fail(kErrorInvalidParameter);
        return INVALID_HANDLE_VALUE;
    }

    // The whole open runs under the table lock, so that two threads cannot both pass the sharing
    // check for the same file.
    std::lock_guard<std::mutex> lock(tableMutex());
    struct stat before;
    bool existed = stat(host.c_str(), &before) == 0;
    if (existed && S_ISREG(before.st_mode) && (wantWrite || truncate) &&
        !(before.st_mode & S_IWUSR)) {
        fail(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    int fd = open(host.c_str(), flags, 0666);
    if (fd < 0) {
        fail(mapErrno(errno, host));
        return INVALID_HANDLE_VALUE;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        fail(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    for (OpenFile* e = g_openFiles; e; e = e->next) {
        if (e->dev == st.st_dev && e->ino == st.st_ino && conflicts(*e, access, share)) {
            close(fd);
            fail(ERROR_SHARING_VIOLATION);
            return INVALID_HANDLE_VALUE;
        }
    }
    if (truncate && existed && ftruncate(fd, 0) != 0) {
        int e = errno;
        close(fd);
        fail(mapErrno(e, host));
        return INVALID_HANDLE_VALUE;
    }
    if (!existed && (attributes & FILE_ATTRIBUTE_READONLY)) fchmod(fd, st.st_mode & ~0222u);
    OpenFile* entry =
        qxNew<OpenFile>(OpenFile{fd, access, share, st.st_dev, st.st_ino, g_openFiles});
    if (!entry) {
        close(fd);
        fail(kErrorNotEnoughMemory);
        return INVALID_HANDLE_VALUE;
    }
    g_openFiles = entry;
    t_lastError =
        existed && (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS) ? kErrorAlreadyExists : 0;
    return entry;
}

uint32_t getAttributesUtf8(const std::string& path) {
    std::string host;
    uint32_t error = 0;
    if (!hostPath(path, host, error)) {
        fail(error);
        return INVALID_FILE_ATTRIBUTES;
    }
    struct stat st;
    if (stat(host.c_str(), &st) != 0) {
        fail(mapErrno(errno, host));
        return INVALID_FILE_ATTRIBUTES;
    }
    uint32_t attributes = 0;
    if (S_ISDIR(st.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if (!(st.st_mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

bool setAttributesUtf8(const std::string& path, uint32_t attributes) {
    std::string host;
    uint32_t error = 0;
    if (!hostPath(path, host, error)) return fail(error);
    struct stat st;
    if (stat(host.c_str(), &st) != 0) return fail(mapErrno(errno, host));
    mode_t mode = st.st_mode & 07777;
    mode = (attributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~0222u) : (mode | S_IWUSR);
    if (chmod(host.c_str(), mode) != 0) return fail(mapErrno(errno, host));
    return true;
}

} // namespace

// ---- the functions --------------------------------------------------------------------------

FileHandle createFileA(const char* path, uint32_t access, uint32_t share, uint32_t creation,
                       uint32_t attributes) {
    std::string utf8;
    if (!path || !ansiToUtf8(path, utf8)) {
        fail(path ? kErrorInvalidName : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return createFileUtf8(utf8, access, share, creation, attributes);
}

FileHandle createFileW(const uint16_t* path, uint32_t access, uint32_t share, uint32_t creation,
                       uint32_t attributes) {
    if (!path) {
        fail(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return createFileUtf8(utf16ToUtf8(path), access, share, creation, attributes);
}

bool readFile(FileHandle file, void* buffer, uint32_t count, uint32_t* bytesRead) {
    *bytesRead = 0;
    int fd = -1;
    uint32_t access = 0;
    if (!lookUp(file, fd, access)) return false;
    if (!(access & GENERIC_READ)) return fail(ERROR_ACCESS_DENIED);
#ifdef QX_FAULT_INJECTION
    if (uint32_t code = FileFaultInjection::readError.load()) return fail(code);
    long limit = FileFaultInjection::readLimit.load();
    if (limit >= 0 && count > static_cast<unsigned long>(limit))
        count = static_cast<uint32_t>(limit);
#endif
    // A disk file delivers everything asked for up to its end, as ReadFile does.
    uint32_t done = 0;
    while (done < count) {
        ssize_t n = read(fd, static_cast<char*>(buffer) + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *bytesRead = done;
            return fail(mapErrno(errno, std::string()));
        }
        if (n == 0) break;
        done += static_cast<uint32_t>(n);
    }
    *bytesRead = done;
    t_lastError = 0;
    return true;
}

bool writeFile(FileHandle file, const void* data, uint32_t count, uint32_t* bytesWritten) {
    *bytesWritten = 0;
    int fd = -1;
    uint32_t access = 0;
    if (!lookUp(file, fd, access)) return false;
    if (!(access & GENERIC_WRITE)) return fail(ERROR_ACCESS_DENIED);
    bool cut = false;
#ifdef QX_FAULT_INJECTION
    long limit = FileFaultInjection::writeLimit.load();
    if (limit >= 0 && count > static_cast<unsigned long>(limit)) {
        count = static_cast<uint32_t>(limit);
        cut = true;
    }
#endif
    uint32_t done = 0;
    while (done < count) {
        ssize_t n = write(fd, static_cast<const char*>(data) + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *bytesWritten = done;
            return fail(n < 0 ? mapErrno(errno, std::string()) : kErrorDiskFull);
        }
        done += static_cast<uint32_t>(n);
    }
    *bytesWritten = done;
    if (cut) return fail(kErrorDiskFull);
    t_lastError = 0;
    return true;
}

uint32_t getFileSize(FileHandle file, uint32_t* sizeHigh) {
    if (sizeHigh) *sizeHigh = 0;
    int fd = -1;
    uint32_t access = 0;
    if (!lookUp(file, fd, access)) return INVALID_FILE_SIZE;
#ifdef QX_FAULT_INJECTION
    if (uint32_t code = FileFaultInjection::sizeError.load()) {
        fail(code);
        return INVALID_FILE_SIZE;
    }
#endif
    struct stat st;
    if (fstat(fd, &st) != 0) {
        fail(mapErrno(errno, std::string()));
        return INVALID_FILE_SIZE;
    }
    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (sizeHigh) *sizeHigh = static_cast<uint32_t>(size >> 32);
    t_lastError = 0;
    return static_cast<uint32_t>(size);
}

bool closeHandle(FileHandle file) {
    OpenFile* found = nullptr;
    {
        std::lock_guard<std::mutex> lock(tableMutex());
        for (OpenFile** link = &g_openFiles; *link; link = &(*link)->next) {
            if (*link == file) {
                found = *link;
                *link = found->next;
                break;
            }
        }
    }
    if (!found) return fail(ERROR_INVALID_HANDLE);
    int rc = close(found->fd);
    qxDelete(found);
    if (rc != 0 && errno != EINTR) return fail(mapErrno(errno, std::string()));
    return true;
}

uint32_t getFileAttributesA(const char* path) {
    std::string utf8;
    if (!path || !ansiToUtf8(path, utf8)) {
        fail(path ? kErrorInvalidName : ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    return getAttributesUtf8(utf8);
}

uint32_t getFileAttributesW(const uint16_t* path) {
    if (!path) {
        fail(ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    return getAttributesUtf8(utf16ToUtf8(path));
}

bool setFileAttributesA(const char* path, uint32_t attributes) {
    std::string utf8;
    if (!path || !ansiToUtf8(path, utf8))
        return fail(path ? kErrorInvalidName : ERROR_PATH_NOT_FOUND);
    return setAttributesUtf8(utf8, attributes);
}

bool setFileAttributesW(const uint16_t* path, uint32_t attributes) {
    if (!path) return fail(ERROR_PATH_NOT_FOUND);
    return setAttributesUtf8(utf16ToUtf8(path), attributes);
}

uint32_t getFullPathNameA(const char* path, uint32_t bufferChars, char* buffer) {
    std::string utf8, full;
    uint32_t error = 0;
    if (!path || !ansiToUtf8(path, utf8)) {
        fail(kErrorInvalidName);
        return 0;
    }
    if (!fullWinPath(utf8, full, error)) {
        fail(error);
        return 0;
    }
    std::string ansi = utf8ToAnsi(full);
    if (ansi.size() + 1 > bufferChars) return static_cast<uint32_t>(ansi.size() + 1);
    std::memcpy(buffer, ansi.c_str(), ansi.size() + 1);
    return static_cast<uint32_t>(ansi.size());
}

uint32_t getFullPathNameW(const uint16_t* path, uint32_t bufferChars, uint16_t* buffer) {
    std::string full;
    uint32_t error = 0;
    if (!path) {
        fail(kErrorInvalidName);
        return 0;
    }
    if (!fullWinPath(utf16ToUtf8(path), full, error)) {
        fail(error);
        return 0;
    }
    std::vector<uint16_t> wide = utf8ToUtf16(full);
    if (wide.size() + 1 > bufferChars) return static_cast<uint32_t>(wide.size() + 1);
    if (!wide.empty()) std::memcpy(buffer, wide.data(), wide.size() * sizeof(uint16_t));
    buffer[wide.size()] = 0;
    return static_cast<uint32_t>(wide.size());
}

uint32_t getLastError() {
    return t_lastError;
}
void setLastError(uint32_t code) {
    t_lastError = code;
}
uint32_t lastErrorCode() {
    return t_lastError;
}

void sleepMs(uint32_t milliseconds) {
    struct timespec ts;
    ts.tv_sec = milliseconds / 1000;
    ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

} // namespace platform
