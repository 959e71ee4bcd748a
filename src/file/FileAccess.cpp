// Whole-file access. Design notes for whoever changes this file:
//
// - Every operation works on a copy of the caller's path in which "/" has become "\". The copy
//   is made through XString::replaceChar, which leaves only the UTF-16 form current, so the
//   length compared with 260 is a count of UTF-16 units.
// - The choice between the two function families is made in one place (useAnsiApi) and used by
//   openForRead, createForWrite and getFileAttributesX. setFileAttributesX and fullPathName
//   look only at the system version, and writeWholeFile makes its own first choice from the
//   ANSI exactness of the path (then createForWrite chooses again for the name it was given).
// - Log entries are part of the interface: callers and tests rely on the messages, the data
//   names and their order. The error code stored by openFileAnsi/openFileWide is taken right
//   after the failed call, before anything is logged, and the callers log that stored value.
// - Handles are closed on every way out once an open succeeded, never after a failed open.
// - A name only ever reaches the system as the caller wrote it: device names and characters that
//   no file name may hold are refused before the system sees them, the ANSI attempt that follows
//   a failed Unicode write marks lost characters with "?" instead of leaving them out, and
//   four-byte UTF-8 in a path is decoded here, where the library's own UTF-8 coder would drop it.
#include "file/FileAccess.h"

#include "log/LogBase.h"
#include "text/DataBuffer.h"
#include "text/StringBuffer.h"
#include "text/XString.h"
#include "util/WindowsVersion.h"

#include <climits>
#include <initializer_list>

using platform::FileHandle;
using platform::INVALID_HANDLE_VALUE;

namespace {

const char kLongPrefix[] = "\\\\?\\";
const char kUncLongPrefix[] = "\\\\?\\UNC";

// Modes of the two whole-file opens.
const uint32_t kReadAccess = platform::GENERIC_READ;
const uint32_t kReadShare = platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE;
const uint32_t kReadCreation = platform::OPEN_EXISTING;
const uint32_t kWriteAccess = platform::GENERIC_WRITE;
const uint32_t kWriteShare = 0;
const uint32_t kWriteCreation = platform::CREATE_ALWAYS;
const uint32_t kAttributes = platform::FILE_ATTRIBUTE_NORMAL;

const uint32_t kErrorInvalidName = 123; // the system's ERROR_INVALID_NAME

bool isContinuation(unsigned char b) {
    return b >= 0x80 && b <= 0xBF;
}

// UTF-8 to UTF-16 with the four-byte forms as surrogate pairs (the library's coder leaves them
// out, which would turn a name into the name of another file). Otherwise it reads as that coder
// does: encoded surrogates pass, overlong and broken sequences are dropped a byte at a time.
void utf8PathToUtf16(const char* utf8, DataBuffer& out) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8);
    auto put = [&out](uint32_t u) {
        out.appendByte(static_cast<unsigned char>(u & 0xFF));
        out.appendByte(static_cast<unsigned char>(u >> 8));
    };
    while (*p) {
        const unsigned char b = *p;
        if (b < 0x80) {
            put(b);
            p += 1;
        } else if (b >= 0xC2 && b < 0xE0 && isContinuation(p[1])) {
            put(((b & 0x1Fu) << 6) | (p[1] & 0x3Fu));
            p += 2;
        } else if (b >= 0xE0 && b < 0xF0 && isContinuation(p[1]) && isContinuation(p[2]) &&
                   (b != 0xE0 || p[1] >= 0xA0)) {
            put(((b & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu));
            p += 3;
        } else if (b >= 0xF0 && b < 0xF5 && isContinuation(p[1]) && isContinuation(p[2]) &&
                   isContinuation(p[3]) && (b != 0xF0 || p[1] >= 0x90) &&
                   (b != 0xF4 || p[1] < 0x90)) {
            uint32_t cp = ((b & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) |
                          (p[3] & 0x3Fu);
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
            p += 4;
        } else {
            p += 1;
        }
    }
    put(0);
}

bool hasFourByteUtf8(const char* utf8) {
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8); *p; ++p)
        if (*p >= 0xF0) return true;
    return false;
}

// x = the text of a UTF-8 path, four-byte forms included.
void setPathFromUtf8(XString& x, const char* utf8) {
    if (!hasFourByteUtf8(utf8)) {
        x.setFromUtf8(utf8);
        return;
    }
    DataBuffer units;
    utf8PathToUtf16(utf8, units);
    const unsigned char* data = units.getData();
    x.setFromUnicode(data ? reinterpret_cast<const uint16_t*>(data) : nullptr);
}

// copy = path with "/" turned into "\".
void normalisedCopy(XString& path, XString& copy) {
    copy.clear();
    if (path.isUtf8Current() && hasFourByteUtf8(path.getUtf8()))
        setPathFromUtf8(copy, path.getUtf8());
    else
        copy.appendX(path);
    copy.replaceChar('/', '\\');
}

bool sameNoCase(const uint16_t* units, size_t n, const char* ascii) {
    size_t k = 0;
    for (; ascii[k]; ++k) {
        if (k == n) return false;
        uint16_t u = units[k];
        if (u >= 'a' && u <= 'z') u = static_cast<uint16_t>(u - 32);
        if (u != static_cast<unsigned char>(ascii[k])) return false;
    }
    return k == n;
}

// A component that Windows takes as a device: the device's name, alone or with an extension,
// trailing dots and spaces ignored ("con", "NUL.txt", "com1 .csv", "LPT" and a superscript one).
bool isDeviceName(const uint16_t* c, size_t n) {
    while (n > 0 && (c[n - 1] == '.' || c[n - 1] == ' '))
        --n;
    size_t base = 0;
    while (base < n && c[base] != '.')
        ++base;
    while (base > 0 && c[base - 1] == ' ')
        --base;
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (sameNoCase(c, base, device)) return true;
    if (base != 4 || !(sameNoCase(c, 3, "COM") || sameNoCase(c, 3, "LPT"))) return false;
    const uint16_t digit = c[3];
    return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

// Whether a path must not reach the system: a component that names a device, a character no file
// name may hold (controls, < > " | ? * and a colon anywhere but after a drive letter), or a
// separator at the end, after which no file name follows. On the
// ANSI route Windows would open the device; on the long-path route it would create a file of that
// name that most programs cannot remove; a colon would write a stream of another file.
bool refusedName(const uint16_t* p) {
    size_t i = 0;
    auto sep = [](uint16_t u) { return u == '\\' || u == '/'; };
    if (sep(p[0]) && sep(p[1]) && (p[2] == '?' || p[2] == '.') && sep(p[3])) i = 4;
    const uint16_t letter = static_cast<uint16_t>(p[i] | 0x20);
    if (letter >= 'a' && letter <= 'z' && p[i + 1] == ':') i += 2;
    for (size_t start = i;; ++i) {
        const uint16_t u = p[i];
        if (u == 0 || sep(u)) {
            if (isDeviceName(p + start, i - start)) return true;
            if (u == 0) return i > 0 && sep(p[i - 1]); // a file's name never ends in a separator
            start = i + 1;
        } else if (u < 32 || u == '<' || u == '>' || u == ':' || u == '"' || u == '|' || u == '?' ||
                   u == '*') {
            return true;
        }
    }
}

// The ANSI form of a path that the code page cannot carry whole, with "?" for every character it
// lacks. The library's own ANSI form leaves such characters out, and the shorter name could name
// another file; "?" is refused in every name, so an attempt with this form cannot land anywhere.
void lossyAnsiName(XString& path, StringBuffer& out) {
    const uint16_t* u = path.getUnicode();
    for (size_t i = 0; u[i];) {
        if (u[i] < 0x80) {
            out.appendChar(static_cast<char>(u[i++]));
            continue;
        }
        const bool pair =
            u[i] >= 0xD800 && u[i] < 0xDC00 && u[i + 1] >= 0xDC00 && u[i + 1] < 0xE000;
        const uint16_t one[3] = {u[i], pair ? u[i + 1] : uint16_t(0), 0};
        XString c;
        c.setFromUnicode(one);
        if (c.isAnsiExact())
            out.append(c.getAnsi());
        else
            out.appendChar('?');
        i += pair ? 2 : 1;
    }
}

// Calls open() until it succeeds, fails with anything but a sharing violation, or has been
// retried kSharingRetries times.
template <class Open> FileHandle openWithRetries(Open open) {
    FileHandle h = open();
    for (int retries = 0; h == INVALID_HANDLE_VALUE &&
                          platform::getLastError() == platform::ERROR_SHARING_VIOLATION &&
                          retries < FileAccess::kSharingRetries;
         ++retries) {
        platform::sleepMs(FileAccess::kRetryPauseMs);
        h = open();
    }
    return h;
}

// The system's message text for an error code, trimmed; empty when the system has none.
void osErrorText(uint32_t code, StringBuffer& out) {
    out.clear();
    out.appendWindowsError(code);
}

void logOsError(LogBase* log, uint32_t code) {
    StringBuffer text;
    osErrorText(code, text);
    log->logError(text.getString());
}

// The ANSI functions take an absolute path of at most 259 characters: a short relative or
// drive-less name whose absolute form is longer goes through the Unicode functions as well. An
// absolute form without drive or server ("\data\a.csv") stands on the current drive, which the
// system counts too.
bool ansiRoute(XString& path) {
    if (!FileAccess::useAnsiApi(path)) return false;
    if (WindowsVersion().isMajorVersion4()) return true;
    XString full;
    FileAccess::fullPathName(path, full);
    const uint16_t* u = full.getUnicode();
    const bool anchored = (u[0] == '\\' && u[1] == '\\') || (u[0] != 0 && u[1] == ':');
    return full.getNumChars() + (anchored ? 0 : 2) < FileAccess::kMaxAnsiPath;
}

// Opens path (already normalised) in one mode, through the family ansiRoute chooses.
FileHandle openChosen(XString& path, uint32_t access, uint32_t share, uint32_t creation,
                      uint32_t* lastError, LogBase* log) {
    if (ansiRoute(path)) {
        return FileAccess::openFileAnsi(path.getAnsi(), access, share, creation, kAttributes,
                                        lastError, log);
    }
    XString longPath;
    FileAccess::toLongPath(path, longPath);
    return FileAccess::openFileWide(longPath.getUnicode(), access, share, creation, kAttributes,
                                    lastError, log);
}

// Hands a content's pieces to the file, each with one call. On a short write the system's error
// code is left in *lastError.
class HandleWriter : public FileContent::Writer {
public:
    HandleWriter(FileHandle h, uint32_t* lastError) : h_(h), lastError_(lastError) {
        *lastError_ = 0;
    }
    bool write(const unsigned char* data, unsigned count) override {
        if (!data || count == 0) return true;
        uint32_t written = 0;
        bool ok = platform::writeFile(h_, data, count, &written);
        if (ok && written == count) return true;
        *lastError_ = platform::getLastError();
        return false;
    }

private:
    FileHandle h_;
    uint32_t* lastError_;
};

bool writeAll(FileHandle h, FileContent& content, uint32_t* lastError) {
    HandleWriter writer(h, lastError);
    return content.writeTo(writer);
}

} // namespace

// ---- choosing the functions and building paths ----------------------------------------------

bool FileAccess::useAnsiApi(XString& path) {
    if (path.getNumChars() >= kMaxAnsiPath) return false;
    if (path.isAnsiExact()) return true;
    return WindowsVersion().isMajorVersion4();
}

void FileAccess::fullPathName(XString& path, XString& out) {
    if (WindowsVersion().isMajorVersion4()) {
        char buffer[kFullPathChars];
        const char* ansi = path.getAnsi();
        uint32_t n = platform::getFullPathNameA(ansi, kFullPathChars, buffer);
        if (n == 0 || n >= static_cast<uint32_t>(kFullPathChars)) {
            StringBuffer unchanged(ansi);
            out.setFromAnsi(unchanged.getString());
        } else {
            out.setFromAnsi(buffer);
        }
        return;
    }
    uint16_t buffer[kFullPathChars];
    const uint16_t* wide = path.getUnicode();
    uint32_t n = platform::getFullPathNameW(wide, kFullPathChars, buffer);
    if (n == 0 || n >= static_cast<uint32_t>(kFullPathChars)) {
        DataBuffer unchanged;
        unchanged.appendStrW(wide);
        const unsigned char* units = unchanged.getData();
        out.setFromUnicode(units ? reinterpret_cast<const uint16_t*>(units) : nullptr);
    } else {
        out.setFromUnicode(buffer);
    }
}

void FileAccess::toLongPath(XString& path, XString& out) {
    XString full;
    fullPathName(path, full);
    full.getUtf8();
    const StringBuffer& utf8 = full.getUtf8Sb();
    out.clear();
    if (utf8.beginsWith(kLongPrefix)) {
        out.appendUtf8(utf8.getString());
    } else if (utf8.beginsWith("\\\\")) {
        // \\server\share\a.csv becomes \\?\UNC\server\share\a.csv
        out.setFromUtf8(kUncLongPrefix);
        out.appendUtf8(utf8.getString() + 1);
    } else {
        out.setFromUtf8(kLongPrefix);
        out.appendUtf8(utf8.getString());
    }
}

// ---- opening ----------------------------------------------------------------------------------

FileHandle FileAccess::openFileAnsi(const char* ansiPath, uint32_t access, uint32_t share,
                                    uint32_t creation, uint32_t attributes, uint32_t* lastError,
                                    LogBase* log) {
    StringBuffer copy(ansiPath);
    copy.replaceChar('/', '\\');
    XString wide;
    wide.setFromAnsi(copy.getString());
    FileHandle h = INVALID_HANDLE_VALUE;
    if (refusedName(wide.getUnicode())) {
        platform::setLastError(kErrorInvalidName);
    } else {
        h = openWithRetries([&] {
            return platform::createFileA(copy.getString(), access, share, creation, attributes);
        });
    }
    if (h != INVALID_HANDLE_VALUE) return h;
    uint32_t code = platform::getLastError();
    if (lastError) *lastError = code;
    if (log) {
        log->logError("Failed to open file (2)");
        log->logDataQP("ansiFilename", ansiPath);
        StringBuffer text;
        osErrorText(code, text);
        log->logData("osErrorInfo", text.getString());
    }
    return h;
}

FileHandle FileAccess::openFileWide(const uint16_t* utf16Path, uint32_t access, uint32_t share,
                                    uint32_t creation, uint32_t attributes, uint32_t* lastError,
                                    LogBase* log) {
    DataBuffer copy;
    copy.appendStrW(utf16Path);
    copy.replaceChar16('/', '\\');
    const uint16_t* units =
        copy.getData() ? reinterpret_cast<const uint16_t*>(copy.getData()) : utf16Path;
    FileHandle h = INVALID_HANDLE_VALUE;
    if (refusedName(units)) {
        platform::setLastError(kErrorInvalidName);
    } else {
        h = openWithRetries(
            [&] { return platform::createFileW(units, access, share, creation, attributes); });
    }
    if (h != INVALID_HANDLE_VALUE) return h;
    uint32_t code = platform::getLastError();
    if (lastError) *lastError = code;
    if (log) {
        log->logError("Failed to open file (3)");
        XString name;
        name.setFromUnicode(utf16Path);
        log->logData("utf8Filename", name.getUtf8());
        StringBuffer text;
        osErrorText(code, text);
        log->logData("osErrorInfo", text.getString());
    }
    return h;
}

FileHandle FileAccess::openForRead(XString& path, LogBase* log) {
    XString copy;
    normalisedCopy(path, copy);
    if (copy.getNumChars() == 0) {
        if (log) log->logError("Cannot open file, filename is empty.");
        return INVALID_HANDLE_VALUE;
    }
    uint32_t lastError = 0;
    FileHandle h = openChosen(copy, kReadAccess, kReadShare, kReadCreation, &lastError, log);
    if (h == INVALID_HANDLE_VALUE && log) log->logDataHex("WindowsError", lastError);
    return h;
}

FileHandle FileAccess::createForWrite(XString& path, LogBase* log) {
    XString copy;
    normalisedCopy(path, copy);
    if (copy.getNumChars() == 0) return INVALID_HANDLE_VALUE;
    uint32_t lastError = 0;
    FileHandle h = openChosen(copy, kWriteAccess, kWriteShare, kWriteCreation, &lastError, log);
    if (h == INVALID_HANDLE_VALUE) {
        // A read-only file is overwritten: drop the attribute and try once more.
        uint32_t attributes = platform::INVALID_FILE_ATTRIBUTES;
        if (getFileAttributesX(copy, attributes, log) &&
            (attributes & platform::FILE_ATTRIBUTE_READONLY) &&
            setFileAttributesX(copy, attributes & ~platform::FILE_ATTRIBUTE_READONLY)) {
            h = openChosen(copy, kWriteAccess, kWriteShare, kWriteCreation, &lastError, log);
        }
    }
    if (h == INVALID_HANDLE_VALUE && log) log->logData("Filename", path.getUtf8());
    return h;
}

// ---- attributes -------------------------------------------------------------------------------

bool FileAccess::getFileAttributesX(XString& path, uint32_t& attributes, LogBase* log) {
    attributes = platform::INVALID_FILE_ATTRIBUTES;
    if (path.getNumChars() == 0) {
        if (log) log->logError("GetAttributes: filename is empty");
        return false;
    }
    XString copy;
    normalisedCopy(path, copy);
    if (ansiRoute(copy)) {
        attributes = platform::getFileAttributesA(copy.getAnsi());
    } else {
        XString longPath;
        toLongPath(copy, longPath);
        attributes = platform::getFileAttributesW(longPath.getUnicode());
    }
    return attributes != platform::INVALID_FILE_ATTRIBUTES;
}

bool FileAccess::setFileAttributesX(XString& path, uint32_t attributes) {
    XString copy;
    normalisedCopy(path, copy);
    if (WindowsVersion().isMajorVersion4()) {
        return platform::setFileAttributesA(copy.getAnsi(), attributes);
    }
    XString longPath;
    toLongPath(copy, longPath);
    return platform::setFileAttributesW(longPath.getUnicode(), attributes);
}

// ---- reading whole files ----------------------------------------------------------------------

namespace {
// The system's error text for the call that just failed, the file's name and what failed.
void logReadFailure(LogBase* log, XString& path, const char* what) {
    const uint32_t code = platform::getLastError();
    if (!log) return;
    logOsError(log, code);
    log->logData("filename", path.getAnsi());
    log->logError(what);
}
} // namespace

bool FileAccess::readWholeFile(XString& path, FileReceiver& receiver, LogBase* log) {
    FileHandle h = openForRead(path, log);
    if (h == INVALID_HANDLE_VALUE) return false;
    // Every way out closes the handle.
    struct Closer {
        FileHandle h;
        ~Closer() { platform::closeHandle(h); }
    } closer{h};

    uint32_t sizeHigh = 0;
    const uint32_t size = platform::getFileSize(h, &sizeHigh);
    if (size == 0 && sizeHigh == 0) return true;
    if (size == platform::INVALID_FILE_SIZE && platform::getLastError() != 0) {
        logReadFailure(log, path, "Failed to get file size when loading string from file");
        return false;
    }
    // Buffers count in signed 32 bits: a file that cannot fit is refused like an allocation that
    // failed.
    if (sizeHigh != 0 || size > static_cast<uint32_t>(INT_MAX) - FileAccess::kReadSlack ||
        !receiver.expect(size)) {
        if (log) {
            log->logError("Out of memory reading file into string buffer");
            // The whole size, high word included: a file of 4 GiB and a few bytes is not logged
            // as a few bytes, nor one of 2 GiB as a negative count.
            log->logDataInt64("fileSize",
                              static_cast<int64_t>((static_cast<uint64_t>(sizeHigh) << 32) | size));
        }
        return false;
    }

    uint32_t done = 0;
    while (done < size) {
        uint32_t room = 0;
        unsigned char* at = receiver.space(&room);
        if (!at || room == 0) {
            if (log) {
                log->logError("Out of memory reading file into string buffer");
                log->logDataInt64("fileSize", static_cast<int64_t>(size));
            }
            return false;
        }
        const uint32_t want = room < size - done ? room : size - done;
        uint32_t received = 0;
        if (!platform::readFile(h, at, want, &received)) {
            logReadFailure(log, path, "Failed to read data from file");
            return false;
        }
        done += received;
        if (received < want) {
            if (log) {
                log->logData("filesize", StringBuffer::intToString(static_cast<int>(size)));
                log->logData("bytes_received", StringBuffer::intToString(static_cast<int>(done)));
                log->logData("filename", path.getAnsi());
                log->logError("Failed to read the entire file");
            }
            return false;
        }
        receiver.took(received, done == size);
    }
    return true;
}

// ---- writing whole files ----------------------------------------------------------------------

bool FileAccess::writeFileAnsi(const char* ansiPath, FileContent& content, LogBase* log) {
    if (!ansiPath || !*ansiPath) return false;
    XString path;
    path.setFromAnsi(ansiPath);
    FileHandle h = createForWrite(path, log);
    if (h == INVALID_HANDLE_VALUE) {
        if (log) {
            log->logDataQP("ansiFilename", ansiPath);
            log->logError("Failed to write complete file (7)");
        }
        return false;
    }
    uint32_t lastError = 0;
    if (!writeAll(h, content, &lastError)) {
        if (log) {
            log->logDataQP("ansiFilename2", ansiPath);
            StringBuffer text;
            osErrorText(lastError, text);
            log->logError(text.getString());
            log->logError("Failed to write complete file (1)");
        }
        platform::closeHandle(h);
        return false;
    }
    platform::closeHandle(h);
    return true;
}

bool FileAccess::writeFileWide(const uint16_t* utf16Path, FileContent& content, LogBase* log) {
    if (!utf16Path) return false;
    XString path;
    path.setFromUnicode(utf16Path);
    FileHandle h = createForWrite(path, log);
    if (h == INVALID_HANDLE_VALUE) {
        if (log) {
            log->logDataQP("utf8Filename", path.getUtf8());
            log->logError("Failed to write complete file (6)");
        }
        return false;
    }
    uint32_t lastError = 0;
    if (!writeAll(h, content, &lastError)) {
        if (log) {
            StringBuffer text;
            osErrorText(lastError, text);
            log->logError(text.getString());
            log->logError("Failed to write complete file (3)");
        }
        platform::closeHandle(h);
        return false;
    }
    platform::closeHandle(h);
    return true;
}

bool FileAccess::writeWholeFile(const char* utf8Path, FileContent& content, LogBase* log) {
    if (!utf8Path) {
        if (log) log->logError("NULL filename");
        return false;
    }
    if (!*utf8Path) {
        if (log) log->logError("zero-length filename");
        return false;
    }
    XString path;
    setPathFromUtf8(path, utf8Path);
    const bool exact = path.isAnsiExact();
    if (!exact && !WindowsVersion().isMajorVersion4()) {
        if (writeFileWide(path.getUnicode(), content, log)) return true;
    }
    if (exact) return writeFileAnsi(path.getAnsi(), content, log);
    // Also after a failed Unicode write the ANSI name gets its own attempt, with "?" where the
    // code page lacks a character, so that it fails rather than write to another file.
    StringBuffer lossy;
    lossyAnsiName(path, lossy);
    return writeFileAnsi(lossy.getString(), content, log);
}
