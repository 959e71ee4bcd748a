// Switches of the file functions' test-only failure seam (see platform/FaultInjection.h).
#ifdef QX_FAULT_INJECTION
#include "platform/FaultInjection.h"

std::atomic<uint32_t> FileFaultInjection::openError{0};
std::atomic<long> FileFaultInjection::openErrorCount{-1};
std::atomic<long> FileFaultInjection::openCalls{0};
std::atomic<long> FileFaultInjection::writeLimit{-1};
std::atomic<long> FileFaultInjection::readLimit{-1};
std::atomic<uint32_t> FileFaultInjection::readError{0};
std::atomic<uint32_t> FileFaultInjection::sizeError{0};

bool FileFaultInjection::takeOpenError(uint32_t& code) {
    code = openError.load();
    if (code == 0) return false;
    long left = openErrorCount.load();
    if (left == 0) return false;
    if (left > 0) openErrorCount = left - 1;
    return true;
}

void FileFaultInjection::reset() {
    openError = 0;
    openErrorCount = -1;
    openCalls = 0;
    writeLimit = -1;
    readLimit = -1;
    readError = 0;
    sizeError = 0;
}
#endif
