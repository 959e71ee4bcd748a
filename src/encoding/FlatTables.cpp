#include "encoding/FlatTables.h"

#include "encoding/tables/HashConvert.h"
#include "platform/Memory.h"

#include <mutex>

namespace {

// One slot per code page and direction that has been asked for: how much it has converted
// through the hash route, and its flat table once built (or that it cannot be flattened).
struct Slot {
    int codePage = 0;
    uint64_t volume = 0;
    void* table = nullptr;
    bool unusable = false;
};

const int kSlots = 160; // more than the code pages with tables (103)

struct Cache {
    std::mutex lock;
    Slot reverse[kSlots];
    Slot forward[kSlots];
};

Cache& cache() {
    static Cache c; // built on first use, kept until the process ends
    return c;
}

Slot* slotFor(Slot* slots, int codePage) {
    for (int i = 0; i < kSlots; ++i) {
        if (slots[i].codePage == codePage) return &slots[i];
        if (slots[i].codePage == 0) {
            slots[i].codePage = codePage;
            return &slots[i];
        }
    }
    return nullptr;
}

// Returns the slot's table, building it when the volume converted so far pays for it.
template <class T, class Build>
const T* lookupOrBuild(Slot* slots, int codePage, uint64_t volume, Build build) {
    // build(unfit) returns the table, or null with unfit set when the table does not fit the
    // flat form.
    Cache& c = cache();
    std::lock_guard<std::mutex> hold(c.lock);
    Slot* s = slotFor(slots, codePage);
    if (!s || s->unusable) return nullptr;
    if (s->table) return static_cast<const T*>(s->table);
    s->volume += volume;
    if (s->volume < FlatTables::kBuildThreshold) return nullptr;
    bool unfit = false;
    s->table = build(unfit);
    // A table that cannot be flattened is not tried again; a build that ran out of memory is
    // tried again after the next stretch of conversions.
    if (!s->table) {
        s->volume = 0;
        s->unusable = unfit;
    }
    return static_cast<const T*>(s->table);
}

bool isArabicIndicDigit(unsigned u) {
    return (u >= 0x0660 && u <= 0x0669) || (u >= 0x06F0 && u <= 0x06F9);
}

} // namespace

namespace {

FlatReverse* makeReverse(int codePage, const HashConvert& table, bool& unfit) {
    FlatReverse* flat = static_cast<FlatReverse*>(qxAlloc(sizeof(FlatReverse)));
    if (!flat) return nullptr;
    const bool fold = codePage == 28596 || codePage == 1256;
    unsigned char value[256];
    for (unsigned unit = 0; unit < 65536; ++unit) {
        // What EncodingConvert::fromUtf16 and utf16ToCodePage do with the unit, in their order.
        unsigned u = unit;
        if (fold && isArabicIndicDigit(u)) u = '0' + (u & 0x0F);
        const unsigned char lo = static_cast<unsigned char>(u & 0xFF);
        const unsigned char hi = static_cast<unsigned char>(u >> 8);
        uint32_t entry = 0;
        if (table.asciiPassThrough && hi == 0 && lo < 0x80) {
            entry = (1u << 16) | lo;
        } else {
            const unsigned char key[2] = {lo, hi};
            int length = 0;
            table.lookup(key, 2, value, &length);
            if (length == 1)
                entry = (1u << 16) | value[0];
            else if (length == 2)
                entry = (2u << 16) | value[0] | (static_cast<uint32_t>(value[1]) << 8);
            else if (length > 2) {
                qxFree(flat); // no room for such values in the flat form
                unfit = true;
                return nullptr;
            } else if (u == 0)
                entry = 1u << 16;
        }
        flat->entry[unit] = entry;
    }
    flat->asciiIdentity = true;
    flat->asciiSingle = true;
    for (unsigned u = 0; u < 0x80; ++u) {
        if (flat->entry[u] != ((1u << 16) | u)) flat->asciiIdentity = false;
        if ((flat->entry[u] >> 16) != 1) flat->asciiSingle = false;
        flat->asciiByte[u] = static_cast<unsigned char>(flat->entry[u] & 0xFF);
    }
    return flat;
}

FlatForward* makeForward(const HashConvert& table, bool& unfit) {
    // Keys of three or four bytes would be tried before the single byte; the flat form has none.
    if (table.countEntries() !=
        table.countEntriesWithKeyLength(1) + table.countEntriesWithKeyLength(2)) {
        unfit = true;
        return nullptr;
    }
    FlatForward* flat = static_cast<FlatForward*>(qxAlloc(sizeof(FlatForward)));
    if (!flat) return nullptr;
    flat->asciiPassThrough = table.asciiPassThrough;
    for (int b = 0; b < 256; ++b)
        flat->leadHasPairs[b] = false;
    unsigned char value[256];
    bool fits = true;
    for (unsigned code = 0; code < 65536 && fits; ++code) {
        const unsigned char key[2] = {static_cast<unsigned char>(code >> 8),
                                      static_cast<unsigned char>(code & 0xFF)};
        int length = 0;
        table.lookup(key, 2, value, &length);
        uint16_t unit = 0;
        if (length == 2) unit = static_cast<uint16_t>(value[0] | (value[1] << 8));
        // A hit must be one non-zero unit: 0 marks "no key" in the flat form.
        if (length != 0 && (length != 2 || unit == 0)) fits = false;
        flat->pair[code] = unit;
        if (unit) flat->leadHasPairs[code >> 8] = true;
    }
    flat->single[0] = 0; // byte 0 is always U+0000, without a lookup
    for (unsigned b = 1; b < 256 && fits; ++b) {
        flat->single[b] = 0;
        if (flat->asciiPassThrough && b <= 0x7F) continue; // never looked up
        const unsigned char key[1] = {static_cast<unsigned char>(b)};
        int length = 0;
        table.lookup(key, 1, value, &length);
        uint16_t unit = 0;
        if (length == 2) unit = static_cast<uint16_t>(value[0] | (value[1] << 8));
        if (length != 0 && (length != 2 || unit == 0)) fits = false;
        flat->single[b] = unit;
    }
    if (!fits) {
        qxFree(flat);
        unfit = true;
        return nullptr;
    }
    flat->asciiRuns = flat->asciiPassThrough;
    for (int b = 0; b < 0x80; ++b)
        if (flat->leadHasPairs[b]) flat->asciiRuns = false;
    return flat;
}

} // namespace

FlatReverse* FlatTables::buildReverse(int codePage, const HashConvert& table) {
    bool unfit = false;
    return makeReverse(codePage, table, unfit);
}

FlatForward* FlatTables::buildForward(const HashConvert& table) {
    bool unfit = false;
    return makeForward(table, unfit);
}

const FlatReverse* FlatTables::reverse(int codePage, const HashConvert& table, uint64_t units) {
    return lookupOrBuild<FlatReverse>(cache().reverse, codePage, units, [&](bool& unfit) {
        return static_cast<void*>(makeReverse(codePage, table, unfit));
    });
}

const FlatForward* FlatTables::forward(int codePage, const HashConvert& table, uint64_t bytes) {
    return lookupOrBuild<FlatForward>(cache().forward, codePage, bytes, [&](bool& unfit) {
        return static_cast<void*>(makeForward(table, unfit));
    });
}
