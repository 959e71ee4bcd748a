#include "encoding/tables/QuenlixBzip2.h"

#include "platform/Memory.h"
#include "platform/Platform.h"
#include "text/DataBuffer.h"

#include <bzlib.h>
#include <cstring>

namespace {
const uint32_t kTableTag = 0xB394A7E1u;

uint32_t readLe32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
} // namespace

// The decompressor asks for its state and one work array of four bytes per byte of its largest
// block (3.6 MB for a stream made at the highest level), of which it touches four bytes per byte
// of the table. Both are kept in the scratch slots and freed with this object. Every page of
// them is fresh memory, and faulting fresh pages in one at a time costs more than the
// decompression itself on some virtual machines: the work array of a double-byte table (some
// hundred KB touched) is a large block, where one large page replaces a hundred small ones, and
// the pages of the other blocks that will be written are asked for in one call. The work array
// of a single-byte table (a few KB touched) stays on the heap: a large page would be cleared
// whole for it.
void* QuenlixBzip2::allocate(void* self, int count, int size) {
    auto* owner = static_cast<QuenlixBzip2*>(self);
    if (count <= 0 || size <= 0 || count > 0x7FFFFFFF / size) return nullptr;
    for (void*& block : owner->scratch_) {
        if (block) continue;
        const std::size_t bytes = static_cast<std::size_t>(count) * static_cast<std::size_t>(size);
        const bool workArray = bytes >= (1u << 20);
        const std::size_t touched = workArray ? std::size_t(owner->tableBytes_) * 4 : bytes;
        const bool large = workArray && touched >= (96u << 10);
        block = large ? qxAllocLarge(bytes) : workArray ? qxAllocSparse(bytes) : qxAlloc(bytes);
        if (block && !large) platform::prepareToWrite(block, touched < bytes ? touched : bytes);
        return block;
    }
    return nullptr;
}

void QuenlixBzip2::release(void* self, void* block) {
    auto* owner = static_cast<QuenlixBzip2*>(self);
    for (void*& slot : owner->scratch_) {
        if (slot != block) continue;
        qxFree(slot);
        slot = nullptr;
        return;
    }
}

QuenlixBzip2::~QuenlixBzip2() {
    for (void*& block : scratch_) {
        qxFree(block);
        block = nullptr;
    }
}

bool QuenlixBzip2::decompressTable(const DataBuffer& in, DataBuffer& out) {
    const unsigned size = in.getSize();
    const unsigned char* data = in.getData();
    if (size == 0 || !data) {
        out.clear();
        return true;
    }
    out.clear(); // every failure leaves the output empty
    if (size < 8 || readLe32(data) != kTableTag) return false;
    uint32_t stated = readLe32(data + 4);
    if (stated > 0x7FFFFFF0u) return false; // no table comes near this; the header is damaged
    unsigned room = stated + 20;
    tableBytes_ = stated;
    if (!out.ensureBuffer(room)) return false;
    platform::prepareToWrite(out.getData(), room);

    bz_stream s;
    std::memset(&s, 0, sizeof s);
    s.bzalloc = &QuenlixBzip2::allocate;
    s.bzfree = &QuenlixBzip2::release;
    s.opaque = this;
    if (BZ2_bzDecompressInit(&s, 0, 0) != BZ_OK) return false;
    s.next_in = reinterpret_cast<char*>(const_cast<unsigned char*>(data + 8));
    s.avail_in = size - 8;
    s.next_out = reinterpret_cast<char*>(out.getData());
    s.avail_out = room;
    // One pass: the output block already holds the stated size, so anything short of the end
    // of the stream means a damaged or truncated table.
    int rc = BZ2_bzDecompress(&s);
    unsigned produced = s.total_out_lo32;
    BZ2_bzDecompressEnd(&s);
    if (rc != BZ_STREAM_END) {
        out.clear();
        return false;
    }
    out.setDataSize(produced);
    return true;
}
