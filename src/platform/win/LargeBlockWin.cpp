// Windows gives large pages only to processes holding a special privilege, so the hint is
// ignored there.
#include "platform/Platform.h"

namespace platform {

void adviseLargeBlock(void*, std::size_t) {}
void prepareToWrite(void*, std::size_t) {}
void keepFreedLargeBlocks() {}

} // namespace platform
