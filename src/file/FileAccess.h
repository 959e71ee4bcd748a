#pragma once
// Whole-file reads and writes and the path handling under them.
//
// Paths arrive as text in any script. Per path the layer decides whether the system's ANSI file
// functions can take it (shorter than 260 characters and representable in the ANSI code page, or
// any path on a 4.x system) or whether the Unicode functions must; the Unicode functions always
// get the absolute path with the long-path prefix "\\?\" ("\\?\UNC\" for network paths). Every
// operation first turns "/" into "\". A sharing violation is retried three times, 50 ms apart; a
// read-only file that is to be overwritten loses its read-only attribute first. Device names
// (CON, NUL, COM1, ...), characters that no file name may hold and a trailing separator are
// refused with the system's invalid-name error before any open. Failures are recorded in the
// optional log with fixed messages; a null log records nothing and changes no result.
//
// StringBuffer::loadFromFile and StringBuffer::saveToFile (file/StringBufferFile.cpp) are the
// two entry points the rest of the library uses; the last-error report is saved with
// writeWholeFile.
#include "file/FileContent.h"
#include "file/FileReceiver.h"
#include "platform/FileApi.h"

#include <cstdint>

class LogBase;
class XString;

class FileAccess {
public:
    // Writes the content to the file named by a UTF-8 path, replacing it. Paths that the ANSI
    // code page cannot represent are written through the Unicode functions first; when that fails
    // the ANSI name is tried as well.
    static bool writeWholeFile(const char* utf8Path, FileContent& content, LogBase* log);
    static bool writeFileAnsi(const char* ansiPath, FileContent& content, LogBase* log);
    static bool writeFileWide(const uint16_t* utf16Path, FileContent& content, LogBase* log);
    // The same with one block of count bytes.
    static bool writeWholeFile(const char* utf8Path, const unsigned char* data, unsigned count,
                               LogBase* log) {
        FileContent content(data, count);
        return writeWholeFile(utf8Path, content, log);
    }
    static bool writeFileAnsi(const char* ansiPath, const unsigned char* data, unsigned count,
                              LogBase* log) {
        FileContent content(data, count);
        return writeFileAnsi(ansiPath, content, log);
    }
    static bool writeFileWide(const uint16_t* utf16Path, const unsigned char* data, unsigned count,
                              LogBase* log) {
        FileContent content(data, count);
        return writeFileWide(utf16Path, content, log);
    }

    // Reads the whole file into the room the receiver gives, with the logging of a failed open,
    // size query, allocation or read. An empty file gives the receiver nothing, not even expect.
    static bool readWholeFile(XString& path, FileReceiver& receiver, LogBase* log);

    // Opens an existing file for reading (others may read and write meanwhile).
    static platform::FileHandle openForRead(XString& path, LogBase* log);
    // Creates or truncates a file for writing (shared with nobody), clearing a read-only
    // attribute that stands in the way.
    static platform::FileHandle createForWrite(XString& path, LogBase* log);

    // One open through the ANSI or the Unicode functions, with the retries on a sharing
    // violation. On failure *lastError receives the system's error code.
    static platform::FileHandle openFileAnsi(const char* ansiPath, uint32_t access, uint32_t share,
                                             uint32_t creation, uint32_t attributes,
                                             uint32_t* lastError, LogBase* log);
    static platform::FileHandle openFileWide(const uint16_t* utf16Path, uint32_t access,
                                             uint32_t share, uint32_t creation, uint32_t attributes,
                                             uint32_t* lastError, LogBase* log);

    // attributes receives INVALID_FILE_ATTRIBUTES when they cannot be read.
    static bool getFileAttributesX(XString& path, uint32_t& attributes, LogBase* log);
    static bool setFileAttributesX(XString& path, uint32_t attributes);

    // The absolute form of path; path itself when the system cannot give one.
    static void fullPathName(XString& path, XString& out);
    // The absolute path with the long-path prefix, for the Unicode functions.
    static void toLongPath(XString& path, XString& out);
    // Whether the ANSI functions can take path (separators already turned into "\").
    static bool useAnsiApi(XString& path);

    // Whether a whole-file load drops a UTF-8 byte-order mark from text that starts at `start`
    // and is `length` bytes long: a mark before more text goes, a file of nothing but the mark
    // keeps it. At least three bytes must be readable at start when length exceeds three.
    static bool dropsUtf8Mark(const void* start, uint64_t length) {
        const unsigned char* p = static_cast<const unsigned char*>(start);
        return length > 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF;
    }
    // Room a whole-file read into one buffer asks for beyond the file's bytes (the terminator and
    // a little more); files that cannot fit a signed 32-bit count with it are refused.
    static const uint32_t kReadSlack = 4;
    // Paths this long or longer always go through the Unicode functions.
    static const int kMaxAnsiPath = 260;
    // Characters in the buffer that receives an absolute path.
    static const int kFullPathChars = 2048;
    // Retries after the first attempt when the file is in use, and the pause before each.
    static const int kSharingRetries = 3;
    static const uint32_t kRetryPauseMs = 50;
};
