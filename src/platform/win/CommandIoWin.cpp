// The command-line tool's outputs on Windows. Links and junctions resolve through the handle of
// the file they name; a link whose target is missing cannot be resolved that way and is replaced
// by the new file. ReplaceFile carries the old file's attributes and security over.
#include "platform/CommandIo.h"
#include "platform/Platform.h"

#include <windows.h>

namespace platform {

namespace {

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool fail(std::string& error, const std::string& what) {
    std::string text = errorMessageText(GetLastError());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    error = what + ": " + (text.empty() ? std::string("failed") : text);
    return false;
}

std::string folderOf(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos)
        return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : ".";
    return path.substr(0, slash == 0 || (slash == 2 && path[1] == ':') ? slash + 1 : slash);
}

bool writeAll(HANDLE h, const char* data, std::size_t size) {
    while (size > 0) {
        DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size), written = 0;
        if (!WriteFile(h, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

// The final path of an open file, without the "\\?\" prefix the system puts before it.
bool finalPath(HANDLE h, std::string& out) {
    char buffer[MAX_PATH * 4];
    DWORD n = GetFinalPathNameByHandleA(h, buffer, sizeof buffer, FILE_NAME_NORMALIZED);
    if (n == 0 || n >= sizeof buffer) return false;
    out.assign(buffer, n);
    if (out.compare(0, 8, "\\\\?\\UNC\\") == 0)
        out = "\\" + out.substr(7);
    else if (out.compare(0, 4, "\\\\?\\") == 0)
        out = out.substr(4);
    return true;
}

} // namespace

OutputKind resolveOutput(const std::string& path, std::string& resolved) {
    resolved = path;
    if (path.empty()) return OutputKind::kNoFolder;
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) {
            DWORD folder = GetFileAttributesA(folderOf(path).c_str());
            return folder != INVALID_FILE_ATTRIBUTES && (folder & FILE_ATTRIBUTE_DIRECTORY)
                       ? OutputKind::kMissing
                       : OutputKind::kNoFolder;
        }
        if (code == ERROR_PATH_NOT_FOUND) return OutputKind::kNoFolder;
        // Devices and pipes may refuse attributes; their handle tells what they are.
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        return OutputKind::kDirectory;
    }
    HANDLE h = CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // A dangling link: the new file takes the link's place.
        return attributes != INVALID_FILE_ATTRIBUTES ? OutputKind::kMissing : OutputKind::kNoFolder;
    }
    OutputKind kind = OutputKind::kStream;
    if (GetFileType(h) == FILE_TYPE_DISK) {
        kind = OutputKind::kRegular;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            BY_HANDLE_FILE_INFORMATION info;
            if (!finalPath(h, resolved)) resolved = path;
            if (GetFileInformationByHandle(h, &info) &&
                (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                kind = OutputKind::kDirectory;
        }
    }
    CloseHandle(h);
    return kind;
}

bool replaceFile(const std::string& temp, const std::string& target, std::string& error) {
    HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return fail(error, temp);
    BOOL flushed = FlushFileBuffers(h);
    CloseHandle(h);
    if (!flushed) return fail(error, temp);
    if (GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES &&
        ReplaceFileA(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                     nullptr, nullptr))
        return true;
    if (!MoveFileExA(temp.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return fail(error, target);
    return true;
}

bool removeFile(const std::string& path) {
    return DeleteFileA(path.c_str()) != 0;
}

bool writeStream(const std::string& path, const char* data, std::size_t size, std::string& error) {
    if (path.empty()) {
        if (!writeAll(GetStdHandle(STD_OUTPUT_HANDLE), data, size))
            return fail(error, "standard output");
        return true;
    }
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return fail(error, path);
    bool ok = writeAll(h, data, size) || fail(error, path);
    CloseHandle(h);
    return ok;
}

long long readStandardInput(char* to, std::size_t room, std::string& error) {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD n = 0;
    const DWORD ask = room > 0x40000000u ? 0x40000000u : static_cast<DWORD>(room);
    if (!ReadFile(in, to, ask, &n, nullptr)) {
        // The writer of a pipe closing its end is the end of the input.
        if (GetLastError() == ERROR_BROKEN_PIPE) return 0;
        fail(error, "standard input");
        return -1;
    }
    return n;
}

std::size_t standardInputSize() {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    LARGE_INTEGER size, at, zero;
    zero.QuadPart = 0;
    if (GetFileType(in) != FILE_TYPE_DISK || !GetFileSizeEx(in, &size) ||
        !SetFilePointerEx(in, zero, &at, FILE_CURRENT) || size.QuadPart <= at.QuadPart)
        return 0;
    return static_cast<std::size_t>(size.QuadPart - at.QuadPart);
}

} // namespace platform
