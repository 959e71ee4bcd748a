#include "csv/RowStore.h"

#include "platform/Memory.h"
#include "platform/Platform.h"
#include "text/StringBuffer.h"

#include <cstring>

namespace {
// The table doubles from this many rows, by at most kMaxTableStep rows at a time.
const int kFirstTableSize = 64;
const int kMaxTableStep = 1 << 20;
// From this size the row table is a large block (see growTable).
const size_t kLargeTableBytes = 128u << 10;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
} // namespace

RowStore::~RowStore() {
    clear();
}

void RowStore::clear() {
    for (int i = 0; i < ownedCount_; ++i)
        qxDelete(owned_[i]);
    qxFree(owned_);
    owned_ = nullptr;
    ownedCount_ = ownedCapacity_ = 0;
    qxFree(slots_);
    slots_ = nullptr;
    qxFree(inner_);
    inner_ = nullptr;
    count_ = capacity_ = 0;
    qxFree(block_);
    block_ = nullptr;
    loadedEnd_ = blockUsed_ = blockReady_ = blockCapacity_ = 0;
}

bool RowStore::ownedText(const Slot& s, const char** data, int* length) const {
    if (s.length != kOwned) return false;
    const StringBuffer* row = owned_[s.offset];
    *data = row->getString();
    *length = row->getSize();
    return true;
}

bool RowStore::asLoaded(int row) const {
    return static_cast<unsigned>(row) < static_cast<unsigned>(count_) && slots_[row].length >= 0 &&
           slots_[row].offset < loadedEnd_;
}

bool RowStore::growTable() {
    if (capacity_ >= 0x7FFFFFFF / 2 / static_cast<int>(sizeof(Slot))) return false;
    int step = capacity_ < kFirstTableSize ? kFirstTableSize : capacity_;
    if (step > kMaxTableStep) step = kMaxTableStep;
    const int grown = capacity_ + step;
    const size_t words = (static_cast<size_t>(grown) + 63) / 64;
    const size_t had = (static_cast<size_t>(capacity_) + 63) / 64;
    void* bits = qxRealloc(inner_, words * sizeof(uint64_t));
    if (!bits) return false;
    inner_ = static_cast<uint64_t*>(bits);
    std::memset(inner_ + had, 0, (words - had) * sizeof(uint64_t));
    // A load writes the table through as it grows, and each fresh small page is a fault of its
    // own (a hundred for some ten thousand rows, which costs more than the rows' scan on some
    // virtual machines): from kLargeTableBytes on the table is a large block.
    const size_t bytes = static_cast<size_t>(grown) * sizeof(Slot);
    void* table =
        bytes >= kLargeTableBytes ? qxReallocLarge(slots_, bytes) : qxRealloc(slots_, bytes);
    if (!table) return false;
    slots_ = static_cast<Slot*>(table);
    capacity_ = grown;
    return true;
}

void RowStore::prepareRoom(uint32_t bytes) {
    if (blockUsed_ + bytes <= blockReady_) return;
    // The room is fresh memory: its pages are asked for 256 KB at a time (or what is needed).
    const uint32_t room = blockCapacity_ - blockUsed_;
    uint32_t ahead = room < (1u << 18) ? room : 1u << 18;
    if (ahead < bytes) ahead = bytes;
    platform::prepareToWrite(block_ + blockUsed_, ahead);
    blockReady_ = blockUsed_ + ahead;
}

int RowStore::copyPlainRun(int first, char* to, long long room, const char* lineEnd,
                           int lineEndLength, int* written) const {
    *written = 0;
    if (first < 0 || first >= count_ || slots_[first].length < 0) return 0;
    const uint32_t start = slots_[first].offset;
    const uint32_t firstAfter = start + static_cast<uint32_t>(slots_[first].length);
    const uint32_t gap = firstAfter + 2 <= blockUsed_ && block_[firstAfter + 1] == '\n' ? 2u : 1u;
    // Each row adds lineEndLength - gap bytes to its stretch of the block.
    const long long grow = lineEndLength - static_cast<long long>(gap);
    uint32_t next = start; // where the next row of the run must start
    int k = first;
    // Rows join the run 64 at a time, and each group is looked through for a CR before the next
    // is taken, so a call does work for the rows it writes and one group more (a text of rows
    // that each hold a lone CR would otherwise be walked to the end of the room once per row).
    for (bool more = true; more;) {
        const int groupFirst = k;
        const uint32_t groupStart = next;
        for (const int groupEnd = k + 64; k < groupEnd; ++k) {
            const Slot s = k < count_ ? slots_[k] : Slot{0, kMissing};
            const uint32_t after = s.offset + static_cast<uint32_t>(s.length); // its NUL
            if (s.length < 0 || s.offset != next || isInner(k) ||
                (gap == 2 && (after + 2 > blockUsed_ || block_[after + 1] != '\n')) ||
                after + gap - start + (k - first + 1) * grow > room) {
                more = false;
                break;
            }
            next = after + gap;
        }
        // Rows hold no NUL, and the gaps no CR: a CR in the stretch lies in a row, which ends
        // the run.
        const void* cr = std::memchr(block_ + groupStart, '\r', next - groupStart);
        if (!cr) continue;
        const uint32_t at = static_cast<uint32_t>(static_cast<const char*>(cr) - block_);
        next = groupStart;
        for (k = groupFirst; slots_[k].offset + static_cast<uint32_t>(slots_[k].length) < at; ++k)
            next = slots_[k].offset + static_cast<uint32_t>(slots_[k].length) + gap;
        more = false;
    }
    if (k == first) return 0;
    if (gap == static_cast<uint32_t>(lineEndLength)) {
        std::memcpy(to, block_ + start, next - start);
        for (int r = first; r < k; ++r)
            to[slots_[r].offset + static_cast<uint32_t>(slots_[r].length) - start] = lineEnd[0];
        *written = static_cast<int>(next - start);
    } else {
        char* o = to;
        for (int r = first; r < k; ++r) {
            std::memcpy(o, block_ + slots_[r].offset, static_cast<size_t>(slots_[r].length));
            o += slots_[r].length;
            std::memcpy(o, lineEnd, static_cast<size_t>(lineEndLength));
            o += lineEndLength;
        }
        *written = static_cast<int>(o - to);
    }
    return k - first;
}

int RowStore::addOwned(StringBuffer* row) {
    if (ownedCount_ == ownedCapacity_) {
        if (ownedCapacity_ > 0x3FFFFFFF / static_cast<int>(sizeof(StringBuffer*))) return -1;
        const int grown = ownedCapacity_ < 8 ? 8 : ownedCapacity_ * 2;
        void* list = qxRealloc(owned_, static_cast<size_t>(grown) * sizeof(StringBuffer*));
        if (!list) return -1;
        owned_ = static_cast<StringBuffer**>(list);
        ownedCapacity_ = grown;
    }
    owned_[ownedCount_] = row;
    return ownedCount_++;
}

bool RowStore::own(Slot& s, StringBuffer* row) {
    const int index = addOwned(row);
    if (index < 0) {
        qxDelete(row);
        return false;
    }
    s.offset = static_cast<uint32_t>(index);
    s.length = kOwned;
    return true;
}

bool RowStore::appendOwned(StringBuffer* row) {
    if (count_ == capacity_ && !growTable()) return false;
    Slot& s = slots_[count_];
    if (row) {
        const int index = addOwned(row);
        if (index < 0) return false;
        s.offset = static_cast<uint32_t>(index);
        s.length = kOwned;
    } else {
        s.offset = 0;
        s.length = kMissing;
    }
    ++count_;
    return true;
}

StringBuffer* RowStore::editable(int row) {
    if (static_cast<unsigned>(row) >= static_cast<unsigned>(count_)) return nullptr;
    Slot& s = slots_[row];
    if (s.length == kOwned) return owned_[s.offset];
    if (s.length == kMissing) return nullptr;
    // With room for values somewhat longer than the ones they replace: the row is made editable
    // to be changed, and growing it at the first change would move it at once.
    StringBuffer* copy = qxNew<StringBuffer>(block_ + s.offset, s.length, 32 + s.length / 8);
    if (!copy) return nullptr;
    if (copy->getSize() != s.length) { // a short copy: no memory
        qxDelete(copy);
        return nullptr;
    }
    return own(s, copy) ? copy : nullptr;
}

void RowStore::adoptBlock(char* block, int used, int capacity) {
    if (block_ != block) qxFree(block_);
    block_ = block;
    loadedEnd_ = blockUsed_ = blockReady_ = block && used > 0 ? static_cast<uint32_t>(used) : 0;
    blockCapacity_ = block && capacity > used ? static_cast<uint32_t>(capacity) : blockUsed_;
}

bool RowStore::normaliseLineEnds(int row, bool crlf) {
    if (static_cast<unsigned>(row) >= static_cast<unsigned>(count_)) return false;
    Slot& s = slots_[row];
    if (s.length == kOwned) {
        StringBuffer* text = owned_[s.offset];
        if (crlf)
            text->toCrlf();
        else
            text->toLf();
        return true;
    }
    if (s.length == kMissing) return false;
    char* text = block_ + s.offset;
    const int n = s.length;
    if (!crlf) {
        s.length = StringBuffer::toLfInPlace(text, n);
        text[s.length] = 0;
        return true;
    }
    const bool noCr = !std::memchr(text, '\r', static_cast<size_t>(n));
    const bool hasLf = std::memchr(text, '\n', static_cast<size_t>(n)) != nullptr;
    if (noCr && !hasLf) return true; // nothing to change
    if (!hasLf) {
        // Only lone CRs go: the text shrinks in place.
        s.length = static_cast<int>(StringBuffer::putCrlf(text, n, text) - text);
        text[s.length] = 0;
        return true;
    }
    // Some LF gains a CR (a row without CRs at most doubles): the new text is made once and kept
    // as a save's normalised text is (replaceLoaded).
    const long long length = noCr ? 2LL * n : StringBuffer::crlfLength(text, n);
    if (length < 0) return true; // its CRs and LFs are CR LF pairs already
    if (length > 0x7FFFFFF0LL) return false;
    StringBuffer grown;
    if (!grown.expectNumBytes(static_cast<int>(length))) return false;
    char* out = grown.getWritableData();
    return replaceLoaded(row, out, static_cast<int>(StringBuffer::putCrlf(text, n, out) - out));
}

bool RowStore::replaceLoaded(int row, const char* text, int length) {
    if (static_cast<unsigned>(row) >= static_cast<unsigned>(count_) || length < 0) return false;
    Slot& s = slots_[row];
    if (s.length < 0) return false;
    // A stretch of the loaded text owns the bytes up to the next row's stretch: its NUL, the LF
    // of a CR LF line end, what a trim or a shorter text left. The last row owns them up to the
    // loaded text's end (rows dropped behind it were blank). Loaded stretches lie in row order;
    // a row moved behind the text, owned or missing gives no bound.
    if (length != s.length && s.offset < loadedEnd_) {
        uint32_t limit = 0;
        if (row + 1 == count_) {
            limit = loadedEnd_;
        } else {
            const Slot& next = slots_[row + 1];
            if (next.length >= 0 && next.offset < loadedEnd_ && next.offset > s.offset)
                limit = next.offset;
        }
        if (static_cast<uint64_t>(s.offset) + static_cast<uint32_t>(length) < limit) {
            std::memcpy(block_ + s.offset, text, static_cast<size_t>(length));
            block_[s.offset + static_cast<uint32_t>(length)] = 0;
            s.length = length;
            return true;
        }
    }
    if (static_cast<uint64_t>(length) < blockCapacity_ - blockUsed_) {
        prepareRoom(static_cast<uint32_t>(length) + 1);
        std::memcpy(block_ + blockUsed_, text, static_cast<size_t>(length));
        block_[blockUsed_ + static_cast<uint32_t>(length)] = 0;
        s.offset = blockUsed_;
        s.length = length;
        blockUsed_ += static_cast<uint32_t>(length) + 1;
        return true;
    }
    StringBuffer* copy = qxNew<StringBuffer>();
    if (!copy || !copy->expectNumBytes(length)) {
        qxDelete(copy);
        return false;
    }
    copy->appendN(text, length);
    return own(s, copy);
}

void RowStore::trim(int row) {
    if (static_cast<unsigned>(row) >= static_cast<unsigned>(count_)) return;
    Slot& s = slots_[row];
    if (s.length == kOwned) {
        owned_[s.offset]->trim();
        return;
    }
    if (s.length <= 0) return;
    const char* text = block_ + s.offset;
    int start = 0, end = s.length;
    while (start < end && isBlank(text[start]))
        ++start;
    while (end > start && isBlank(text[end - 1]))
        --end;
    block_[s.offset + end] = 0;
    s.offset += static_cast<uint32_t>(start);
    s.length = end - start;
}

void RowStore::removeLast() {
    if (count_ == 0) return;
    const Slot& s = slots_[--count_];
    setInner(count_, false);
    if (s.length != kOwned) return;
    qxDelete(owned_[s.offset]);
    owned_[s.offset] = nullptr;
    if (static_cast<int>(s.offset) == ownedCount_ - 1) --ownedCount_;
}
