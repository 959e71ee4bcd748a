// The command-line tool's outputs on Linux: links followed by hand so that a dangling link still
// names the file it would create, writes that survive EINTR and short counts, and a replacement
// that is fsync'ed before and after the rename.
#include "platform/CommandIo.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::string folderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool fail(std::string& error, const std::string& what) {
    error = what + ": " + std::strerror(errno);
    return false;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

OutputKind resolveOutput(const std::string& path, std::string& resolved) {
    resolved = path;
    if (path.empty()) return OutputKind::kNoFolder;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(resolved.c_str(), &st) != 0) {
            struct stat folder;
            bool hasFolder = errno == ENOENT && resolved.back() != '/' &&
                             stat(folderOf(resolved).c_str(), &folder) == 0 &&
                             S_ISDIR(folder.st_mode);
            return hasFolder ? OutputKind::kMissing : OutputKind::kNoFolder;
        }
        if (S_ISREG(st.st_mode)) return OutputKind::kRegular;
        if (S_ISDIR(st.st_mode)) return OutputKind::kDirectory;
        if (!S_ISLNK(st.st_mode)) return OutputKind::kStream;
        std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        ssize_t n = readlink(resolved.c_str(), &target[0], target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size()) return OutputKind::kNoFolder;
        target.resize(static_cast<size_t>(n));
        resolved = target[0] == '/' || resolved.find('/') == std::string::npos
                       ? target
                       : folderOf(resolved) + "/" + target;
    }
    return OutputKind::kNoFolder; // a loop of links
}

bool replaceFile(const std::string& temp, const std::string& target, std::string& error) {
    int fd = open(temp.c_str(), O_RDONLY | O_CLOEXEC); // enough for fchmod and fsync
    if (fd < 0) return fail(error, temp);
    struct stat old;
    if (stat(target.c_str(), &old) == 0) {
        // The owner first: changing it may clear the set-id bits that the mode then restores.
        // Only a privileged process may give a file away; the group alone may still be allowed.
        // When neither is allowed the file stays the caller's, as any new file would.
        if (fchown(fd, old.st_uid, old.st_gid) != 0 && fchown(fd, -1, old.st_gid) != 0) errno = 0;
        if (fchmod(fd, old.st_mode & 07777) != 0) {
            fail(error, temp);
            close(fd);
            return false;
        }
    }
    if (fsync(fd) != 0) {
        fail(error, temp);
        close(fd);
        return false;
    }
    close(fd);
    if (rename(temp.c_str(), target.c_str()) != 0) return fail(error, target);
    // The rename itself lives in the folder; without this a crash may bring the old file back.
    int dir = open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}

bool removeFile(const std::string& path) {
    return unlink(path.c_str()) == 0;
}

bool writeStream(const std::string& path, const char* data, std::size_t size, std::string& error) {
    if (path.empty()) {
        if (!writeAll(STDOUT_FILENO, data, size)) return fail(error, "standard output");
        return true;
    }
    int fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return fail(error, path);
    bool ok = writeAll(fd, data, size);
    if (!ok) fail(error, path);
    if (close(fd) != 0 && ok) ok = fail(error, path);
    return ok;
}

long long readStandardInput(char* to, std::size_t room, std::string& error) {
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, to, room);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            fail(error, "standard input");
            return -1;
        }
        return n;
    }
}

std::size_t standardInputSize() {
    struct stat st;
    if (fstat(STDIN_FILENO, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    const off_t at = lseek(STDIN_FILENO, 0, SEEK_CUR);
    return at >= 0 && st.st_size > at ? static_cast<std::size_t>(st.st_size - at) : 0;
}

} // namespace platform
