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
#include "file/FileAccess.h"

#include "log/LogBase.h"
#include "text/DataBuffer.h"
#include "text/StringBuffer.h"
#include "text/XString.h"
#include "util/WindowsVersion.h"

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

// copy = path with "/" turned into "\".
void normalisedCopy(XString& path, XString& copy) {
    copy.clear();
    copy.appendX(path);
    copy.replaceChar('/', '\\');
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

// Opens path (already normalised) in one mode, through the family useAnsiApi chooses.
FileHandle openChosen(XString& path, uint32_t access, uint32_t share, uint32_t creation,
                      uint32_t* lastError, LogBase* log) {
    if (FileAccess::useAnsiApi(path)) {
        return FileAccess::openFileAnsi(path.getAnsi(), access, share, creation, kAttributes,
                                        lastError, log);
    }
    XString longPath;
    FileAccess::toLongPath(path, longPath);
    return FileAccess::openFileWide(longPath.getUnicode(), access, share, creation, kAttributes,
                                    lastError, log);
}

// Writes count bytes with one call; true when all of them went out. On a short write the
// system's error code is left in *lastError.
bool writeAll(FileHandle h, const unsigned char* data, unsigned count, uint32_t* lastError) {
    *lastError = 0;
    if (!data || count == 0) return true;
    uint32_t written = 0;
    bool ok = platform::writeFile(h, data, count, &written);
    if (ok && written == count) return true;
    *lastError = platform::getLastError();
    return false;
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
    FileHandle h = openWithRetries([&] {
        return platform::createFileA(copy.getString(), access, share, creation, attributes);
    });
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
    FileHandle h = openWithRetries(
        [&] { return platform::createFileW(units, access, share, creation, attributes); });
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
    if (useAnsiApi(copy)) {
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

// ---- writing whole files ----------------------------------------------------------------------

bool FileAccess::writeFileAnsi(const char* ansiPath, const unsigned char* data, unsigned count,
                               LogBase* log) {
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
    if (!writeAll(h, data, count, &lastError)) {
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

bool FileAccess::writeFileWide(const uint16_t* utf16Path, const unsigned char* data, unsigned count,
                               LogBase* log) {
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
    if (!writeAll(h, data, count, &lastError)) {
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

bool FileAccess::writeWholeFile(const char* utf8Path, const unsigned char* data, unsigned count,
                                LogBase* log) {
    if (!utf8Path) {
        if (log) log->logError("NULL filename");
        return false;
    }
    if (!*utf8Path) {
        if (log) log->logError("zero-length filename");
        return false;
    }
    XString path;
    path.setFromUtf8(utf8Path);
    if (!path.isAnsiExact() && !WindowsVersion().isMajorVersion4()) {
        if (writeFileWide(path.getUnicode(), data, count, log)) return true;
    }
    // Also after a failed Unicode write: the (lossy) ANSI name gets its own attempt.
    return writeFileAnsi(path.getAnsi(), data, count, log);
}
