#pragma once
// What the command-line tool asks of the system beyond the file layer: what an output path
// names, writing to streams, replacing a file in one step, and standard input and output.
// Paths are narrow text in the encoding of the command line (UTF-8 on Linux, the ANSI code page
// on Windows) and use the system's own syntax. Failures come back as a message for the user.
#include <cstddef>
#include <string>

namespace platform {

// What an output path names once symbolic links are followed.
enum class OutputKind {
    kMissing,   // nothing yet; its folder exists, so a file can be created there
    kRegular,   // an existing regular file
    kStream,    // a FIFO, a device or a socket: written in place, never replaced
    kDirectory, // a directory
    kNoFolder,  // nothing, and the folder that would hold it does not exist either
};

// Follows the symbolic links of path (a dangling link included) to the file they name, stored in
// resolved; for any other path, resolved is path itself.
OutputKind resolveOutput(const std::string& path, std::string& resolved);

// Makes temp, a complete file beside target, take target's place: temp's data reaches the disk,
// temp takes over target's permission bits (and owner, when the process may set it) if target
// exists, then is renamed over target in one step, and the folder's entry is made durable.
// False (with a message) leaves target untouched; temp is then still there for the caller.
bool replaceFile(const std::string& temp, const std::string& target, std::string& error);

// Removes a file; false when it could not be removed (or was not there).
bool removeFile(const std::string& path);

// Writes size bytes to the existing stream at path (a FIFO or a device), opened without
// creating or truncating anything; an empty path writes to standard output.
bool writeStream(const std::string& path, const char* data, std::size_t size, std::string& error);

// Reads the next bytes of standard input into to[0..room): how many came, 0 at its end, or -1
// (with a message).
long long readStandardInput(char* to, std::size_t room, std::string& error);
// How many bytes standard input still holds when it is a file (input redirected from one), so
// that room for all of it can be made at once; 0 for a pipe, a terminal or a device.
std::size_t standardInputSize();

} // namespace platform
