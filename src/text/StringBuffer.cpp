#include "text/StringBuffer.h"

#include "platform/Memory.h"
#include "platform/Platform.h"
#include "text/DataBuffer.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {
// The one block that every buffer without memory of its own points at. It is never written:
// every path that would store a byte into it has grown the buffer first, and clear() skips it.
char g_sharedEmpty[1] = {0};

const uint8_t kAlive = 0xAA;
const int kMaxStep = 500000;
// Appends of at least this many bytes have their destination's pages asked for first.
const int kLargeCopy = 1 << 20;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
} // namespace

// ---- life cycle ------------------------------------------------------------------------------

StringBuffer::StringBuffer() : marker_(kAlive), capacity_(202), length_(0), growthStep_(202) {
    data_ = static_cast<char*>(qxAlloc(202));
    if (!data_) {
        capacity_ = 4;
        data_ = static_cast<char*>(qxAlloc(4));
    }
    if (!data_) {
        data_ = g_sharedEmpty;
        capacity_ = 1;
        return;
    }
    data_[0] = 0;
}

void StringBuffer::initFrom(const char* s, int len, int spare) {
    marker_ = kAlive;
    growthStep_ = 200;
    length_ = 0;
    if (spare < 0 || static_cast<long long>(len) + 1 + spare > INT_MAX) spare = 0;
    data_ = static_cast<char*>(qxAlloc(static_cast<size_t>(len) + 1 + static_cast<size_t>(spare)));
    if (!data_) {
        data_ = g_sharedEmpty;
        capacity_ = 1;
        return;
    }
    capacity_ = len + 1 + spare;
    if (len > 0) std::memcpy(data_, s, static_cast<size_t>(len));
    length_ = len;
    data_[len] = 0;
}

StringBuffer::StringBuffer(const char* s) {
    if (!s) {
        // A null pointer gives a small empty block.
        marker_ = kAlive;
        growthStep_ = 200;
        length_ = 0;
        data_ = static_cast<char*>(qxAlloc(4));
        if (data_) {
            capacity_ = 4;
            data_[0] = 0;
        } else {
            data_ = g_sharedEmpty;
            capacity_ = 1;
        }
        return;
    }
    size_t n = std::strlen(s);
    initFrom(s, n > static_cast<size_t>(INT_MAX - 1) ? 0 : static_cast<int>(n));
}

StringBuffer::StringBuffer(const char* s, int n, int spare) {
    initFrom(s, s && n > 0 && n < INT_MAX ? n : 0, spare);
}

StringBuffer::StringBuffer(const StringBuffer& other) : QuenlixObject(other) {
    other.checkMarker();
    initFrom(other.data_, other.length_);
}

StringBuffer& StringBuffer::operator=(const StringBuffer& other) {
    if (this != &other) setSb(other);
    return *this;
}

StringBuffer::~StringBuffer() {
    checkMarker();
    marker_ = 0;
    freeBlock();
    // Poison the fields so that a use after destruction is caught by the marker check or crashes
    // at once instead of reading stale text.
    data_ = reinterpret_cast<char*>(static_cast<uintptr_t>(0xDDDDDDDDu));
    capacity_ = length_ = growthStep_ = static_cast<int>(0xDDDDDDDDu);
}

void StringBuffer::checkMarker() const {
    if (marker_ != kAlive) platform::fatalFault("StringBuffer used after destruction");
}

void StringBuffer::freeBlock() {
    if (data_ != g_sharedEmpty) qxFree(data_);
    data_ = g_sharedEmpty;
    capacity_ = 1;
    length_ = 0;
}

// Makes room for n more bytes (plus `extra`); the new block is length + n + step + extra bytes.
bool StringBuffer::growFor(int n, int extra) {
    if (n < 0) return false;
    if (static_cast<long long>(length_) + n < capacity_) return true;
    long long want = static_cast<long long>(length_) + n + growthStep_ + extra;
    if (want > INT_MAX) {
        want = static_cast<long long>(length_) + n + 1;
        if (want > INT_MAX) return false;
    }
    char* block = static_cast<char*>(qxAlloc(static_cast<size_t>(want)));
    if (!block) return false;
    // A large text moves into fresh memory: its pages are asked for in one call, not faulted in
    // one at a time by the copy.
    if (length_ >= kLargeCopy) platform::prepareToWrite(block, static_cast<size_t>(length_) + 1);
    if (length_ > 0) std::memcpy(block, data_, static_cast<size_t>(length_));
    block[length_] = 0;
    if (data_ != g_sharedEmpty) qxFree(data_);
    data_ = block;
    capacity_ = static_cast<int>(want);
    return true;
}

void StringBuffer::adaptStep() {
    if (growthStep_ < capacity_ && growthStep_ < kMaxStep) {
        int step = capacity_ / 2;
        growthStep_ = step > kMaxStep ? kMaxStep : step;
    }
}

// ---- access ----------------------------------------------------------------------------------

bool StringBuffer::containsChar(char c) const {
    checkMarker();
    for (const char* p = data_; *p; ++p)
        if (*p == c) return true;
    return false;
}

// Bytes of 0x80 and above are counted like any other byte (the field scanners agree).
int StringBuffer::countChar(char c) const {
    int n = 0;
    for (int i = 0; i < length_; ++i)
        if (data_[i] == c) ++n;
    return n;
}

bool StringBuffer::beginsWith(const char* s) const {
    checkMarker();
    if (!s) return false;
    size_t n = std::strlen(s);
    if (n > static_cast<size_t>(length_)) return false;
    return std::memcmp(data_, s, n) == 0;
}

bool StringBuffer::equals(const char* s) const {
    checkMarker();
    if (!s) return length_ == 0;
    return std::strcmp(data_, s) == 0;
}

bool StringBuffer::equalsIgnoreCase(const char* s) const {
    checkMarker();
    if (!s) return length_ == 0;
    const unsigned char* a = reinterpret_cast<const unsigned char*>(data_);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(s);
    for (;; ++a, ++b) {
        unsigned char ca = *a, cb = *b;
        if (ca >= 'A' && ca <= 'Z') ca = static_cast<unsigned char>(ca + 32);
        if (cb >= 'A' && cb <= 'Z') cb = static_cast<unsigned char>(cb + 32);
        if (ca != cb) return false;
        if (!ca) return true;
    }
}

bool StringBuffer::is7bit(int n) const {
    checkMarker();
    int limit = (n <= 0 || n > length_) ? length_ : n;
    for (int i = 0; i < limit; ++i)
        if (static_cast<unsigned char>(data_[i]) >= 0x80) return false;
    return true;
}

// ---- building --------------------------------------------------------------------------------

void StringBuffer::clear() {
    checkMarker();
    length_ = 0;
    if (data_ != g_sharedEmpty) data_[0] = 0;
}

int StringBuffer::append(const char* s) {
    checkMarker();
    if (!s || !*s) return length_;
    size_t n = std::strlen(s);
    if (n > static_cast<size_t>(INT_MAX)) return length_;
    appendN(s, static_cast<int>(n));
    return length_;
}

void StringBuffer::appendN(const void* p, int n) {
    checkMarker();
    if (!p || n <= 0) return;
    const char* src = static_cast<const char*>(p);
    // The source may lie inside this buffer; remember where, since growing moves the block.
    bool inside = src >= data_ && src < data_ + capacity_ && data_ != g_sharedEmpty;
    ptrdiff_t offset = inside ? src - data_ : 0;
    if (static_cast<long long>(length_) + n >= capacity_) {
        if (!growFor(n, 1)) return;
        adaptStep();
        if (inside) src = data_ + offset;
    }
    // A large copy (a whole text) lands in fresh memory: mapped in one call.
    if (n >= kLargeCopy) platform::prepareToWrite(data_ + length_, static_cast<size_t>(n));
    std::memmove(data_ + length_, src, static_cast<size_t>(n));
    length_ += n;
    data_[length_] = 0;
}

void StringBuffer::appendChar(char c) {
    checkMarker();
    if (length_ + 1 >= capacity_) {
        if (!growFor(1, 0)) return;
        adaptStep();
    }
    data_[length_++] = c;
    data_[length_] = 0;
}

void StringBuffer::appendCharN(char c, int count) {
    checkMarker();
    if (count <= 0) return;
    if (static_cast<long long>(length_) + count >= capacity_) {
        if (!growFor(count, 1)) return;
        adaptStep();
    }
    std::memset(data_ + length_, static_cast<unsigned char>(c), static_cast<size_t>(count));
    length_ += count;
    data_[length_] = 0;
}

void StringBuffer::appendSb(const StringBuffer& o) {
    o.checkMarker();
    appendN(o.data_, o.length_);
}

void StringBuffer::prepend(const char* s) {
    checkMarker();
    if (!s || !*s) return;
    size_t sn = std::strlen(s);
    if (sn > static_cast<size_t>(INT_MAX)) return;
    int n = static_cast<int>(sn);
    // Copy first: s may point into this buffer.
    StringBuffer copy(s);
    if (copy.length_ != n) return;
    if (!growFor(n, 1)) return;
    std::memmove(data_ + n, data_, static_cast<size_t>(length_) + 1);
    std::memcpy(data_, copy.data_, static_cast<size_t>(n));
    length_ += n;
}

void StringBuffer::setString(const char* s) {
    checkMarker();
    if (s && (s < data_ || s >= data_ + capacity_)) {
        // The common case: s lies elsewhere, so no temporary copy is needed.
        size_t n = std::strlen(s);
        if (n > static_cast<size_t>(INT_MAX)) return;
        clear();
        appendN(s, static_cast<int>(n));
        return;
    }
    // s may point into this buffer: copy it out before clearing.
    StringBuffer copy(s);
    clear();
    appendN(copy.data_, copy.length_);
}

void StringBuffer::setSb(const StringBuffer& o) {
    checkMarker();
    if (&o == this) return;
    clear();
    appendN(o.data_, o.length_);
}

void StringBuffer::takeData(DataBuffer& db) {
    checkMarker();
    clear();
    if (db.getSize() < 2) return;
    if (db.getSize() - 1 > static_cast<unsigned>(INT_MAX - 1)) return;
    if (db.isBorrowed() || db.getCapacity() > static_cast<unsigned>(INT_MAX)) {
        // Memory the buffer only borrows is not ours to free later: copy it instead.
        appendN(db.getData(), static_cast<int>(db.getSize()) - 1);
        growthStep_ = 1024;
        db.releaseData();
        return;
    }
    freeBlock();
    data_ = reinterpret_cast<char*>(db.getData());
    capacity_ = static_cast<int>(db.getCapacity());
    length_ = static_cast<int>(db.getSize()) - 1;
    data_[length_] = 0;
    growthStep_ = 1024;
    db.releaseData();
}

void StringBuffer::takeBytes(DataBuffer& db) {
    const unsigned size = db.getSize();
    db.appendByte(0);
    if (db.getSize() == size + 1)
        takeData(db);
    else
        clear();
}

bool StringBuffer::expectNumBytes(int n) {
    checkMarker();
    if (n < 0) return false;
    return growFor(n, 1);
}

bool StringBuffer::expectNumBytes(int n, int spare) {
    checkMarker();
    if (n < 0) return false;
    if (spare > 0 && static_cast<long long>(n) + spare <= INT_MAX - 2 && growFor(n + spare, 1))
        return true;
    return growFor(n, 1);
}

void StringBuffer::minimizeMemory() {
    checkMarker();
    if (data_ == g_sharedEmpty || capacity_ <= length_ + 4) return;
    char* block = static_cast<char*>(qxAlloc(static_cast<size_t>(length_) + 1));
    if (!block) return;
    std::memcpy(block, data_, static_cast<size_t>(length_) + 1);
    qxFree(data_);
    data_ = block;
    capacity_ = length_ + 1;
}

bool StringBuffer::setCapacity(int capacity) {
    checkMarker();
    if (capacity <= length_) return false;
    if (capacity == capacity_ && data_ != g_sharedEmpty) return true;
    char* block = static_cast<char*>(qxAlloc(static_cast<size_t>(capacity)));
    if (!block) return false;
    std::memcpy(block, data_, static_cast<size_t>(length_) + 1);
    if (data_ != g_sharedEmpty) qxFree(data_);
    data_ = block;
    capacity_ = capacity;
    return true;
}

void StringBuffer::swap(StringBuffer& other) {
    checkMarker();
    other.checkMarker();
    std::swap(data_, other.data_);
    std::swap(capacity_, other.capacity_);
    std::swap(length_, other.length_);
    std::swap(growthStep_, other.growthStep_);
}

char* StringBuffer::releaseBlock(int* capacity) {
    checkMarker();
    *capacity = 0;
    if (data_ == g_sharedEmpty) return nullptr;
    char* block = data_;
    *capacity = capacity_;
    data_ = g_sharedEmpty;
    capacity_ = 1;
    length_ = 0;
    return block;
}

void StringBuffer::shorten(int n) {
    checkMarker();
    if (n <= 0) return;
    length_ = n >= length_ ? 0 : length_ - n;
    if (data_ != g_sharedEmpty) data_[length_] = 0;
}

void StringBuffer::setLength(int n) {
    checkMarker();
    if (data_ == g_sharedEmpty) return;
    if (n < 0) n = 0;
    if (n > capacity_ - 1) n = capacity_ - 1;
    length_ = n;
    data_[length_] = 0;
}

void StringBuffer::trim() {
    checkMarker();
    if (length_ == 0) return;
    int start = 0;
    while (start < length_ && isBlank(data_[start]))
        ++start;
    if (start > 0) {
        std::memmove(data_, data_ + start, static_cast<size_t>(length_ - start) + 1);
        length_ -= start;
    }
    while (length_ > 0 && isBlank(data_[length_ - 1]))
        --length_;
    data_[length_] = 0;
}

void StringBuffer::removeFirstN(int n) {
    checkMarker();
    if (n <= 0) return;
    if (n >= length_) {
        clear();
        return;
    }
    std::memmove(data_, data_ + n, static_cast<size_t>(length_ - n) + 1);
    length_ -= n;
}

// ---- editing ---------------------------------------------------------------------------------

void StringBuffer::replaceChar(char from, char to) {
    checkMarker();
    for (int i = 0; i < length_; ++i)
        if (data_[i] == from) data_[i] = to;
}

int StringBuffer::replaceAll(const char* find, const char* repl) {
    checkMarker();
    if (!find || !*find || length_ == 0) return 0;
    const size_t fn = std::strlen(find);
    const size_t rn = repl ? std::strlen(repl) : 0;
    // Count first, so the new block is allocated once at its final size.
    int count = 0;
    const char* end = data_ + length_;
    for (const char* p = data_; p + fn <= end;) {
        const char* hit = static_cast<const char*>(std::memchr(p, find[0], end - p));
        if (!hit || hit + fn > end) break;
        if (std::memcmp(hit, find, fn) == 0) {
            ++count;
            p = hit + fn;
        } else {
            p = hit + 1;
        }
    }
    if (count == 0) return 0;
    long long newLen = static_cast<long long>(length_) +
                       static_cast<long long>(count) * (static_cast<long long>(rn) - fn);
    if (newLen > INT_MAX - 2) return 0;
    long long cap = newLen + 1;
    if (cap < growthStep_) cap = growthStep_;
    char* block = static_cast<char*>(qxAlloc(static_cast<size_t>(cap)));
    if (!block) return 0;
    char* out = block;
    const char* p = data_;
    while (p < end) {
        const char* hit =
            p + fn <= end ? static_cast<const char*>(std::memchr(p, find[0], end - p)) : nullptr;
        if (hit && hit + fn <= end && std::memcmp(hit, find, fn) == 0) {
            std::memcpy(out, p, static_cast<size_t>(hit - p));
            out += hit - p;
            if (rn) std::memcpy(out, repl, rn);
            out += rn;
            p = hit + fn;
        } else if (hit && hit + fn <= end) {
            std::memcpy(out, p, static_cast<size_t>(hit - p) + 1);
            out += hit - p + 1;
            p = hit + 1;
        } else {
            std::memcpy(out, p, static_cast<size_t>(end - p));
            out += end - p;
            p = end;
        }
    }
    *out = 0;
    if (data_ != g_sharedEmpty) qxFree(data_);
    data_ = block;
    capacity_ = static_cast<int>(cap);
    length_ = static_cast<int>(out - block);
    return count;
}

void StringBuffer::toLowercase() {
    checkMarker();
    for (int i = 0; i < length_ && data_[i]; ++i) {
        unsigned char c = static_cast<unsigned char>(data_[i]);
        if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDF))
            data_[i] = static_cast<char>(c + 0x20);
    }
}

// Every CR dropped and every LF made CR LF, in one pass into one new block: without memory for
// it the text stays as it was, never with its CRs gone and its LFs still bare. Text that already
// has a CR before every LF and no other CR comes out the same and is left alone.
void StringBuffer::toCrlf() {
    checkMarker();
    const long long newLength = crlfLength(data_, length_);
    if (newLength < 0 || newLength > INT_MAX - 2) return;
    long long cap = newLength + 1;
    if (cap < growthStep_) cap = growthStep_;
    char* block = static_cast<char*>(qxAlloc(static_cast<size_t>(cap)));
    if (!block) return;
    char* out = putCrlf(data_, length_, block);
    *out = 0;
    if (data_ != g_sharedEmpty) qxFree(data_);
    data_ = block;
    capacity_ = static_cast<int>(cap);
    length_ = static_cast<int>(out - block);
}

// Every CR LF loses its CR, left to right: the text only shrinks, so it is done in place.
void StringBuffer::toLf() {
    checkMarker();
    if (length_ == 0) return;
    length_ = toLfInPlace(data_, length_);
    data_[length_] = 0;
}

// The two below jump from line-end byte to line-end byte with memchr: the rows they see are
// mostly text with one or two LFs, and a byte loop over them was most of what saving such a
// row cost.
long long StringBuffer::crlfLength(const char* text, int length) {
    const char* const end = text + length;
    long long lfs = 0, crs = 0;
    bool same = true;
    for (const char* p = text; p < end; ++p) {
        p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        if (!p) break;
        ++lfs;
        if (p == text || p[-1] != '\r') same = false;
    }
    for (const char* p = text; p < end; ++p) {
        p = static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(end - p)));
        if (!p) break;
        ++crs;
        if (p + 1 == end || p[1] != '\n') same = false;
    }
    return same ? -1 : static_cast<long long>(length) - crs + lfs;
}

char* StringBuffer::putCrlf(const char* text, int length, char* out) {
    // Copies [from, to) without its CRs. out may be text itself (the text never grows then, as
    // it holds no LF), so the moves are memmove.
    const auto putWithoutCrs = [&out](const char* from, const char* to) {
        while (from < to) {
            const char* cr =
                static_cast<const char*>(std::memchr(from, '\r', static_cast<size_t>(to - from)));
            const char* stop = cr ? cr : to;
            std::memmove(out, from, static_cast<size_t>(stop - from));
            out += stop - from;
            from = cr ? cr + 1 : to;
        }
    };
    const char* const end = text + length;
    for (const char* p = text; p < end;) {
        const char* lf =
            static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        putWithoutCrs(p, lf ? lf : end);
        if (!lf) break;
        *out++ = '\r';
        *out++ = '\n';
        p = lf + 1;
    }
    return out;
}

int StringBuffer::toLfInPlace(char* text, int length) {
    int w = 0;
    for (int i = 0; i < length; ++i) {
        if (text[i] == '\r' && i + 1 < length && text[i + 1] == '\n') continue;
        text[w++] = text[i];
    }
    return w;
}

void StringBuffer::encodeXmlSpecial() {
    replaceAll("&", "&amp;");
    replaceAll("<", "&lt;");
    replaceAll(">", "&gt;");
    replaceAll("\"", "&quot;");
}

// ---- operating-system texts ------------------------------------------------------------------

void StringBuffer::appendWindowsError(uint32_t code) {
    checkMarker();
    std::string text = platform::errorMessageText(code);
    if (text.empty()) return;
    appendN(text.data(), static_cast<int>(text.size()));
    trim();
}

// ---- numbers ---------------------------------------------------------------------------------

void StringBuffer::appendInt64(int64_t v, StringBuffer& sb) {
    char digits[24];
    int n = 0;
    uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    do {
        digits[n++] = static_cast<char>('0' + mag % 10);
        mag /= 10;
    } while (mag);
    char out[26];
    int k = 0;
    if (v < 0) out[k++] = '-';
    while (n)
        out[k++] = digits[--n];
    sb.appendN(out, k);
}

// One result buffer per thread rather than one for the process: callers use the text at once,
// and threads formatting numbers at the same moment must not see each other's digits.
const char* StringBuffer::intToString(int v) {
    static thread_local char buf[50];
    std::snprintf(buf, sizeof buf, "%d", v);
    return buf;
}
