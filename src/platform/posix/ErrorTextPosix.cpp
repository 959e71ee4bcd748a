// Message texts for the Windows error codes the Linux stand-in produces, worded as the system
// message table words them (each ends with a full stop and CR LF, as FormatMessage returns it).
#include "platform/Platform.h"

namespace platform {

namespace {
struct ErrorText {
    uint32_t code;
    const char* text;
};
const ErrorText kErrorTexts[] = {
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {14, "Not enough memory resources are available to complete this operation."},
    {15, "The system cannot find the drive specified."},
    {19, "The media is write protected."},
    {21, "The device is not ready."},
    {29, "The system cannot write to the specified device."},
    {30, "The system cannot read from the specified device."},
    {31, "A device attached to the system is not functioning."},
    {32, "The process cannot access the file because it is being used by another process."},
    {33, "The process cannot access the file because another process has locked a portion of the "
         "file."},
    {38, "Reached the end of the file."},
    {39, "The disk is full."},
    {53, "The network path was not found."},
    {80, "The file exists."},
    {87, "The parameter is incorrect."},
    {112, "There is not enough space on the disk."},
    {123, "The filename, directory name, or volume label syntax is incorrect."},
    {161, "The specified path is invalid."},
    {183, "Cannot create a file when that file already exists."},
    {206, "The filename or extension is too long."},
    {267, "The directory name is invalid."},
    {1224, "The requested operation cannot be performed on a file with a user-mapped section "
           "open."},
    {1392, "The file or directory is corrupted and unreadable."},
};
} // namespace

std::string errorMessageText(uint32_t code) {
    for (const ErrorText& e : kErrorTexts) {
        if (e.code == code) return std::string(e.text) + "\r\n";
    }
    return std::string();
}

} // namespace platform
