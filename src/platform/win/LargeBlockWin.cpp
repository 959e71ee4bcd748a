// Windows gives large pages only to processes holding a special privilege, so large blocks come
// from the heap there like any other.
#include "platform/Platform.h"

namespace platform {

void* allocateLargeBlock(std::size_t) {
    return nullptr;
}
void* reallocateLargeBlock(void*, std::size_t) {
    return nullptr;
}
void freeLargeBlock(void*) {}
bool isLargeBlock(void*) {
    return false;
}
void prepareToWrite(void*, std::size_t) {}
void keepFreedLargeBlocks() {}

} // namespace platform
