// The members of StringBuffer that touch files and the system's last error. They live with the
// file layer so that the text subsystem does not depend on it.
#include "file/FileAccess.h"
#include "log/LogBase.h"
#include "platform/FileApi.h"
#include "text/StringBuffer.h"
#include "text/XString.h"

#include <climits>

using platform::FileHandle;
using platform::INVALID_HANDLE_VALUE;

namespace {

// Room asked for beyond the file's bytes when the whole file is read into a buffer.
const int kReadSlack = 4;

void logOsError(LogBase* log, uint32_t code) {
    StringBuffer text;
    text.appendWindowsError(code);
    log->logError(text.getString());
}

} // namespace

void StringBuffer::appendLastWindowsError() {
    appendWindowsError(platform::lastErrorCode());
}

bool StringBuffer::saveToFile(const char* utf8Path, LogBase* log) const {
    return FileAccess::writeWholeFile(utf8Path, reinterpret_cast<const unsigned char*>(data_),
                                      static_cast<unsigned>(length_), log);
}

bool StringBuffer::loadFromFile(XString& path, LogBase* log) {
    checkMarker();
    FileHandle h = FileAccess::openForRead(path, log);
    if (h == INVALID_HANDLE_VALUE) return false;

    uint32_t sizeHigh = 0;
    uint32_t size = platform::getFileSize(h, &sizeHigh);
    if (size == 0 && sizeHigh == 0) {
        platform::closeHandle(h);
        return true;
    }
    if (size == platform::INVALID_FILE_SIZE && platform::getLastError() != 0) {
        uint32_t code = platform::getLastError();
        if (log) {
            logOsError(log, code);
            log->logData("filename", path.getAnsi());
            log->logError("Failed to get file size when loading string from file");
        }
        platform::closeHandle(h);
        return false;
    }
    // The buffer's length is a signed 32-bit count: a file that cannot fit is refused like an
    // allocation that failed.
    bool fits = sizeHigh == 0 && size <= static_cast<uint32_t>(INT_MAX - kReadSlack) &&
                static_cast<long long>(length_) + size + kReadSlack <= INT_MAX;
    if (!fits || !expectNumBytes(static_cast<int>(size) + kReadSlack)) {
        if (log) {
            log->logError("Out of memory reading file into string buffer");
            // The whole size, high word included: a file of 4 GiB and a few bytes is not logged
            // as a few bytes, nor one of 2 GiB as a negative count.
            log->logDataInt64("fileSize",
                              static_cast<int64_t>((static_cast<uint64_t>(sizeHigh) << 32) | size));
        }
        platform::closeHandle(h);
        return false;
    }

    const int oldLength = length_;
    uint32_t received = 0;
    if (!platform::readFile(h, data_ + oldLength, size, &received)) {
        uint32_t code = platform::getLastError();
        setLength(oldLength);
        if (log) {
            logOsError(log, code);
            log->logData("filename", path.getAnsi());
            log->logError("Failed to read data from file");
        }
        platform::closeHandle(h);
        return false;
    }
    if (received < size) {
        setLength(oldLength);
        if (log) {
            log->logData("filesize", intToString(static_cast<int>(size)));
            log->logData("bytes_received", intToString(static_cast<int>(received)));
            log->logData("filename", path.getAnsi());
            log->logError("Failed to read the entire file");
        }
        platform::closeHandle(h);
        return false;
    }
    setLength(oldLength + static_cast<int>(received));

    // A UTF-8 byte-order mark is dropped; a file of nothing but the mark keeps it.
    if (length_ > 3 && static_cast<unsigned char>(data_[0]) == 0xEF &&
        static_cast<unsigned char>(data_[1]) == 0xBB &&
        static_cast<unsigned char>(data_[2]) == 0xBF) {
        removeFirstN(3);
    }
    platform::closeHandle(h);
    return true;
}
