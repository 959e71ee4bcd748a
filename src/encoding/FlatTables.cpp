#include "encoding/FlatTables.h"

#include "encoding/tables/HashConvert.h"
#include "encoding/tables/TableStore.h"
#include "platform/Memory.h"

#include <cstring>
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

// Both builds walk the hash table's entries once (a few thousand) instead of looking up every
// possible key (65536): that walk is most of what the first conversion of a process pays for a
// double-byte code page. Of entries with the same key only the first counts, as for a lookup.

FlatReverse* makeReverse(int codePage, const HashConvert& table, bool& unfit) {
    FlatReverse* flat = static_cast<FlatReverse*>(qxAlloc(sizeof(FlatReverse)));
    if (!flat) return nullptr;
    std::memset(flat->entry, 0, sizeof flat->entry);
    // What EncodingConvert::fromUtf16 and utf16ToCodePage do with a unit, in their order: units
    // below U+0080 pass through where the table says so, the Arabic-Indic digits of two code
    // pages are folded onto ASCII digits first, and every other unit is looked up.
    const bool fold = codePage == 28596 || codePage == 1256;
    const auto lookedUp = [&](unsigned unit) {
        return !(table.asciiPassThrough && unit < 0x80) && !(fold && isArabicIndicDigit(unit));
    };
    bool fits = true;
    table.forEachEntry(
        [&](const unsigned char* key, int keyLen, const unsigned char* value, int valueLen) {
            if (keyLen != 2) return; // units are looked up with two-byte keys only
            const unsigned unit = key[0] | (static_cast<unsigned>(key[1]) << 8);
            if (!lookedUp(unit) || flat->entry[unit] != 0) return; // (0: not seen yet)
            if (valueLen == 1)
                flat->entry[unit] = (1u << 16) | value[0];
            else if (valueLen == 2)
                flat->entry[unit] = (2u << 16) | value[0] | (static_cast<uint32_t>(value[1]) << 8);
            else
                fits = false; // no room for such values in the flat form
        });
    if (!fits) {
        qxFree(flat);
        unfit = true;
        return nullptr;
    }
    if (table.asciiPassThrough)
        for (unsigned u = 0; u < 0x80; ++u)
            flat->entry[u] = (1u << 16) | u;
    if (flat->entry[0] == 0) flat->entry[0] = 1u << 16; // U+0000 without an entry: byte 0
    if (fold)
        for (unsigned unit = 0x0660; unit <= 0x06F9; ++unit)
            if (isArabicIndicDigit(unit)) flat->entry[unit] = flat->entry['0' + (unit & 0x0F)];
    flat->asciiIdentity = true;
    flat->asciiSingle = true;
    for (unsigned u = 0; u < 0x80; ++u) {
        if (flat->entry[u] != ((1u << 16) | u)) flat->asciiIdentity = false;
        if ((flat->entry[u] >> 16) != 1) flat->asciiSingle = false;
        flat->asciiByte[u] = static_cast<unsigned char>(flat->entry[u] & 0xFF);
    }
    return flat;
}

// A forward table filled one entry at a time, in the map's order (the first entry for a key is
// the one a lookup finds). `fits` turns false for an entry the flat form cannot hold.
struct ForwardFill {
    FlatForward* flat = nullptr;
    bool fits = true;
};

bool startForward(ForwardFill& f, bool asciiPassThrough) {
    f.flat = static_cast<FlatForward*>(qxAlloc(sizeof(FlatForward)));
    if (!f.flat) return false;
    std::memset(f.flat->pair, 0, sizeof f.flat->pair);
    std::memset(f.flat->single, 0, sizeof f.flat->single);
    for (int b = 0; b < 256; ++b)
        f.flat->leadHasPairs[b] = false;
    f.flat->asciiPassThrough = asciiPassThrough;
    return true;
}

// `unit` is the entry's value as one UTF-16 unit, 0 when the value is not two bytes long.
void addForward(ForwardFill& f, const unsigned char* key, int keyLen, unsigned unit) {
    FlatForward* flat = f.flat;
    uint16_t* slot;
    if (keyLen == 2) {
        slot = &flat->pair[(key[0] << 8) | key[1]];
    } else if (keyLen == 1) {
        // Byte 0 is always U+0000, and bytes that pass through are never looked up.
        if (key[0] == 0 || (flat->asciiPassThrough && key[0] <= 0x7F)) return;
        slot = &flat->single[key[0]];
    } else {
        f.fits = false; // longer keys would be tried first; the flat form has none
        return;
    }
    if (*slot != 0) return; // a later entry with the same key
    if (unit == 0) {        // a hit must be one non-zero unit: 0 marks "no key" in the flat form
        f.fits = false;
        return;
    }
    *slot = static_cast<uint16_t>(unit);
    if (keyLen == 2) flat->leadHasPairs[key[0]] = true;
}

FlatForward* finishForward(ForwardFill& f, bool& unfit) {
    if (!f.fits) {
        qxFree(f.flat);
        unfit = true;
        return nullptr;
    }
    FlatForward* flat = f.flat;
    flat->asciiRuns = flat->asciiPassThrough;
    for (int b = 0; b < 0x80; ++b)
        if (flat->leadHasPairs[b]) flat->asciiRuns = false;
    return flat;
}

FlatForward* makeForward(const HashConvert& table, bool& unfit) {
    ForwardFill f;
    if (!startForward(f, table.asciiPassThrough)) return nullptr;
    table.forEachEntry(
        [&](const unsigned char* key, int keyLen, const unsigned char* value, int valueLen) {
            addForward(f, key, keyLen,
                       valueLen == 2 ? value[0] | (static_cast<unsigned>(value[1]) << 8) : 0);
        });
    return finishForward(f, unfit);
}

// The same table built from the entries the map is made of, without making the map: a large
// conversion needs the flat table alone, and the map costs more to build than the flat table.
// Sets `walked` when the table store could hand the entries over.
FlatForward* makeForwardFromStore(int codePage, bool& unfit, bool& walked) {
    ForwardFill f;
    if (!startForward(f, false)) {
        walked = true; // no memory: the map would not do better
        return nullptr;
    }
    QxAllocWatch watch;
    walked = TableStore::walkForwardDoubleByte(
        codePage,
        [](void* context, const unsigned char* key, int keyLength, unsigned unit) {
            addForward(*static_cast<ForwardFill*>(context), key, keyLength, unit);
        },
        &f, &f.flat->asciiPassThrough);
    if (!walked || watch.failed()) {
        qxFree(f.flat);
        return nullptr;
    }
    return finishForward(f, unfit);
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

const FlatForward* FlatTables::forward(int codePage, uint64_t bytes) {
    return lookupOrBuild<FlatForward>(cache().forward, codePage, bytes, [&](bool& unfit) {
        bool walked = false;
        FlatForward* flat = makeForwardFromStore(codePage, unfit, walked);
        if (!walked) {
            const HashConvert* table = TableStore::forwardDoubleByte(codePage);
            flat = table ? makeForward(*table, unfit) : nullptr;
        }
        return static_cast<void*>(flat);
    });
}

FlatForward* FlatTables::buildForwardFromStore(int codePage) {
    bool unfit = false, walked = false;
    return makeForwardFromStore(codePage, unfit, walked);
}
