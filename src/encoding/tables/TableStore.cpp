#include "encoding/tables/TableStore.h"

#include "encoding/tables/ContentCoding.h"
#include "encoding/tables/HashConvert.h"
#include "encoding/tables/QuenlixBzip2.h"
#include "encoding/tables/UnicodeLookup.h"
#include "platform/Memory.h"
#include "text/DataBuffer.h"

#include <atomic>
#include <cstring>
#include <mutex>

// How the store hangs together:
//  - kCodePages lists every code page that has a table, with its kind and the bucket counts of
//    its maps; the slots are indexed by the position in that list.
//  - The table texts come from CodePageTableTexts.inc, written by tools/gen_codepages. A code
//    page whose text is missing there has no table (kindOf says kNone), so a build with partial
//    data still behaves consistently.
//  - Each slot is filled under its own lock, so two threads asking for the same cold slot build
//    it once and both see the finished object; different slots build in parallel. A filled slot
//    is read through an acquire load without taking the lock.
//  - A build during which an allocation failed is thrown away whole (a table with entries
//    missing would convert wrongly for the rest of the process): the slot stays empty, the
//    conversion at hand finds no table, and the next use builds again.
//  - 10001 is the one slot with a dependency: its forward map is the reverse of its patched
//    reverse map, so building the forward slot fills the reverse slot first.
// When the list changes, regenerate the texts and keep the double-byte entries here in step with
// the generator's list of double-byte code pages.

namespace {

struct TableText {
    int codePage;
    const char* text;  // the code page's table text (shared texts appear under each code page)
    const char* patch; // a patch applied to the reverse table after the text, or null
};

#include "encoding/tables/CodePageTableTexts.inc"

struct CodePageEntry {
    int codePage;
    TableStore::Kind kind;
    unsigned forwardBuckets; // double-byte only
    unsigned reverseBuckets;
    bool asciiPassThrough; // single-byte only: what the table text's flag says (tests check)
};

const unsigned kSingleForwardBuckets = 283;
const unsigned kSingleReverseBuckets = 269;

// clang-format off
// QX_SA: a single-byte table whose lower half is ASCII; QX_SB: one whose is not (EBCDIC and
// the 7-bit national sets).
#define QX_SA(cp) {cp, TableStore::kSingleByte, kSingleForwardBuckets, kSingleReverseBuckets, true}
#define QX_SB(cp) {cp, TableStore::kSingleByte, kSingleForwardBuckets, kSingleReverseBuckets, false}
const CodePageEntry kCodePages[] = {
    QX_SB(37), QX_SA(437), QX_SB(500), QX_SA(708), QX_SA(720), QX_SA(737), QX_SA(775), QX_SA(850),
    QX_SA(852), QX_SA(855), QX_SA(857), QX_SA(858), QX_SA(860), QX_SA(861), QX_SA(862), QX_SA(863),
    QX_SA(864), QX_SA(865), QX_SA(866), QX_SA(869), QX_SB(870), QX_SA(874), QX_SB(875),
    {932, TableStore::kDoubleByte, 4919, 7669, false}, {936, TableStore::kDoubleByte, 7649, 7649, false},
    {949, TableStore::kDoubleByte, 7669, 7669, false}, {950, TableStore::kDoubleByte, 7649, 7649, false},
    QX_SB(1026), QX_SB(1047), QX_SB(1140), QX_SB(1141), QX_SB(1142), QX_SB(1143), QX_SB(1144),
    QX_SB(1145), QX_SB(1146), QX_SB(1147), QX_SB(1148), QX_SB(1149), QX_SA(1250), QX_SA(1251),
    QX_SA(1252), QX_SA(1253), QX_SA(1254), QX_SA(1255), QX_SA(1256), QX_SA(1257), QX_SA(1258),
    {1361, TableStore::kDoubleByte, 7669, 7669, false}, QX_SA(10000),
    {10001, TableStore::kDoubleByte, 4919, 4919, false}, QX_SA(10004), QX_SA(10005), QX_SA(10006),
    QX_SA(10007), QX_SA(10010), QX_SA(10017), QX_SB(10021), QX_SA(10029), QX_SA(10079),
    QX_SA(10081), QX_SA(10082), QX_SB(20105), QX_SB(20106), QX_SB(20107), QX_SB(20108),
    QX_SA(20127), QX_SA(20261), QX_SA(20269), QX_SB(20273), QX_SB(20277), QX_SB(20278),
    QX_SB(20280), QX_SB(20284), QX_SB(20285), QX_SB(20290), QX_SB(20297), QX_SB(20420),
    QX_SB(20423), QX_SB(20424), QX_SB(20838), QX_SA(20866), QX_SB(20871), QX_SB(20880),
    QX_SB(20905), QX_SB(20924), QX_SB(21025), QX_SA(21866), QX_SA(28591), QX_SA(28592),
    QX_SA(28593), QX_SA(28594), QX_SA(28595), QX_SA(28596), QX_SA(28597), QX_SA(28598),
    QX_SA(28599), QX_SA(28603), QX_SA(28605), QX_SA(38598),
    {51932, TableStore::kDoubleByte, 4919, 4919, false}, {51936, TableStore::kDoubleByte, 7649, 7649, false},
    {51949, TableStore::kDoubleByte, 7669, 7669, false},
};
#undef QX_SA
#undef QX_SB
// clang-format on

const int kCodePageCount = static_cast<int>(sizeof kCodePages / sizeof kCodePages[0]);
static_assert(sizeof kCodePages / sizeof kCodePages[0] == 103, "103 code pages carry tables");

// Position of a code page in kCodePages (sorted), or -1.
int indexOf(int codePage) {
    int lo = 0, hi = kCodePageCount - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        if (kCodePages[mid].codePage == codePage) return mid;
        if (kCodePages[mid].codePage < codePage)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return -1;
}

const TableText* textOf(int codePage) {
    for (const TableText* t = kTableTexts; t->text; ++t)
        if (t->codePage == codePage) return t;
    return nullptr;
}

struct Slots {
    std::mutex forwardLock[kCodePageCount];
    std::mutex reverseLock[kCodePageCount];
    // Single-byte forward slots hold a UnicodeLookup, double-byte ones a HashConvert.
    std::atomic<UnicodeLookup*> forwardSingle[kCodePageCount] = {};
    std::atomic<HashConvert*> forwardDouble[kCodePageCount] = {};
    std::atomic<HashConvert*> reverse[kCodePageCount] = {};
    std::atomic<int> builds[kCodePageCount][2] = {};
};

// The slots' own destructor is trivial, and the tables they point to are never freed: they live
// until the process ends, so conversions made while other static objects are destroyed still work.
Slots& slots() {
    static Slots s;
    return s;
}

uint16_t readLe16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// A new map with the given bucket count, or null without memory.
HashConvert* newMap(unsigned buckets) {
    HashConvert* map = qxNew<HashConvert>();
    if (map && !map->initBuckets(buckets)) {
        qxDelete(map);
        return nullptr;
    }
    return map;
}

// Full table: two delta-coded sections, single-byte entries then double-byte ones, handed to
// single(byte, unit) and twoBytes(code, unit) in their order. Stops quietly at the end of the
// data.
template <class Single, class TwoBytes>
void walkFullTable(const unsigned char* d, unsigned n, Single single, TwoBytes twoBytes) {
    unsigned pos = 2;
    unsigned char byte = 0;
    uint16_t unit = 0;
    for (;;) {
        if (pos >= n) return;
        if (d[pos] == 0) {
            ++pos;
            break;
        }
        if (pos + 3 > n) return;
        byte = static_cast<unsigned char>(byte + d[pos]);
        unit = static_cast<uint16_t>(unit + readLe16(d + pos + 1));
        single(byte, unit);
        pos += 3;
    }
    uint16_t code = 0;
    unit = 0;
    for (;;) {
        if (pos + 2 > n) return;
        uint16_t delta = readLe16(d + pos);
        if (delta == 0) return;
        if (pos + 4 > n) return;
        code = static_cast<uint16_t>(code + delta);
        unit = static_cast<uint16_t>(unit + readLe16(d + pos + 2));
        twoBytes(code, unit);
        pos += 4;
    }
}

// The entries of a full table as a map holds them, handed to entry(key, keyLength, value,
// valueLength): code to UTF-16LE unit, or with reverse set unit to code (a double-byte code lead
// byte first).
template <class Entry>
void walkMapEntries(const unsigned char* d, unsigned n, bool reverse, Entry entry) {
    walkFullTable(
        d, n,
        [&](unsigned char byte, uint16_t unit) {
            const unsigned char u[2] = {static_cast<unsigned char>(unit & 0xFF),
                                        static_cast<unsigned char>(unit >> 8)};
            if (reverse)
                entry(u, 2, &byte, 1);
            else
                entry(&byte, 1, u, 2);
        },
        [&](uint16_t code, uint16_t unit) {
            const unsigned char c[2] = {static_cast<unsigned char>(code >> 8),
                                        static_cast<unsigned char>(code & 0xFF)};
            const unsigned char u[2] = {static_cast<unsigned char>(unit & 0xFF),
                                        static_cast<unsigned char>(unit >> 8)};
            if (reverse)
                entry(u, 2, c, 2);
            else
                entry(c, 2, u, 2);
        });
}

void applyFullTable(const unsigned char* d, unsigned n, HashConvert& target, bool reverse) {
    walkMapEntries(d, n, reverse,
                   [&](const unsigned char* key, int keyLength, const unsigned char* value,
                       int valueLength) { target.insert(key, keyLength, value, valueLength); });
}

// The table data of one embedded text into `out`: base64-decoded, then decompressed unless
// stored. A damaged text leaves it empty or partial; nothing is reported.
void unpackTable(const char* text, DataBuffer& out) {
    out.clear();
    if (!text || !text[0]) return;
    const bool stored = text[0] == 'x';
    ContentCoding coder;
    int decodedSize = 0;
    unsigned char* decoded =
        coder.decodeBase64(text + 1, static_cast<int>(std::strlen(text + 1)), &decodedSize);
    if (!decoded) return;
    if (stored) {
        out.takeOwnership(decoded, static_cast<unsigned>(decodedSize));
        return;
    }
    DataBuffer raw;
    raw.takeOwnership(decoded, static_cast<unsigned>(decodedSize));
    QuenlixBzip2 bz;
    bz.decompressTable(raw, out);
}

// Patch of a reverse table: keys to remove, then single-byte and double-byte replacements.
void applyPatch(const unsigned char* d, unsigned n, HashConvert& target) {
    unsigned pos = 2;
    for (;;) {
        if (pos + 2 > n) return;
        if (d[pos] == 0 && d[pos + 1] == 0) {
            pos += 2;
            break;
        }
        target.remove(d + pos, 2);
        pos += 2;
    }
    for (;;) {
        if (pos >= n) return;
        if (d[pos] == 0) {
            ++pos;
            break;
        }
        if (pos + 3 > n) return;
        target.remove(d + pos + 1, 2);
        target.insert(d + pos + 1, 2, d + pos, 1);
        pos += 3;
    }
    for (;;) {
        if (pos + 2 > n) return;
        if (d[pos] == 0 && d[pos + 1] == 0) return;
        if (pos + 4 > n) return;
        target.remove(d + pos + 2, 2);
        target.insert(d + pos + 2, 2, d + pos, 2);
        pos += 4;
    }
}

UnicodeLookup* buildSingleForward(const TableText& t) {
    HashConvert* temp = newMap(kSingleForwardBuckets);
    if (!temp) return nullptr;
    TableStore::loadTable(t.text, *temp, false);
    UnicodeLookup* lookup = qxNew<UnicodeLookup>();
    if (lookup) {
        for (int b = 1; b < 256; ++b) {
            if (temp->asciiPassThrough && b <= 0x7F) {
                lookup->table[b] = static_cast<uint16_t>(b);
                continue;
            }
            unsigned char key = static_cast<unsigned char>(b);
            unsigned char value[255];
            int len = 0;
            temp->lookup(&key, 1, value, &len);
            lookup->table[b] = len == 2 ? readLe16(value) : 0;
        }
    }
    qxDelete(temp);
    return lookup;
}

HashConvert* buildReverseMap(const TableText& t, unsigned buckets) {
    HashConvert* map = newMap(buckets);
    if (!map) return nullptr;
    TableStore::loadTable(t.text, *map, true);
    if (t.patch) TableStore::loadTable(t.patch, *map, true);
    return map;
}

// The forward map of a patched table mirrors its reverse map.
HashConvert* mirrorOf(const HashConvert& rev, unsigned buckets) {
    HashConvert* fwd = newMap(buckets);
    if (!fwd) return nullptr;
    rev.buildReverse(*fwd);
    fwd->asciiPassThrough = rev.asciiPassThrough;
    return fwd;
}

HashConvert* buildDoubleForward(const CodePageEntry& e, const TableText& t,
                                const HashConvert* existingReverse) {
    if (t.patch) {
        if (existingReverse) return mirrorOf(*existingReverse, e.forwardBuckets);
        HashConvert* rev = buildReverseMap(t, e.reverseBuckets);
        if (!rev) return nullptr;
        HashConvert* fwd = mirrorOf(*rev, e.forwardBuckets);
        qxDelete(rev);
        return fwd;
    }
    HashConvert* fwd = newMap(e.forwardBuckets);
    if (fwd) TableStore::loadTable(t.text, *fwd, false);
    return fwd;
}

// The table that build() makes, or null when it could not have all the memory it asked for.
template <class T, class Build> T* wholeOrNothing(Build build) {
    QxAllocWatch watch;
    T* table = build();
    if (table && watch.failed()) {
        qxDelete(table);
        table = nullptr;
    }
    return table;
}

// Fills the slot unless it is filled; a failed build leaves it empty. Returns its table.
template <class T, class Build>
T* fillSlot(std::atomic<T*>& slot, std::mutex& lock, std::atomic<int>& builds, Build build) {
    if (T* table = slot.load(std::memory_order_acquire)) return table;
    std::lock_guard<std::mutex> hold(lock);
    if (T* table = slot.load(std::memory_order_relaxed)) return table;
    builds.fetch_add(1);
    T* table = wholeOrNothing<T>(build);
    slot.store(table, std::memory_order_release);
    return table;
}

HashConvert* fillReverse(int index, const TableText& t) {
    Slots& s = slots();
    return fillSlot(s.reverse[index], s.reverseLock[index], s.builds[index][1],
                    [&] { return buildReverseMap(t, kCodePages[index].reverseBuckets); });
}

void fillForward(int index, const TableText& t) {
    Slots& s = slots();
    const CodePageEntry& e = kCodePages[index];
    if (e.kind == TableStore::kSingleByte) {
        fillSlot(s.forwardSingle[index], s.forwardLock[index], s.builds[index][0],
                 [&] { return buildSingleForward(t); });
        return;
    }
    fillSlot(s.forwardDouble[index], s.forwardLock[index], s.builds[index][0],
             [&]() -> HashConvert* {
                 // Either direction of a patched table starts from the reverse slot, and only
                 // a patched table reads it.
                 const HashConvert* rev = t.patch ? fillReverse(index, t) : nullptr;
                 if (t.patch && !rev) return nullptr;
                 return buildDoubleForward(e, t, rev);
             });
}

} // namespace

TableStore::Kind TableStore::listedKindOf(int codePage) {
    int i = indexOf(codePage);
    return i < 0 ? kNone : kCodePages[i].kind;
}

bool TableStore::passesAscii(int codePage) {
    const int i = indexOf(codePage);
    return i >= 0 && kCodePages[i].kind == kSingleByte && kCodePages[i].asciiPassThrough;
}

TableStore::Kind TableStore::kindOf(int codePage) {
    int i = indexOf(codePage);
    if (i < 0 || !textOf(codePage)) return kNone;
    return kCodePages[i].kind;
}

namespace {
// The index and table text of a code page that has a table of the given kind (kNone: any kind).
bool findTable(int codePage, TableStore::Kind kind, int& index, const TableText*& text) {
    index = indexOf(codePage);
    text = textOf(codePage);
    return index >= 0 && text && (kind == TableStore::kNone || kCodePages[index].kind == kind);
}
} // namespace

const UnicodeLookup* TableStore::forwardSingleByte(int codePage) {
    int i;
    const TableText* t;
    if (!findTable(codePage, kSingleByte, i, t)) return nullptr;
    fillForward(i, *t);
    return slots().forwardSingle[i];
}

const HashConvert* TableStore::forwardDoubleByte(int codePage) {
    int i;
    const TableText* t;
    if (!findTable(codePage, kDoubleByte, i, t)) return nullptr;
    fillForward(i, *t);
    return slots().forwardDouble[i];
}

const HashConvert* TableStore::reverse(int codePage) {
    int i;
    const TableText* t;
    if (!findTable(codePage, kNone, i, t)) return nullptr;
    return fillReverse(i, *t);
}

UnicodeLookup* TableStore::buildForwardSingleByte(int codePage) {
    int i;
    const TableText* t;
    return findTable(codePage, kSingleByte, i, t) ? buildSingleForward(*t) : nullptr;
}

HashConvert* TableStore::buildMap(int codePage, bool reverse) {
    int i;
    const TableText* t;
    if (!findTable(codePage, kNone, i, t)) return nullptr;
    if (reverse) return buildReverseMap(*t, kCodePages[i].reverseBuckets);
    if (kCodePages[i].kind != kDoubleByte) return nullptr;
    return buildDoubleForward(kCodePages[i], *t, nullptr);
}

int TableStore::buildCount(int codePage, bool reverse) {
    int i = indexOf(codePage);
    if (i < 0) return 0;
    return slots().builds[i][reverse ? 1 : 0].load();
}

void TableStore::loadTable(const char* text, HashConvert& target, bool reverse) {
    DataBuffer data;
    unpackTable(text, data);
    const unsigned char* d = data.getData();
    unsigned n = data.getSize();
    if (!d || n == 0) return;
    target.asciiPassThrough = d[0] == 'a';
    if (n < 2) return;
    if (d[1] == 'u')
        applyFullTable(d, n, target, reverse);
    else if (d[1] == 'd' && reverse)
        applyPatch(d, n, target);
}

bool TableStore::walkEntries(int codePage, bool reverse, EntrySink sink, void* context,
                             bool* asciiPassThrough) {
    int i;
    const TableText* t;
    if (!findTable(codePage, reverse ? kNone : kDoubleByte, i, t) || t->patch) return false;
    QxAllocWatch watch;
    DataBuffer data;
    unpackTable(t->text, data);
    const unsigned char* d = data.getData();
    const unsigned n = data.getSize();
    // The map itself would be built here from a text that is damaged or could not be unpacked:
    // the caller builds it and takes what it gets.
    if (!d || n < 2 || d[1] != 'u' || watch.failed()) return false;
    *asciiPassThrough = d[0] == 'a';
    walkMapEntries(d, n, reverse,
                   [&](const unsigned char* key, int keyLength, const unsigned char* value,
                       int valueLength) { sink(context, key, keyLength, value, valueLength); });
    return true;
}
